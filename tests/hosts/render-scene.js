'use strict';
// A renderer host driven line by line: each line on standard input is one JSON request, answered by
// one report. It creates every buffer the bufferIDs table names at the size the pipelines expect,
// compiles the test shaders of tests/shaders, calls `ready`, and then writes the test scene, camera
// data, quality levels and debug flag between frames while the test takes screenshots from outside.
// Requests: setup, scene, frame, view, light, camera, quality, debug, text, pollSize, readyAgain, quit.
const { addon, createFixed, runCommands, putString, report } = require('./common');
const { serveRequests } = require('./requests');

const { createTableBlocks, registerAndCompile } = require('./graphics');

let fixed = null;
// Blocks stay alive only while their ArrayBuffers do: every block made here is kept.
const keep = [];
const ids = {};
const views = {};

const identity = () => [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1];
const translation = (x, y, z) => [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1];
// The light's view: x mirrored (so the scene's front faces turn away from it and survive the
// shadow pass's front-face culling), depth moved by z.
const lightMatrix = (z) => [-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, z, 1];
// Pixels (y down) to clip space.
const uiMatrix = (w, h) => [2 / w, 0, 0, 0, 0, -2 / h, 0, 0, 0, 0, 1, 0, -1, 1, 0, 1];

// Two counter-clockwise triangles over a rectangle at depth z; clockwise when `reverse`.
function quad(x0, y0, x1, y1, z, reverse = false) {
  const v = [[x0, y0, z], [x1, y0, z], [x1, y1, z], [x0, y0, z], [x1, y1, z], [x0, y1, z]];
  if (reverse) { v.reverse(); }
  return v.flat();
}
const repeat = (values, times) => Array.from({ length: times }, () => values).flat();

// Writes what fits of `values` into the entry's block and sets its length to all of them, as a host
// that over-reports would.
function put(entry, values, length = values.length) {
  if (views[entry]) views[entry].set(values.slice(0, views[entry].length));
  fixed.header[ids[entry]] = length;
}
// Writes what fits of `values` into the entry's block, if it has one.
function fill(entry, values) {
  if (views[entry]) views[entry].set(values.slice(0, views[entry].length));
}
function clear(entry) { fixed.header[ids[entry]] = 0; }

const parts = {
  // Two solid rectangles: A red, facing +z; B green, its normal tilted to (0, 0.6, 0.8).
  solid() {
    put(8, [...quad(-1, -1, -0.5, 0, 0), ...quad(-0.5, -1, 0, 0, 0)]);
    put(9, [...repeat([0, 0, 1], 6), ...repeat([0, 0.6, 0.8], 6)]);
    put(10, [...repeat([1, 0, 0], 6), ...repeat([0, 1, 0], 6)]);
    put(11, repeat([0, 0, 0], 12));
    put(12, repeat([0, 0, 0], 12));
  },
  // Half-transparent white, behind B where they overlap.
  transparent() {
    put(19, quad(-0.25, -1, 0.5, 0, 0.5));
    put(20, repeat([0, 0, 1], 6));
    put(21, repeat([1, 1, 1, 0.5], 6));
  },
  // Opaque yellow, wound clockwise: only visible because this pass does not cull.
  unculled() {
    put(22, quad(0.5, -1, 1, -0.5, 0, true));
    put(23, repeat([0, 0, 1], 6));
    put(24, repeat([1, 1, 0, 1], 6));
  },
  // Two overlapping lights, half red and half green, added onto the scene.
  lights() {
    put(26, [0.75, -0.25, 0.15, 0, 0.85, -0.25, 0.15, 0]);
    put(27, [0.5, 0, 0, 1, 0, 0.5, 0, 1]);
    put(28, [0, 0, 0, 0, 0, 0, 0, 0]);
  },
  // An orange interface rectangle at pixels 1000..1200 x 300..380.
  ui() {
    put(15, quad(1000, 300, 1200, 380, 0));
    put(16, repeat([1, 0.5, 0, 1], 6));
  },
};
const partEntries = { solid: [8, 9, 10, 11, 12], transparent: [19, 20, 21], unculled: [22, 23, 24],
  lights: [26, 27, 28], ui: [15, 16] };

