'use strict';
// Retained-mesh host, driven line by line (one JSON request per line, one report each): the kit's
// graphics with the reference shaders, a grey floor the host writes itself each frame, and glTF
// models and meshes drawn through the addon's mesh store (kit.models).
// Requests: setup, model, project, render, frame, reuse, raw, wild, quit.
const { mat4, vec3 } = require('gl-matrix');
const kit = require('tessimarke/host');
const { report, serveRequests } = require('./requests');

let buffers = null;
let gfx = null;
let commands = null;
let meshes = null;
const models = [];
const eye = [0, 2.5, 6];
const target = [0, 1, 0];

function setCamera() {
  const view = mat4.lookAt(mat4.create(), eye, target, [0, 1, 0]);
  const projection = mat4.perspective(mat4.create(), 0.9, gfx.width / gfx.height, 0.1, 60);
  const vector = vec3.normalize(vec3.create(), vec3.sub(vec3.create(), target, eye));
  gfx.setCamera({ view, projection, position: eye, vector });
}

// Where a world point lands in the window, in pixels (y down).
function project(p) {
  const clip = vec3.transformMat4(vec3.create(), p, mat4.multiply(mat4.create(), gfx.projection, gfx.view));
  return [Math.round((clip[0] * 0.5 + 0.5) * gfx.width), Math.round((0.5 - clip[1] * 0.5) * gfx.height)];
}

const floor = { position: [-8, 0, 8, 8, 0, 8, 8, 0, -8, -8, 0, 8, 8, 0, -8, -8, 0, -8],
  normal: Array(6).fill([0, 1, 0]).flat(), color: Array(18).fill(0.6) };

// One frame: the host's floor, each model placed (advanced by `dt` first), the commands, render.
// Reports the draw command's results and the solid batch's first length after tick and render.
function frame(dt = 0, draw = true) {
  kit.addon.poll();
  kit.readEvents(buffers);
  gfx.clearAll();
  gfx.solid.add(floor);
  const firsts = [];
  if (draw) {
    for (const m of models) {
      if (m.handle.player) m.handle.update(dt);
      const before = commands.length;
      m.handle.draw(m.matrix);
      if (commands.length !== before) firsts.push(before);
    }
  }
  const solidId = gfx.solid.attributes[0].id;
  commands.tick();
  const afterTick = buffers.header[solidId];
  gfx.render();
  return { results: firsts.map((i) => commands.result(i)), afterTick, afterRender: buffers.header[solidId],
    host: gfx.solid.count * 3 };
}

const handlers = {
  setup({ light = [0.3, -1, 1] }) {
    buffers = kit.createBuffers();
    gfx = kit.setupGraphics(buffers, { lightTransform: kit.directionalLight(light, { extent: 6 }) });
    commands = new kit.CommandWriter(buffers);
    meshes = kit.models.createMeshRenderer(buffers, commands);
    setCamera();
    return [gfx.width, gfx.height];
  },
  // Loads a model placed at `at` scaled by `scale`, playing `clip` when given; where its points land.
  async model({ file, at = [0, 0, 0], scale = 1, clip, probes = [] }) {
    const handle = await meshes.loadModel(file);
    if (clip !== undefined) handle.play(handle.animations[clip]);
    const matrix = mat4.fromTranslation(mat4.create(), at);
    mat4.scale(matrix, matrix, [scale, scale, scale]);
    models.push({ handle, matrix });
    return { animations: handle.animations, meshes: handle.meshes.flat().map((m) => m.id), probes: probes.map(project) };
  },
  project({ points }) { return points.map(project); },
  // Draws the frame again without a tick: the addon's vertices are drawn again too.
  render() { gfx.render(); return buffers.header[gfx.solid.attributes[0].id]; },
  frame({ dt = 0, count = 1, draw = true }) {
    let r;
    for (let i = 0; i < count; ++i) r = frame(dt, draw);
    return r;
  },
  // Releases every model and a mesh made and released again: ids come back.
  reuse() {
    const ids = models.map((m) => m.handle.meshes.flat().map((h) => h.id)).flat();
    for (const m of models.splice(0)) m.handle.release();
    const tri = { positions: [0, 0, 0, 1, 0, 0, 0, 1, 0] };
    const a = meshes.createMesh(tri);
    a.release();
    const b = meshes.createMesh(tri);
    const again = [kit.addon.releaseMesh(b.id), kit.addon.releaseMesh(b.id)];
    return { ids, a: a.id, b: b.id, again };
  },
  // Calls an addon export with the given arguments ('NaN' and 'Infinity' strings become numbers).
  raw({ name, args }) {
    const value = (v) => (v === 'NaN' ? NaN : v === 'Infinity' ? Infinity : v === '-Infinity' ? -Infinity : v);
    return kit.addon[name](...args.map(value));
  },
  // Mesh blocks and instance records as the tests write them, word by word: `mesh` is a list of
  // 32-bit words (numbers are written as u32 unless given as { f: x }) put in a block of `bytes`;
  // `records` the same for an instance block; `draws` the drawMeshes operands to run with the
  // instance block and palette block ids in place of 'I' and 'P'. Reports createMesh's result, each
  // draw's result and the solid batch's lengths.
  wild({ mesh, meshBytes, records = [], recordBytes = 96, paletteBytes = 0, draws = [] }) {
    const block = (words, bytes) => {
      const { id, buffer } = buffers.nextBuffer(Math.max(bytes, 4));
      const u = new Uint32Array(buffer, 0, buffer.byteLength >> 2), f = new Float32Array(buffer, 0, buffer.byteLength >> 2);
      words.slice(0, u.length).forEach((w, i) => { if (typeof w === 'object') f[i] = w.f === 'NaN' ? NaN : w.f; else u[i] = w; });
      return id;
    };
    const created = mesh ? kit.addon.createMesh(block(mesh, meshBytes)) : null;
    const instanceId = block(records, recordBytes);
    const paletteId = paletteBytes ? block([], paletteBytes) : -1;
    gfx.clearAll();
    gfx.solid.add(floor);
    // Written word by word: the kit's own method would refuse the wild operands before the addon sees them.
    const at = draws.map((d) => {
      const i = commands.begin(kit.COMMANDS.drawMeshes);
      d.forEach((v, k) => { commands.words[i + 1 + k] = v === 'I' ? instanceId : v === 'P' ? paletteId : v === 'NaN' ? NaN : v; });
      return i;
    });
    commands.tick();
    const results = at.map((i) => commands.result(i));
    const lengths = gfx.solid.attributes.map((a) => buffers.header[a.id]);
    gfx.render();
    return { created, results, lengths, after: gfx.solid.attributes.map((a) => buffers.header[a.id]) };
  },
  quit() {
    kit.addon.quit();
    return true;
  },
};

serveRequests(handlers);
