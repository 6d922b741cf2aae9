'use strict';
// Mesh builders: a box, a plane, a sphere and a cylinder written straight into a solid or forward
// batch (gfx.solid, gfx.transparent, gfx.unculled) through a per-object matrix. Triangles wind
// counter-clockwise seen from outside in the mesh's own space; a matrix that mirrors (negative
// determinant) has each triangle's order turned back, so the winding stays outward after the
// transform. Normals go through the inverse transpose of the matrix's upper 3x3 and are normalised,
// so non-uniform scales keep them perpendicular to the surface.
//
// Each builder reserves all its vertices at once and writes the batch's views directly: no call
// per vertex. It returns the index of its first vertex.
const { mat3 } = require('gl-matrix');
const { checkNumber, checkInteger, checkOptions, checkFloats, kitError } = require('./checks');
const { SolidBatch, ForwardBatch } = require('./graphics');

// The default colour when the options give none: a light grey.
const DEFAULT_MESH_COLOR = Object.freeze([0.8, 0.8, 0.8]);
const IDENTITY = Object.freeze([1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1]);
// Subdivisions the round meshes accept.
const MAX_SEGMENTS = 1024;

const COMMON_OPTIONS = ['color', 'specular', 'emission'];

// The six faces of a unit cube: normal, then two axes spanning the face with u x v = normal, so
// the corners below, taken in order, wind counter-clockwise seen from outside.
const CUBE_FACES = [
  [[1, 0, 0], [0, 0, -1], [0, 1, 0]], [[-1, 0, 0], [0, 0, 1], [0, 1, 0]],
  [[0, 1, 0], [1, 0, 0], [0, 0, -1]], [[0, -1, 0], [1, 0, 0], [0, 0, 1]],
  [[0, 0, 1], [1, 0, 0], [0, 1, 0]], [[0, 0, -1], [-1, 0, 0], [0, 1, 0]],
];
const QUAD_CORNERS = [[-1, -1], [1, -1], [1, 1], [-1, -1], [1, 1], [-1, 1]];

const normalMatrix = new Float32Array(9);

// Writes `count` vertices into `batch` from the local-space triangle emitter `build(put)`, where
// put(px, py, pz, nx, ny, nz) gives one vertex. Transforms, colours and winding are done here.
function writeMesh(batch, matrix, options, count, build, what) {
  const solid = batch instanceof SolidBatch;
  if (!solid && !(batch instanceof ForwardBatch)) {
    throw kitError(TypeError, 'ERR_TYPE', `${what} needs a solid or forward batch (gfx.solid, gfx.transparent, gfx.unculled)`);
  }
  const m = matrix == null ? IDENTITY : checkFloats(matrix, 16, `${what} matrix`);
  const { color = DEFAULT_MESH_COLOR, specular = 0, emission = 0 } = options;
  if (!color || (color.length !== 3 && color.length !== 4)) throw kitError(RangeError, 'ERR_RANGE', `${what} color must hold 3 or 4 numbers`);
  for (let i = 0; i < color.length; ++i) checkNumber(color[i], `${what} color[${i}]`);
  checkNumber(specular, `${what} specular`);
  checkNumber(emission, `${what} emission`);
  if (!solid && (options.specular !== undefined || options.emission !== undefined)) {
    throw kitError(RangeError, 'ERR_RANGE', `${what}: specular and emission are for the solid batch only`);
  }
  if (!mat3.normalFromMat4(normalMatrix, m)) throw kitError(RangeError, 'ERR_RANGE', `${what} matrix is singular: it has no normals`);
  const n = normalMatrix;
  // The sign of the upper 3x3's determinant: negative for a mirror.
  const det = m[0] * (m[5] * m[10] - m[6] * m[9]) - m[4] * (m[1] * m[10] - m[2] * m[9]) + m[8] * (m[1] * m[6] - m[2] * m[5]);
  const mirrored = det < 0;
  const [r, g, b, a = 1] = color;

  const first = batch.reserve(count);
  const P = batch.position, N = batch.normal, C = batch.color;
  let v = first;
  const put = (px, py, pz, nx, ny, nz) => {
    // In a mirrored object the second and third vertex of each triangle trade places.
    let at = v;
    if (mirrored) { const k = (v - first) % 3; if (k === 1) at = v + 1; else if (k === 2) at = v - 1; }
    ++v;
    const i = at * 3;
    P[i] = m[0] * px + m[4] * py + m[8] * pz + m[12];
    P[i + 1] = m[1] * px + m[5] * py + m[9] * pz + m[13];
    P[i + 2] = m[2] * px + m[6] * py + m[10] * pz + m[14];
    const tx = n[0] * nx + n[3] * ny + n[6] * nz, ty = n[1] * nx + n[4] * ny + n[7] * nz, tz = n[2] * nx + n[5] * ny + n[8] * nz;
    const len = Math.hypot(tx, ty, tz) || 1;
    N[i] = tx / len; N[i + 1] = ty / len; N[i + 2] = tz / len;
    if (solid) {
      C[i] = r; C[i + 1] = g; C[i + 2] = b;
      const M = batch.material, E = batch.extra;
      M[i] = specular; M[i + 1] = 0; M[i + 2] = emission;
      E[i] = 0; E[i + 1] = 0; E[i + 2] = 0;
    } else {
      const j = at * 4;
      C[j] = r; C[j + 1] = g; C[j + 2] = b; C[j + 3] = a;
    }
  };
  build(put);
  if (v - first !== count) throw new Error(`${what} wrote ${v - first} vertices, ${count} reserved`);
  return first;
}