const handlers = {
  // overrides: { entry: bytes | 'missing' } gives chosen entries a block of another size, or none.
  // early: quality levels set before `ready` ({ shadow, ssao, aa }).
  setup({ skip = [], overrides = {}, early = null }) {
    fixed = createFixed();
    const blocks = createTableBlocks(overrides);
    const tableId = blocks.tableId;
    keep.push(...blocks.keep);
    Object.assign(ids, blocks.ids);
    Object.assign(views, blocks.views);
    fill(1, identity());
    fill(2, identity());
    fill(3, identity());
    fill(4, lightMatrix(0.2));
    fill(5, uiMatrix(1400, 800));
    fill(6, [0.2, 0.4, 0.6]);
    fill(7, [0.8, 0.6, 0.4]);
    // The point-light mesh: one square over -1..1, copied once when the pipeline is built.
    put(25, quad(-1, -1, 1, 1, 0));
    const compiled = registerAndCompile(tableId, skip);
    const lastHostId = Math.max(tableId, ...Object.values(ids));
    if (early) handlers.quality(early);
    addon.ready();
    const [probe, nextId] = addon.nextBuffer(4);
    keep.push(probe);
    const handedOut = [];
    for (let id = lastHostId + 1; id < nextId; ++id) {
      const block = addon.getBuffer(id);
      handedOut.push({ id, bytes: block.byteLength, values: block.byteLength <= 32 ? Array.from(new Float32Array(block)) : null });
    }
    return { compiled, tableId, ids, lastHostId, nextId, handedOut, viewport: Array.from(views[0]) };
  },
  // Writes the named parts of the scene and sets every other part's lengths to 0.
  scene({ parts: names = [] }) {
    for (const [name, entries] of Object.entries(partEntries)) {
      if (names.includes(name)) parts[name](); else for (const e of entries) clear(e);
    }
    return names;
  },
  // Optionally pumps events (a resize arrives that way), keeps uiTransform in pixels, renders.
  frame({ poll = false, frames = 1 }) {
    if (poll) addon.poll();
    fill(5, uiMatrix(views[0][0] || 1, views[0][1] || 1));
    for (let i = 0; i < frames; ++i) addon.render();
    return Array.from(views[0]);
  },
  view({ x = 0, y = 0, z = 0 }) { fill(1, translation(x, y, z)); return true; },
  light({ z }) { fill(4, lightMatrix(z)); return true; },
  camera({ position, vector }) { fill(6, position); fill(7, vector); return true; },
  // Levels may be given as strings ("NaN", "Infinity"), which JSON cannot carry as numbers.
  quality({ shadow, ssao, aa }) {
    if (shadow !== undefined) addon.setShadowQuality(Number(shadow));
    if (ssao !== undefined) addon.setSsaoQuality(Number(ssao));
    if (aa !== undefined) addon.setAntialias(Number(aa));
    return true;
  },
  // One step that lays out text runs ({ text, x, y, size, font, color }) into the glyph batches.
  text({ runs }) {
    const words = [];
    let offset = 0;
    for (const run of runs) {
      const [at, length] = putString(fixed, run.text, offset);
      offset += length;
      words.push(12, ...run.color, 10, at, length, run.x, run.y, run.size, run.font, 0);
    }
    return runCommands(fixed, words);
  },
  debug({ on }) { new Uint8Array(fixed.buffers.debug)[0] = on ? 1 : 0; return on; },
  // Pumps events until the viewport pair differs from `from` (or `max` polls).
  async pollSize({ from, max = 300 }) {
    for (let i = 0; i < max; ++i) {
      addon.poll();
      if (views[0][0] !== from[0] || views[0][1] !== from[1]) break;
      await new Promise((r) => setTimeout(r, 10));
    }
    return Array.from(views[0]);
  },
  // A second `ready`: reports the next id a new block gets afterwards.
  readyAgain() {
    const result = addon.ready();
    const [probe, nextId] = addon.nextBuffer(4);
    keep.push(probe);
    return { result, nextId };
  },
  quit() { return addon.quit(); },
};

serveRequests(handlers);
