'use strict';
// Host-kit graphics host, driven line by line (one JSON request per line, one report each): sets
// up the graphics through the kit with the test shaders of tests/shaders (flat colours, easy to
// check in a screenshot), writes a scene through the kit's batch writers and renders, so that the
// test can look at the window between requests. Requests: setup, scene, clear, quit.
const path = require('node:path');
const { mat4 } = require('gl-matrix');
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
  // The kit's meshes with the identity camera (the test shaders light by the normal's z): a box
  // turned 45 degrees then stretched twice along x, a sphere, and a plane mirrored in x and turned
  // to face the viewer.
  meshes() {
    gfx.clearAll();
    const m = mat4.fromTranslation(mat4.create(), [-0.5, 0, 0]);
    mat4.scale(m, m, [2, 1, 1]);
    mat4.rotateY(m, m, Math.PI / 4);
    kit.box(gfx.solid, m, { size: 0.3, color: [1, 1, 1] });
    kit.sphere(gfx.solid, mat4.fromTranslation(mat4.create(), [0.5, 0, 0]), { radius: 0.3, rings: 32, segments: 64, color: [1, 1, 1] });
    const p = mat4.fromTranslation(mat4.create(), [0, 0.6, 0]);
    mat4.rotateX(p, p, Math.PI / 2);
    mat4.scale(p, p, [-1, 1, 1]);
    kit.plane(gfx.solid, p, { size: 0.3, color: [1, 0.5, 0] });
    gfx.render();
    return gfx.solid.count;
  },
  // Text through drawText: right-aligned on x 1300, centred on x 700; two frames, so that the
  // glyphs are drawn from their atlas places.
  text() {
    gfx.clearAll();
    const commands = new kit.CommandWriter(buffers);
    const widths = {};
    for (let frame = 0; frame < 2; ++frame) {
      commands.textColor(1, 1, 1);
      widths.right = kit.drawText(commands, 'Right aligned', 1300, 650, { size: 40, align: 'right' }).width;
      widths.center = kit.drawText(commands, 'Centred', 700, 750, { size: 40, align: 'center', font: 'mono' }).width;
      commands.tick();
      gfx.render();
    }
    return widths;
  },
  // Polls until the kit reads a window size record: the interface transform has followed it.
  async resize() {
    const events = [];
    for (let i = 0; i < 300 && !events.some((e) => e.type === 'windowSize'); ++i) {
      kit.addon.poll();
      kit.readEvents(buffers, events);
      await new Promise((r) => setTimeout(r, 10));
    }
    return { size: [gfx.width, gfx.height], ui: [gfx.uiTransform[0], gfx.uiTransform[5]], uiSize: [gfx.uiWidth, gfx.uiHeight] };
  },
  quit() { return kit.addon.quit(); },
};

serveRequests(handlers);