function size3(size, what) {
  if (typeof size === 'number') return [checkNumber(size, `${what} size`), size, size];
  return checkFloats(size, 3, `${what} size`);
}

// A box centred on the origin, `size` wide along x, y and z (a number or [x, y, z]; default 1).
function box(batch, matrix, options) {
  const o = checkOptions(options, [...COMMON_OPTIONS, 'size'], 'box');
  const [sx, sy, sz] = size3(o.size === undefined ? 1 : o.size, 'box');
  return writeMesh(batch, matrix, o, 36, (put) => {
    for (const [nv, u, w] of CUBE_FACES) {
      for (const [p, q] of QUAD_CORNERS) {
        put((nv[0] + p * u[0] + q * w[0]) * sx * 0.5, (nv[1] + p * u[1] + q * w[1]) * sy * 0.5,
          (nv[2] + p * u[2] + q * w[2]) * sz * 0.5, nv[0], nv[1], nv[2]);
      }
    }
  }, 'box');
}

// A flat rectangle in the x-z plane facing +y, centred on the origin: `size` [x, z] (default 1 x 1).
function plane(batch, matrix, options) {
  const o = checkOptions(options, [...COMMON_OPTIONS, 'size'], 'plane');
  const size = o.size === undefined ? [1, 1] : typeof o.size === 'number' ? [o.size, o.size] : checkFloats(o.size, 2, 'plane size');
  const hx = checkNumber(size[0], 'plane size[0]') * 0.5, hz = checkNumber(size[1], 'plane size[1]') * 0.5;
  return writeMesh(batch, matrix, o, 6, (put) => {
    const c = (x, z) => put(x, 0, z, 0, 1, 0);
    c(-hx, hz); c(hx, hz); c(hx, -hz);
    c(-hx, hz); c(hx, -hz); c(-hx, -hz);
  }, 'plane');
}

// The point of a sphere at ring i of `rings` (0 the top pole) and segment j of `segments`.
function spherePoint(i, j, rings, segments, out) {
  const theta = (i / rings) * Math.PI, phi = (j / segments) * Math.PI * 2;
  out[0] = Math.sin(theta) * Math.cos(phi); out[1] = Math.cos(theta); out[2] = -Math.sin(theta) * Math.sin(phi);
  return out;
}

// A sphere of `radius` (default 0.5) around the origin: `rings` bands (default 12) of `segments`
// quads (default 24); the bands at the poles are single triangles.
function sphere(batch, matrix, options) {
  const o = checkOptions(options, [...COMMON_OPTIONS, 'radius', 'rings', 'segments'], 'sphere');
  const { radius = 0.5, rings = 12, segments = 24 } = o;
  checkNumber(radius, 'sphere radius');
  checkInteger(rings, 2, MAX_SEGMENTS, 'sphere rings');
  checkInteger(segments, 3, MAX_SEGMENTS, 'sphere segments');
  const count = segments * 3 * 2 + segments * (rings - 2) * 6;
  const a = [0, 0, 0], b = [0, 0, 0], c = [0, 0, 0], d = [0, 0, 0];
  return writeMesh(batch, matrix, o, count, (put) => {
    const p = (q) => put(q[0] * radius, q[1] * radius, q[2] * radius, q[0], q[1], q[2]);
    for (let i = 0; i < rings; ++i) {
      for (let j = 0; j < segments; ++j) {
        spherePoint(i, j, rings, segments, a); spherePoint(i + 1, j, rings, segments, b);
        spherePoint(i + 1, j + 1, rings, segments, c); spherePoint(i, j + 1, rings, segments, d);
        if (i !== rings - 1) { p(a); p(b); p(c); }
        if (i !== 0) { p(a); p(c); p(d); }
      }
    }
  }, 'sphere');
}

// An upright cylinder around the y axis, centred on the origin: `radius` (default 0.5), `height`
// (default 1), `segments` around (default 24), closed at both ends unless `caps` is false.
function cylinder(batch, matrix, options) {
  const o = checkOptions(options, [...COMMON_OPTIONS, 'radius', 'height', 'segments', 'caps'], 'cylinder');
  const { radius = 0.5, height = 1, segments = 24, caps = true } = o;
  checkNumber(radius, 'cylinder radius');
  checkNumber(height, 'cylinder height');
  checkInteger(segments, 3, MAX_SEGMENTS, 'cylinder segments');
  const count = segments * 6 + (caps ? segments * 6 : 0);
  const h = height * 0.5;
  return writeMesh(batch, matrix, o, count, (put) => {
    const angle = (j) => (j / segments) * Math.PI * 2;
    for (let j = 0; j < segments; ++j) {
      const c0 = Math.cos(angle(j)), s0 = -Math.sin(angle(j)), c1 = Math.cos(angle(j + 1)), s1 = -Math.sin(angle(j + 1));
      const side = (c, s, y) => put(c * radius, y, s * radius, c, 0, s);
      side(c0, s0, -h); side(c1, s1, -h); side(c1, s1, h);
      side(c0, s0, -h); side(c1, s1, h); side(c0, s0, h);
      if (caps) {
        put(0, h, 0, 0, 1, 0); put(c0 * radius, h, s0 * radius, 0, 1, 0); put(c1 * radius, h, s1 * radius, 0, 1, 0);
        put(0, -h, 0, 0, -1, 0); put(c1 * radius, -h, s1 * radius, 0, -1, 0); put(c0 * radius, -h, s0 * radius, 0, -1, 0);
      }
    }
  }, 'cylinder');
}

module.exports = { box, plane, sphere, cylinder, DEFAULT_MESH_COLOR };
