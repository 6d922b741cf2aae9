'use strict';
// A text host driven line by line: each line on standard input is one JSON request, answered by one
// report. `setup` creates the buffers the bufferIDs table names, compiles the test shaders and calls
// `ready` (which builds the glyph set); then the test measures text, runs steps of text commands,
// renders, and reads the glyph batches back from the glyph pipelines' shared blocks.
// Requests: setup, measure, step, render, batches, quit.
const { addon, createFixed, report, COMMAND_BUFFER } = require('./common');
const { serveRequests } = require('./requests');

const { createTableBlocks, registerAndCompile } = require('./graphics');

// Bytes of the glyph pipelines' blocks: 300000 vertices of 3, 2 and 4 floats.
const GLYPH_BLOCK_BYTES = [300000 * 12, 300000 * 8, 300000 * 16];

let fixed = null;
let views = {};
// Every block made here, kept referenced so that none is collected and freed.
const keep = [];
// Block ids of the two glyph batches: [positions, texcoords, colours] each.
let glyphIds = null;

const identity = () => [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1];
// Pixels (y down) to clip space.
const uiMatrix = (w, h) => [2 / w, 0, 0, 0, 0, -2 / h, 0, 0, 0, 0, 1, 0, -1, 1, 0, 1];

const handlers = {
  setup({ ready = true, stringBytes = 65536 }) {
    fixed = createFixed({ string: stringBytes });
    // Vertex data for 1000 vertices is plenty here.
    const blocks = createTableBlocks({}, 1000);
    keep.push(...blocks.keep);
    views = blocks.views;
    const lastHostId = blocks.lastId;
    for (const e of [1, 2, 3, 4]) views[e].set(identity());
    views[5].set(uiMatrix(1400, 800));
    const compiled = registerAndCompile(blocks.tableId);
    if (!ready) return { compiled };
    addon.ready();
    // The glyph pipelines' blocks are the first six the set-up registered: plain, then outline.
    const [, nextId] = addon.nextBuffer(4);
    const found = [];
    for (let id = lastHostId + 1; id < nextId && found.length < 6; ++id) {
      if (addon.getBuffer(id).byteLength === GLYPH_BLOCK_BYTES[found.length % 3]) found.push(id);
    }
    glyphIds = [found.slice(0, 3), found.slice(3, 6)];
    return { compiled, glyphIds };
  },
  // cases: [[text, size, font], ...] -> widths
  measure({ cases }) { return cases.map(([text, size, font]) => addon.measureText(text, size, font)); },
  // One simulation step: optional colour, then text runs (each written into STRING_BUFFER one after
  // another unless it gives its own offset and length), or raw command words after filling
  // STRING_BUFFER with `fill`. Answers the results.
  step({ color, runs = [], words: raw = null, fill = null, render = true }) {
    if (fill !== null) fixed.strings.fill(fill.charCodeAt(0));
    let words = [];
    if (raw) {
      words = raw;
    } else {
      if (color) words.push(12, ...color);
      let at = 0;
      for (const r of runs) {
        const bytes = Buffer.from(r.text || '', r.encoding === 'hex' ? 'hex' : 'utf8');
        fixed.strings.set(bytes, at);
        const offset = r.offset !== undefined ? r.offset : at;
        const length = r.length !== undefined ? r.length : bytes.length;
        words.push(10, offset, length, r.x || 0, r.y || 0, r.size, r.font, r.maxWidth || 0);
        at += bytes.length;
      }
    }
    fixed.commands.set(words);
    fixed.header[COMMAND_BUFFER] = words.length;
    addon.tick();
    const results = Array.from(fixed.results.subarray(0, words.length));
    if (render) addon.render();
    return results;
  },
  render({ frames = 1 }) { for (let i = 0; i < frames; ++i) addon.render(); return true; },
  // The batches as the last render left them: triangle counts from the blocks' fill lengths and
  // `max` triangles' vertices from triangle `from` on ({ pos: [x, y, z], uv: [u, v], rgba } each).
  batches({ max = 64, from = 0 }) {
    return glyphIds.map(([p, t, c]) => {
      const triangles = fixed.header[p] / 9;
      const pos = new Float32Array(addon.getBuffer(p));
      const uv = new Float32Array(addon.getBuffer(t));
      const col = new Float32Array(addon.getBuffer(c));
      const vertices = [];
      for (let v = from * 3; v < Math.min(triangles, from + max) * 3; ++v) {
        vertices.push({ pos: Array.from(pos.subarray(v * 3, v * 3 + 3)), uv: Array.from(uv.subarray(v * 2, v * 2 + 2)),
          rgba: Array.from(col.subarray(v * 4, v * 4 + 4)) });
      }
      return { triangles, lengths: [fixed.header[p], fixed.header[t], fixed.header[c]], vertices };
    });
  },
  quit() { return addon.quit(); },
};

serveRequests(handlers);
