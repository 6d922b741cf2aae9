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
// A textured mesh shows its image's own colours unless a colour is given.
const WHITE = Object.freeze([1, 1, 1]);
const IDENTITY = Object.freeze([1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1]);
// Subdivisions the round meshes accept.
const MAX_SEGMENTS = 1024;

const COMMON_OPTIONS = ['color', 'specular', 'emission', 'image', 'repeat'];

// Texture coordinates of the vertices being written, in repeats of the image (0..repeat), kept
// here between a builder's vertices and the pass that maps them into the atlas; grown, never shrunk.
let scratchUv = new Float64Array(0);

// An image's place in the atlas (an Image of game.image, a textures rect, or a textures name).
function imageRect(image, what) {
  const rect = typeof image === 'string' ? require('./textures').get(image) : image;
  if (!rect || ![rect.x, rect.y, rect.width, rect.height].every((v) => typeof v === 'number')) {
    throw kitError(TypeError, 'ERR_TYPE', `${what}: image must be an image (game.image or textures.load), got ${image}`);
  }
  return rect;
}

// `repeat`: a number for both directions or [u, v], each at least 1/1024 and whole for the round
// meshes (their subdivisions must fall on the image's edges).
function repeatOf(repeat, what, whole) {
  const r = repeat === undefined ? [1, 1] : typeof repeat === 'number' ? [repeat, repeat] : checkFloats(repeat, 2, `${what} repeat`);
  for (const v of r) {
    checkNumber(v, `${what} repeat`);
    if (v < 1 / 1024 || v > MAX_SEGMENTS || (whole && !Number.isInteger(v))) {
      throw kitError(RangeError, 'ERR_RANGE', `${what}: repeat must be ${whole ? 'a whole number' : 'a number'} in ${whole ? 1 : 1 / 1024}..${MAX_SEGMENTS}, got ${v}`);
    }
  }
  return r;
}

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
  const { color = options.image === undefined ? DEFAULT_MESH_COLOR : WHITE, specular = 0, emission = 0 } = options;
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

  const rect = options.image === undefined ? null : imageRect(options.image, what);
  if (rect && scratchUv.length < count * 2) scratchUv = new Float64Array(count * 2);
  const first = batch.reserve(count);
  const P = batch.position, N = batch.normal, C = batch.color;
  let v = first;
  const put = (px, py, pz, nx, ny, nz, u = 0, w = 0) => {
    // In a mirrored object the second and third vertex of each triangle trade places.
    let at = v;
    if (mirrored) { const k = (v - first) % 3; if (k === 1) at = v + 1; else if (k === 2) at = v - 1; }
    ++v;
    if (rect) { scratchUv[(at - first) * 2] = u; scratchUv[(at - first) * 2 + 1] = w; }
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
  if (rect) mapImage(batch, solid, rect, first, count, a);
  return first;
}

// Points each vertex at its texel: every triangle takes the repeat of the image its middle lies
// in, and its corners are placed within that one repeat (the builders put edges on the repeats'
// borders). Solid vertices carry (s, t, 1) in `extra`; forward vertices the texel in their colour.
function mapImage(batch, solid, rect, first, count, alpha) {
  for (let t = 0; t < count; t += 3) {
    const j = t * 2;
    const tileU = Math.floor((scratchUv[j] + scratchUv[j + 2] + scratchUv[j + 4]) / 3);
    const tileV = Math.floor((scratchUv[j + 1] + scratchUv[j + 3] + scratchUv[j + 5]) / 3);
    for (let k = 0; k < 3; ++k) {
      const u = Math.min(1, Math.max(0, scratchUv[j + 2 * k] - tileU));
      const w = Math.min(1, Math.max(0, scratchUv[j + 2 * k + 1] - tileV));
      const s = rect.x + u * rect.width, tt = rect.y + w * rect.height;
      const at = first + t + k;
      if (solid) {
        batch.extra[at * 3] = s; batch.extra[at * 3 + 1] = tt; batch.extra[at * 3 + 2] = 1;
      } else {
        const c = batch.color;
        c[at * 4] = -1 - s; c[at * 4 + 1] = tt; c[at * 4 + 2] = 1; c[at * 4 + 3] = alpha;
      }
    }
  }
}

function size3(size, what) {
  if (typeof size === 'number') return [checkNumber(size, `${what} size`), size, size];
  return checkFloats(size, 3, `${what} size`);
}

