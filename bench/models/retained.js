'use strict';
// One frame's scene geometry, 100 instances of a 9,999-vertex mesh (normals and colours) into the
// solid batch: through the retained path (kit.models: 100 instance records and one drawMeshes
// command, the addon placing the vertices during tick) against the kit's JavaScript mesh path (the
// same vertices transformed and written from JavaScript as lib/meshes.js writes its shapes, then
// the same tick). CPU time of the frame's building and tick, rendering left out (the same for
// both). Prints `@bench` lines; `--quick` runs fewer rounds. Needs a display (bench/run.js starts one).
// Usage: node bench/models/retained.js [--quick]
const { mat3, mat4 } = require('gl-matrix');
const kit = require('../../lib/host');
const { emit } = require('../common');

const VERTICES = 9999, INSTANCES = 100;
const quick = process.argv.includes('--quick');
const ROUNDS = quick ? 5 : 20;

// A deterministic mesh: triangles of random points with unit normals and colours.
let s = 12345;
const next = () => { s = (Math.imul(s, 1664525) + 1013904223) >>> 0; return (s >>> 8) / 16777216; };
const positions = new Float32Array(3 * VERTICES), normals = new Float32Array(3 * VERTICES), colors = new Float32Array(4 * VERTICES);
for (let v = 0; v < VERTICES; ++v) {
  const n = [next() * 2 - 1, next() * 2 - 1, next() * 2 - 1];
  const len = Math.hypot(...n) || 1;
  for (let k = 0; k < 3; ++k) { positions[3 * v + k] = n[k]; normals[3 * v + k] = n[k] / len; }
  colors.set([next(), next(), next(), 1], 4 * v);
}
const matrices = Array.from({ length: INSTANCES }, (_, i) => {
  const m = mat4.fromTranslation(mat4.create(), [(i % 10) * 2 - 9, 0, Math.floor(i / 10) * 2 - 9]);
  return mat4.rotateY(m, m, i * 0.1);
});

const buffers = kit.createBuffers();
const gfx = kit.setupGraphics(buffers, { capacity: { solid: VERTICES * INSTANCES } });
const commands = new kit.CommandWriter(buffers);
const meshes = kit.models.createMeshRenderer(buffers, commands);
const mesh = meshes.createMesh({ positions, normals, colors });

function retainedFrame() {
  gfx.solid.clear();
  for (let i = 0; i < INSTANCES; ++i) mesh.draw(matrices[i]);
  commands.tick();
}

// The JavaScript path: per instance the matrix's normal matrix and winding, then per vertex the
// position and normal transformed, the normal renormalised, colour, material and extra written.
const normalMatrix = new Float32Array(9);
function scriptFrame() {
  const b = gfx.solid;
  b.clear();
  for (let i = 0; i < INSTANCES; ++i) {
    const m = matrices[i];
    mat3.normalFromMat4(normalMatrix, m);
    const n = normalMatrix;
    const first = b.reserve(VERTICES);
    const P = b.position, N = b.normal, C = b.color, M = b.material, E = b.extra;
    for (let v = 0; v < VERTICES; ++v) {
      const i3 = 3 * (first + v), j3 = 3 * v, px = positions[j3], py = positions[j3 + 1], pz = positions[j3 + 2];
      P[i3] = m[0] * px + m[4] * py + m[8] * pz + m[12];
      P[i3 + 1] = m[1] * px + m[5] * py + m[9] * pz + m[13];
      P[i3 + 2] = m[2] * px + m[6] * py + m[10] * pz + m[14];
      const nx = normals[j3], ny = normals[j3 + 1], nz = normals[j3 + 2];
      const tx = n[0] * nx + n[3] * ny + n[6] * nz, ty = n[1] * nx + n[4] * ny + n[7] * nz, tz = n[2] * nx + n[5] * ny + n[8] * nz;
      const len = Math.hypot(tx, ty, tz) || 1;
      N[i3] = tx / len; N[i3 + 1] = ty / len; N[i3 + 2] = tz / len;
      C[i3] = colors[4 * v]; C[i3 + 1] = colors[4 * v + 1]; C[i3 + 2] = colors[4 * v + 2];
      M[i3] = 0; M[i3 + 1] = 0; M[i3 + 2] = 0;
      E[i3] = 0; E[i3 + 1] = 0; E[i3 + 2] = 0;
    }
  }
  commands.tick();
}

// CPU microseconds of `fn`, one call.
function cpu(fn) {
  const t0 = process.cpuUsage();
  fn();
  const t = process.cpuUsage(t0);
  return t.user + t.system;
}

// Warm-up, then interleaved rounds (one frame of each per round, their order alternating).
for (let i = 0; i < 3; ++i) { retainedFrame(); scriptFrame(); }
const times = { retained: [], script: [] };
for (let r = 0; r < ROUNDS; ++r) {
  const order = r % 2 ? ['script', 'retained'] : ['retained', 'script'];
  for (const name of order) times[name].push(cpu(name === 'retained' ? retainedFrame : scriptFrame));
}
// Both paths wrote the same count.
retainedFrame();
const retainedLength = buffers.header[gfx.solid.attributes[0].id];
scriptFrame();
if (retainedLength !== buffers.header[gfx.solid.attributes[0].id] || retainedLength !== 3 * VERTICES * INSTANCES) {
  throw new Error(`the paths wrote different lengths: ${retainedLength}, ${buffers.header[gfx.solid.attributes[0].id]}`);
}
emit(`${INSTANCES} x ${VERTICES}-vertex mesh per frame, retained (CPU)`, times.retained, 1e-3, 'ms', times.script,
  'JavaScript mesh path / retained');
emit(`${INSTANCES} x ${VERTICES}-vertex mesh per frame, JavaScript path (CPU)`, times.script, 1e-3, 'ms');
kit.addon.quit();
