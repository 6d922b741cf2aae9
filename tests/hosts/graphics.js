'use strict';
// Graphics set-up shared by the test hosts: every block the bufferIDs table names at the size the pipelines expect,
// the table itself, and the test shaders of tests/shaders for all 19 names.
const fs = require('node:fs');
const path = require('node:path');
const { addon } = require('./common');

// Shader names and stages the pipelines link.
const VERTEX_SHADERS = ['solid', 'shadow', 'uitri', 'uisprite', 'transparent', 'pointlight', 'gbuff', 'ghdr', 'gpost'];
const FRAGMENT_SHADERS = ['solid', 'shadow', 'uitri', 'uiglyph', 'uiglyphoutline', 'transparent', 'pointlight', 'gbuff',
  'ghdr', 'gpost'];

// Bytes of each block the table names: 8 for the viewport pair, 64 per matrix, 12 per vector, 6 x 12 for the
// point-light mesh, and capacity x floats x 4 for vertex data (the pipelines expect 100000 vertices).
function entryBytes(capacity = 100000) {
  const sizes = { 0: 8, 1: 64, 2: 64, 3: 64, 4: 64, 5: 64, 6: 12, 7: 12, 25: 6 * 12 };
  for (const e of [8, 9, 10, 11, 12, 15, 19, 20, 22, 23]) sizes[e] = capacity * 12;
  for (const e of [16, 21, 24, 26, 27, 28]) sizes[e] = capacity * 16;
  return sizes;
}
const ENTRY_BYTES = entryBytes();
const TABLE_ENTRIES = 29;

// Creates the table and its blocks (overrides: { entry: bytes | 'missing' }, a missing block named by id 250, which
// no block has; capacity: vertices of the vertex blocks). Returns { tableId, table, ids, views, keep, lastId }; `keep`
// holds every ArrayBuffer made, which must stay referenced for as long as the addon may use its id.
function createTableBlocks(overrides = {}, capacity) {
  const [tableBuffer, tableId] = addon.nextBuffer(TABLE_ENTRIES * 2);
  const keep = [tableBuffer], ids = {}, views = {}, table = new Uint16Array(tableBuffer);
  let lastId = tableId;
  for (const [entry, size] of Object.entries(entryBytes(capacity))) {
    const bytes = overrides[entry] ?? size;
    if (bytes === 'missing') {
      ids[entry] = 250;
    } else {
      const [buffer, id] = addon.nextBuffer(bytes);
      keep.push(buffer);
      ids[entry] = lastId = id;
      views[entry] = new Float32Array(buffer);
    }
    table[entry] = ids[entry];
  }
  return { tableId, table, ids, views, keep, lastId };
}

// Registers the table with setBuffers and compiles the test shaders; returns checkShaders' answer.
function registerAndCompile(tableId) {
  addon.setBuffers(tableId);
  for (const [names, vertex] of [[VERTEX_SHADERS, true], [FRAGMENT_SHADERS, false]]) {
    for (const name of names) {
      const file = path.join(__dirname, '..', 'shaders', `${name}.${vertex ? 'vert' : 'frag'}`);
      addon.compileShader(name, vertex, fs.readFileSync(file, 'utf8'));
    }
  }
  return addon.checkShaders();
}

module.exports = { ENTRY_BYTES, TABLE_ENTRIES, createTableBlocks, registerAndCompile };
