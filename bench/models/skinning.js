'use strict';
// Skinning 5,000 vertices (four joints each out of 30) into the solid batch's five arrays as a plain
// JavaScript loop (the same algorithm as the native kernel: the palette combined with the instance
// matrix once, four matrices blended per vertex, normals by the cofactor matrix, renormalised),
// against the native kernel's figure from bench/models/skin_bench (run here as a child). Prints
// `@bench` lines; `--quick` runs fewer rounds.
// Usage: node bench/models/skinning.js path/to/skin_bench [--quick]
const { spawnSync } = require('node:child_process');

const VERTICES = 5000, JOINTS = 30, REPEAT = 20;
const quick = process.argv.includes('--quick');
const nativeBench = process.argv[2];

// The native program's sequence: s = s * 1664525 + 1013904223 (mod 2^32), value (s >> 8) / 2^24.
let s = 12345;
const next = () => { s = (Math.imul(s, 1664525) + 1013904223) >>> 0; return (s >>> 8) / 16777216; };
const positions = new Float32Array(3 * VERTICES), normals = new Float32Array(3 * VERTICES);
const joints = new Uint16Array(4 * VERTICES), weights = new Float32Array(4 * VERTICES);
for (let v = 0; v < VERTICES; ++v) {
  for (let k = 0; k < 3; ++k) positions[3 * v + k] = next() * 2 - 1;
  for (let k = 0; k < 3; ++k) normals[3 * v + k] = next() * 2 - 1;
  for (let k = 0; k < 4; ++k) joints[4 * v + k] = Math.floor(Math.fround(next() * JOINTS));
  for (let k = 0; k < 4; ++k) weights[4 * v + k] = next();
}
const palette = new Float32Array(16 * JOINTS);
for (let j = 0; j < JOINTS; ++j) {
  const a = Math.fround(next() * 6.28), c = Math.cos(a), sn = Math.sin(a);
  palette.set([c, sn, 0, 0, -sn, c, 0, 0, 0, 0, 1, 0, next(), next(), next(), 1], 16 * j);
}
const matrix = Float32Array.of(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 2, 0, -3, 1);
const P = new Float32Array(3 * VERTICES), N = new Float32Array(3 * VERTICES), C = new Float32Array(3 * VERTICES);
const M = new Float32Array(3 * VERTICES), E = new Float32Array(3 * VERTICES);
const combined = new Float32Array(12 * JOINTS), skin = new Float32Array(12);

function skinAll() {
  // Affine parts (12 floats) of matrix x palette[j].
  const m = matrix;
  for (let j = 0; j < JOINTS; ++j) {
    const b = 16 * j, o = 12 * j;
    for (let c = 0; c < 4; ++c) {
      const x = palette[b + 4 * c], y = palette[b + 4 * c + 1], z = palette[b + 4 * c + 2], w = c === 3 ? 1 : 0;
      for (let r = 0; r < 3; ++r) combined[o + 3 * c + r] = m[r] * x + m[4 + r] * y + m[8 + r] * z + m[12 + r] * w;
    }
  }
  for (let v = 0; v < VERTICES; ++v) {
    let sum = 0;
    for (let k = 0; k < 4; ++k) { const w = weights[4 * v + k]; if (w > 0 && joints[4 * v + k] < JOINTS) sum += w; }
    skin.fill(0);
    for (let k = 0; k < 4; ++k) {
      const w = weights[4 * v + k], j = joints[4 * v + k];
      if (!(w > 0) || j >= JOINTS) continue;
      const f = w / sum, o = 12 * j;
      for (let i = 0; i < 12; ++i) skin[i] += f * combined[o + i];
    }
    const i3 = 3 * v, px = positions[i3], py = positions[i3 + 1], pz = positions[i3 + 2];
    P[i3] = skin[0] * px + skin[3] * py + skin[6] * pz + skin[9];
    P[i3 + 1] = skin[1] * px + skin[4] * py + skin[7] * pz + skin[10];
    P[i3 + 2] = skin[2] * px + skin[5] * py + skin[8] * pz + skin[11];
    const c00 = skin[4] * skin[8] - skin[5] * skin[7], c01 = skin[5] * skin[6] - skin[3] * skin[8], c02 = skin[3] * skin[7] - skin[4] * skin[6];
    const c10 = skin[7] * skin[2] - skin[8] * skin[1], c11 = skin[8] * skin[0] - skin[6] * skin[2], c12 = skin[6] * skin[1] - skin[7] * skin[0];
    const c20 = skin[1] * skin[5] - skin[2] * skin[4], c21 = skin[2] * skin[3] - skin[0] * skin[5], c22 = skin[0] * skin[4] - skin[1] * skin[3];
    const sign = skin[0] * c00 + skin[1] * c01 + skin[2] * c02 < 0 ? -1 : 1;
    const nx = normals[i3], ny = normals[i3 + 1], nz = normals[i3 + 2];
    const x = (c00 * nx + c10 * ny + c20 * nz) * sign, y = (c01 * nx + c11 * ny + c21 * nz) * sign, z = (c02 * nx + c12 * ny + c22 * nz) * sign;
    const len = Math.sqrt(x * x + y * y + z * z) || 1;
    N[i3] = x / len; N[i3 + 1] = y / len; N[i3 + 2] = z / len;
    C[i3] = 1; C[i3 + 1] = 1; C[i3 + 2] = 1;
    M[i3] = 0; M[i3 + 1] = 0; M[i3 + 2] = 0;
    E[i3] = 0; E[i3 + 1] = 0; E[i3 + 2] = 0;
  }
}

const rounds = quick ? 10 : 60;
for (let r = 0; r < 200; ++r) skinAll();  // warm-up: optimised code
const js = [];
for (let r = 0; r < rounds; ++r) {
  const t0 = process.hrtime.bigint();
  for (let k = 0; k < REPEAT; ++k) skinAll();
  js.push(Number(process.hrtime.bigint() - t0) / 1e3 / REPEAT);
}
const line = { name: 'skin 5,000 vertices x 4 of 30 joints, JavaScript loop', unit: 'us', values: js };
if (nativeBench) {
  const r = spawnSync(nativeBench, quick ? ['--quick'] : [], { encoding: 'utf8' });
  const native = (r.stdout || '').split('\n').filter((l) => l.startsWith('@bench ')).map((l) => JSON.parse(l.slice(7)))[0];
  if (native) {
    console.log(`@bench ${JSON.stringify(native)}`);
    // Round by round, as far as both ran: how many times the native kernel is faster.
    line.ratio = js.map((v, i) => v / native.values[i % native.values.length]);
    line.against = 'JavaScript / native kernel (speed-up)';
  } else {
    process.stderr.write(`skin_bench failed (${r.status ?? r.signal}): ${r.stderr}\n`);
  }
}
console.log(`@bench ${JSON.stringify(line)}`);
