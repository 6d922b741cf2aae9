'use strict';
// Graphics set-up shared by the test hosts: every block the bufferIDs table names at the size the
// pipelines expect, the table itself, and the test shaders of tests/shaders for all 19 names.
const fs = require('node:fs');
const path = require('node:path');
const { addon } = require('./common');

const shaderDir = path.join(__dirname, '..', 'shaders');
// Shader names and stages the pipelines link.
const VERTEX_SHADERS = ['solid', 'shadow', 'uitri', 'uisprite', 'transparent', 'pointlight', 'gbuff', 'ghdr', 'gpost'];
const FRAGMENT_SHADERS = ['solid', 'shadow', 'uitri', 'uiglyph', 'uiglyphoutline', 'transparent', 'pointlight', 'gbuff',
  'ghdr', 'gpost'];

// Bytes of each block the table names: 64 per matrix, 12 per vector, 8 for the viewport pair, and
// capacity x floats x 4 for vertex data (the pipelines expect 100000 vertices; the point-light mesh
// is 6 vertices).
const CAPACITY = 100000;
function entryBytes(capacity = CAPACITY) {
  return {
    0: 8, 1: 64, 2: 64, 3: 64, 4: 64, 5: 64, 6: 12, 7: 12,
    8: capacity * 12, 9: capacity * 12, 10: capacity * 12, 11: capacity * 12, 12: capacity * 12,
    15: capacity * 12, 16: capacity * 16,
    19: capacity * 12, 20: capacity * 12, 21: capacity * 16,
    22: capacity * 12, 23: capacity * 12, 24: capacity * 16,
    25: 6 * 12,
    26: capacity * 16, 27: capacity * 16, 28: capacity * 16,
  };
}
const ENTRY_BYTES = entryBytes();
const TABLE_ENTRIES = 29;
// Id a table entry gets when it is told to have no block: no block has it.
const MISSING_ID = 250;

// Creates the table and its blocks (overrides: { entry: bytes | 'missing' }; capacity: vertices of
// the vertex blocks). Returns { tableId, table, ids, views, keep, lastId }; `keep` holds every
// ArrayBuffer made, which must stay referenced for as long as the addon may use its id.
function createTableBlocks(overrides = {}, capacity = CAPACITY) {
  const sizes = entryBytes(capacity);
  const keep = [];
  const ids = {};
  const views = {};
  const [tableBuffer, tableId] = addon.nextBuffer(TABLE_ENTRIES * 2);
  keep.push(tableBuffer);
  const table = new Uint16Array(tableBuffer);
  let lastId = tableId;
  for (const entry of Object.keys(sizes).map(Number)) {
    const bytes = overrides[entry] ?? sizes[entry];
    if (bytes === 'missing') {
      ids[entry] = MISSING_ID;
    } else {
      const [buffer, id] = addon.nextBuffer(bytes);
      keep.push(buffer);
      ids[entry] = id;
      lastId = id;
      views[entry] = new Float32Array(buffer);
    }
    table[entry] = ids[entry];
  }
  return { tableId, table, ids, views, keep, lastId };
}

// Registers the table with setBuffers and compiles the test shaders (but those named in `skip`,
// as "name.vert" or "name.frag"); returns checkShaders' answer.
function registerAndCompile(tableId, skip = []) {
  addon.setBuffers(tableId);
  for (const name of VERTEX_SHADERS) {
    if (!skip.includes(name + '.vert')) addon.compileShader(name, true, fs.readFileSync(path.join(shaderDir, name + '.vert'), 'utf8'));
  }
  for (const name of FRAGMENT_SHADERS) {
    if (!skip.includes(name + '.frag')) addon.compileShader(name, false, fs.readFileSync(path.join(shaderDir, name + '.frag'), 'utf8'));
  }
  return addon.checkShaders();
}

module.exports = { ENTRY_BYTES, TABLE_ENTRIES, MISSING_ID, VERTEX_SHADERS, FRAGMENT_SHADERS, createTableBlocks, registerAndCompile };