// A grid of quads over a face, `cells` = [cu, cv] along its two axes, with the image repeated
// [ru, rv] times: put(a, b, u, w) gets the corner's place on the face (0..1 each way) and its
// texture coordinates (0..ru, 0..rv, v downwards from the face's top).
function faceGrid(ru, rv, corner) {
  const cu = Math.ceil(ru - 1e-9), cv = Math.ceil(rv - 1e-9);
  for (let i = 0; i < cu; ++i) {
    for (let j = 0; j < cv; ++j) {
      const u0 = i, u1 = Math.min(i + 1, ru), v0 = j, v1 = Math.min(j + 1, rv);
      const c = (u, w) => corner(u / ru, 1 - w / rv, u, w);
      c(u0, v1); c(u1, v1); c(u1, v0);
      c(u0, v1); c(u1, v0); c(u0, v0);
    }
  }
}
const cells = (r) => Math.ceil(r[0] - 1e-9) * Math.ceil(r[1] - 1e-9);

// How often the image repeats over a face of w x h: `tile` (its size in the world) or `repeat`.
function faceRepeat(o, w, h, what) {
  if (o.tile === undefined) return repeatOf(o.repeat, what, false);
  if (o.repeat !== undefined) throw kitError(RangeError, 'ERR_OPTION', `${what}: give tile or repeat, not both`);
  if (!(checkNumber(o.tile, `${what} tile`) > 0)) throw kitError(RangeError, 'ERR_RANGE', `${what}: tile must be positive, got ${o.tile}`);
  return repeatOf([Math.max(1 / 1024, Math.abs(w) / o.tile), Math.max(1 / 1024, Math.abs(h) / o.tile)], what, false);
}

// A box centred on the origin, `size` wide along x, y and z (a number or [x, y, z]; default 1).
// With an image, each face shows it (`repeat` times, or once per `tile` of the face's size).
function box(batch, matrix, options) {
  const o = checkOptions(options, [...COMMON_OPTIONS, 'size', 'tile'], 'box');
  const [sx, sy, sz] = size3(o.size === undefined ? 1 : o.size, 'box');
  const extent = [sx, sy, sz];
  const span = (axis) => Math.abs(axis[0]) * sx + Math.abs(axis[1]) * sy + Math.abs(axis[2]) * sz;
  const repeats = CUBE_FACES.map(([, u, w]) => (o.image === undefined ? [1, 1] : faceRepeat(o, span(u), span(w), 'box')));
  const count = repeats.reduce((n, r) => n + 6 * cells(r), 0);
  return writeMesh(batch, matrix, o, count, (put) => {
    CUBE_FACES.forEach(([nv, u, w], f) => {
      faceGrid(repeats[f][0], repeats[f][1], (a, b, tu, tv) => {
        const p = a * 2 - 1, q = b * 2 - 1;
        put((nv[0] + p * u[0] + q * w[0]) * extent[0] * 0.5, (nv[1] + p * u[1] + q * w[1]) * extent[1] * 0.5,
          (nv[2] + p * u[2] + q * w[2]) * extent[2] * 0.5, nv[0], nv[1], nv[2], tu, tv);
      });
    });
  }, 'box');
}

// A flat rectangle in the x-z plane facing +y, centred on the origin: `size` [x, z] (default 1 x 1).
// With an image: once over the plane, `repeat` times, or once per `tile` (its size in the world).
function plane(batch, matrix, options) {
  const o = checkOptions(options, [...COMMON_OPTIONS, 'size', 'tile'], 'plane');
  const size = o.size === undefined ? [1, 1] : typeof o.size === 'number' ? [o.size, o.size] : checkFloats(o.size, 2, 'plane size');
  const hx = checkNumber(size[0], 'plane size[0]') * 0.5, hz = checkNumber(size[1], 'plane size[1]') * 0.5;
  const r = o.image === undefined ? [1, 1] : faceRepeat(o, 2 * hx, 2 * hz, 'plane');
  // u runs along +x, v from the far edge (-z) towards the near one (+z).
  return writeMesh(batch, matrix, o, 6 * cells(r), (put) => {
    faceGrid(r[0], r[1], (a, b, tu, tv) => put(-hx + 2 * hx * a, 0, hz - 2 * hz * b, 0, 1, 0, tu, tv));
  }, 'plane');
}

// The point of a sphere at ring i of `rings` (0 the top pole) and segment j of `segments`.
function spherePoint(i, j, rings, segments, out) {
  const theta = (i / rings) * Math.PI, phi = (j / segments) * Math.PI * 2;
  out[0] = Math.sin(theta) * Math.cos(phi); out[1] = Math.cos(theta); out[2] = -Math.sin(theta) * Math.sin(phi);
  return out;
}

