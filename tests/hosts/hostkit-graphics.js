'use strict';
// Host-kit graphics host, driven line by line (one JSON request per line, one report each): sets
// up the graphics through the kit with the test shaders of tests/shaders (flat colours, easy to
// check in a screenshot), writes a scene through the kit's batch writers and renders, so that the
// test can look at the window between requests. Requests: setup, scene, clear, quit.
const path = require('node:path');
const kit = require('tessimarke/host');

let buffers = null;
let gfx = null;
const { report, serveRequests } = require('./requests');
const identity = [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1];
const lengths = (batch) => batch.attributes.map((a) => buffers.lenBuffer(a.id));

const handlers = {
  setup({ shaderDir = path.join(__dirname, '..', 'shaders') }) {
    buffers = kit.createBuffers();
    try {
      gfx = kit.setupGraphics(buffers, { shaderDir });
    } catch (e) {
      return { error: e.message };
    }
    const table = Array.from(gfx.table);
    const blocks = {};
    for (const entry of [0, 1, 2, 3, 4, 5, 6, 7, 8, 15, 16, 19, 21, 25, 26, 28]) {
      blocks[entry] = kit.addon.getBuffer(table[entry]).byteLength;
    }
    return { tableId: gfx.tableId, table, blocks, viewport: [gfx.width, gfx.height], meshLength: buffers.lenBuffer(table[25]),
      ui: Array.from(gfx.uiTransform) };
  },
  // Red opaque square at the lower left, a half-transparent white one beside it, a green light at
  // the upper right and an orange interface rectangle, all with the identity camera.
  scene() {
    gfx.setCamera({ view: identity, projection: identity, position: [0, 0, 1], vector: [0, 0, -1] });
    gfx.setTransform(identity);
    gfx.clearAll();
    const square = (x0, y0, x1, y1) => [x0, y0, 0, x1, y0, 0, x1, y1, 0, x0, y0, 0, x1, y1, 0, x0, y1, 0];
    const six = (values) => Array.from({ length: 6 }, () => values).flat();
    gfx.solid.add({ position: square(-1, -1, -0.5, 0), normal: six([0, 0, 1]), color: six([1, 0, 0]) });
    for (let i = 0; i < 6; ++i) {
      const p = square(0, -1, 0.5, 0).slice(i * 3, i * 3 + 3);
      gfx.transparent.vertex(p[0], p[1], p[2], 0, 0, 1, 1, 1, 1, 0.5);
    }
    gfx.lights.light(0.75, 0.5, 0.1, 0, 0, 0.5, 0, 1);
    gfx.ui.rect(1000, 300, 1200, 380, 1, 0.5, 0, 1);
    gfx.render();
    return { solid: lengths(gfx.solid), transparent: lengths(gfx.transparent), unculled: lengths(gfx.unculled),
      lights: lengths(gfx.lights), ui: lengths(gfx.ui) };
  },
  clear() {
    gfx.clearAll();
    gfx.render();
    return { solid: lengths(gfx.solid), ui: lengths(gfx.ui) };
  },
  quit() { return kit.addon.quit(); },
};

serveRequests(handlers);
