'use strict';
// Reference-shader host, driven line by line (one JSON request per line, one report each): the kit's
// graphics with the shaders of shaders/, a fixed camera, and small scenes the test photographs from
// outside. The sun shines straight down unless setup names another direction.
// Requests: setup, scene, quality, quit.
const { mat4, vec3 } = require('gl-matrix');
const kit = require('tessimarke/host');

let buffers = null;
let gfx = null;
let commands = null;
const { report, serveRequests } = require('./requests');
const eye = [0, 6, 8];
const target = [0, 0, 0];

// Where a world point lands in the window, in pixels (y down).
function project(p) {
  const clip = vec3.transformMat4(vec3.create(), p, mat4.multiply(mat4.create(), gfx.projection, gfx.view));
  return [Math.round((clip[0] * 0.5 + 0.5) * gfx.width), Math.round((0.5 - clip[1] * 0.5) * gfx.height)];
}

function floor(color = [0.6, 0.6, 0.6]) {
  gfx.solid.add({ position: [-8, 0, 8, 8, 0, 8, 8, 0, -8, -8, 0, 8, 8, 0, -8, -8, 0, -8],
    normal: Array(6).fill([0, 1, 0]).flat(), color: Array(6).fill(color).flat() });
}
// An axis-aligned box standing on the floor, from (x0, 0, z0) to (x1, h, z1).
function box(x0, z0, x1, z1, h, color) {
  const faces = [
    [[1, 0, 0], [[x1, 0, z1], [x1, 0, z0], [x1, h, z0], [x1, h, z1]]],
    [[-1, 0, 0], [[x0, 0, z0], [x0, 0, z1], [x0, h, z1], [x0, h, z0]]],
    [[0, 1, 0], [[x0, h, z1], [x1, h, z1], [x1, h, z0], [x0, h, z0]]],
    [[0, 0, 1], [[x0, 0, z1], [x1, 0, z1], [x1, h, z1], [x0, h, z1]]],
    [[0, 0, -1], [[x1, 0, z0], [x0, 0, z0], [x0, h, z0], [x1, h, z0]]],
  ];
  for (const [n, [a, b, c, d]] of faces) {
    for (const p of [a, b, c, a, c, d]) gfx.solid.vertex(p[0], p[1], p[2], n[0], n[1], n[2], color[0], color[1], color[2]);
  }
}

const scenes = {
  // A box on the floor under a sun slanting from +x: its shadow falls towards -x. The contact point
  // lies in that shadow, where only the ambient light (which occlusion darkens) reaches.
  shadow() {
    floor();
    box(-0.5, -0.5, 0.5, 0.5, 1.5, [0.8, 0.2, 0.2]);
    return { lit: project([2, 0, 0]), shade: project([-1.2, 0, 0]), contact: project([-0.58, 0, 0]), open: project([0, 0, 2.5]) };
  },
  // One green point light low over a floor lit from below (so only the light shows on it).
  light() {
    floor();
    gfx.lights.light(0, 0.3, 0, 2, 0.2, 1, 0.3, 3);
    return { center: project([0, 0, 0]), outside: [project([2.3, 0, 0]), project([-2.3, 0, 0]), project([0, 0, 2.3]), project([0, 0, -2.3])],
      edge: project([1.9, 0, 0]) };
  },
  // A red quad filling the lower half of the view beside the sky: an edge the post passes must keep.
  edge() {
    for (const p of [[-20, -1, 0], [0, -1, 0], [0, 20, 0], [-20, -1, 0], [0, 20, 0], [-20, 20, 0]]) {
      gfx.solid.vertex(p[0], p[1], p[2], 0, 0, 1, 0.9, 0.1, 0.1, 0, 0, 1);
    }
    return { left: project([-1, 1, 0]), right: project([1, 1, 0]), edge: project([0, 1, 0]) };
  },
};

const handlers = {
  setup({ sun = [-1, -1.2, 0] }) {
    buffers = kit.createBuffers();
    gfx = kit.setupGraphics(buffers, { lightTransform: kit.directionalLight(sun, { extent: 8 }) });
    commands = new kit.CommandWriter(buffers);
    const view = mat4.lookAt(mat4.create(), eye, target, [0, 1, 0]);
    const projection = mat4.perspective(mat4.create(), 0.9, gfx.width / gfx.height, 0.1, 60);
    const vector = vec3.normalize(vec3.create(), vec3.sub(vec3.create(), target, eye));
    gfx.setCamera({ view, projection, position: eye, vector });
    return [gfx.width, gfx.height];
  },
  scene({ name, frames = 2 }) {
    gfx.clearAll();
    const places = scenes[name]();
    for (let i = 0; i < frames; ++i) { commands.tick(); kit.addon.poll(); kit.readEvents(buffers); gfx.render(); }
    return places;
  },
  quality({ shadow, ssao, aa }) {
    if (shadow !== undefined) kit.addon.setShadowQuality(shadow);
    if (ssao !== undefined) kit.addon.setSsaoQuality(ssao);
    if (aa !== undefined) kit.addon.setAntialias(aa);
    return true;
  },
  quit() { return kit.addon.quit(); },
};

serveRequests(handlers);