// A sphere of `radius` (default 0.5) around the origin: `rings` bands (default 12) of `segments`
// quads (default 24); the bands at the poles are single triangles. An image wraps around it once
// (an equirectangular map: u around from +x, v from the top pole down), or `repeat` [u, v] whole
// times; rings and segments grow to a multiple of the repeats.
function sphere(batch, matrix, options) {
  const o = checkOptions(options, [...COMMON_OPTIONS, 'radius', 'rings', 'segments'], 'sphere');
  const { radius = 0.5 } = o;
  let { rings = 12, segments = 24 } = o;
  checkNumber(radius, 'sphere radius');
  checkInteger(rings, 2, MAX_SEGMENTS, 'sphere rings');
  checkInteger(segments, 3, MAX_SEGMENTS, 'sphere segments');
  const [ru, rv] = o.image === undefined ? [1, 1] : repeatOf(o.repeat, 'sphere', true);
  segments = Math.ceil(segments / ru) * ru;
  rings = Math.ceil(rings / rv) * rv;
  const count = segments * 3 * 2 + segments * (rings - 2) * 6;
  const a = [0, 0, 0], b = [0, 0, 0], c = [0, 0, 0], d = [0, 0, 0];
  return writeMesh(batch, matrix, o, count, (put) => {
    const p = (q, i, j) => put(q[0] * radius, q[1] * radius, q[2] * radius, q[0], q[1], q[2], (j / segments) * ru, (i / rings) * rv);
    for (let i = 0; i < rings; ++i) {
      for (let j = 0; j < segments; ++j) {
        spherePoint(i, j, rings, segments, a); spherePoint(i + 1, j, rings, segments, b);
        spherePoint(i + 1, j + 1, rings, segments, c); spherePoint(i, j + 1, rings, segments, d);
        // A pole's texture coordinate sits over the middle of its triangle's segment.
        const poleJ = j + 0.5;
        if (i !== rings - 1) { p(a, i, i === 0 ? poleJ : j); p(b, i + 1, j); p(c, i + 1, j + 1); }
        if (i !== 0) { p(a, i, j); p(c, i + 1, i + 1 === rings ? poleJ : j + 1); p(d, i, j + 1); }
      }
    }
  }, 'sphere');
}

// An upright cylinder around the y axis, centred on the origin: `radius` (default 0.5), `height`
// (default 1), `segments` around (default 24), closed at both ends unless `caps` is false. An image
// wraps around the side (`repeat` [u, v] whole times; segments grow to a multiple of u) and shows
// once on each cap.
function cylinder(batch, matrix, options) {
  const o = checkOptions(options, [...COMMON_OPTIONS, 'radius', 'height', 'segments', 'caps'], 'cylinder');
  const { radius = 0.5, height = 1, caps = true } = o;
  let { segments = 24 } = o;
  checkNumber(radius, 'cylinder radius');
  checkNumber(height, 'cylinder height');
  checkInteger(segments, 3, MAX_SEGMENTS, 'cylinder segments');
  const [ru, rv] = o.image === undefined ? [1, 1] : repeatOf(o.repeat, 'cylinder', true);
  segments = Math.ceil(segments / ru) * ru;
  const count = segments * 6 * rv + (caps ? segments * 6 : 0);
  const h = height * 0.5;
  return writeMesh(batch, matrix, o, count, (put) => {
    const angle = (j) => (j / segments) * Math.PI * 2;
    for (let j = 0; j < segments; ++j) {
      const c0 = Math.cos(angle(j)), s0 = -Math.sin(angle(j)), c1 = Math.cos(angle(j + 1)), s1 = -Math.sin(angle(j + 1));
      const u0 = (j / segments) * ru, u1 = ((j + 1) / segments) * ru;
      for (let k = 0; k < rv; ++k) {
        // Band k from the top: y from h - k * band down to h - (k + 1) * band.
        const yTop = h - (k * height) / rv, yBottom = h - ((k + 1) * height) / rv;
        const side = (c, s, y, u, w) => put(c * radius, y, s * radius, c, 0, s, u, w);
        side(c0, s0, yBottom, u0, k + 1); side(c1, s1, yBottom, u1, k + 1); side(c1, s1, yTop, u1, k);
        side(c0, s0, yBottom, u0, k + 1); side(c1, s1, yTop, u1, k); side(c0, s0, yTop, u0, k);
      }
      if (caps) {
        const cap = (x, y, z, ny) => put(x, y, z, 0, ny, 0, 0.5 + 0.5 * x / (radius || 1), 0.5 + 0.5 * z / (radius || 1));
        cap(0, h, 0, 1); cap(c0 * radius, h, s0 * radius, 1); cap(c1 * radius, h, s1 * radius, 1);
        cap(0, -h, 0, -1); cap(c1 * radius, -h, s1 * radius, -1); cap(c0 * radius, -h, s0 * radius, -1);
      }
    }
  }, 'cylinder');
}

module.exports = { box, plane, sphere, cylinder, DEFAULT_MESH_COLOR };
