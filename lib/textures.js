'use strict';
// Images for the host kit: the addon's sprite atlas (one RGBA texture shared by every program)
// filled from PNG or JPEG files or from pixels, under names, and the vertex helpers that point the
// reference shaders at an image: textured solids (the solid batch's extra attribute), textured
// transparent surfaces and interface sprites (a colour whose red is -1 or less carries the texel).
const { kitError } = require('./checks');
let loadedAddon = null;
function native() { return loadedAddon || (loadedAddon = require('./index')); }

// Image ids the addon holds, largest image side, longest path.
const { IMAGE_COUNT, MAX_IMAGE_SIDE, MAX_IMAGE_PATH } = require('../contract/host').limits;
// What each status of loadImage / setImage means.
const STATUS = ['ok', 'there is no GL context (before ready or after quit)', 'the file cannot be read',
  'it is not a PNG or JPEG image, or it is damaged', `a side is 0 or over ${MAX_IMAGE_SIDE} pixels, or the file is over 64 MiB`,
  'the sprite atlas is full', 'the pixels are not width x height x 4 bytes'];

// name -> { id, x, y, width, height }: where each image lies in the atlas, in texels.
const images = new Map();

function idFor(name) {
  if (typeof name !== 'string' || name === '') throw kitError(TypeError, 'ERR_TYPE', 'image name must be a non-empty string');
  const known = images.get(name);
  if (known) return known.id;
  if (images.size >= IMAGE_COUNT) throw kitError(RangeError, 'ERR_FULL', `at most ${IMAGE_COUNT} images can be named`);
  return images.size;
}

function settle(name, id, [status, x, y, width, height], what) {
  if (status !== 0) {
    const error = kitError(Error, status === 2 ? 'ERR_FILE' : status === 5 ? 'ERR_FULL' : 'ERR_IMAGE', `image ${name} (${what}): ${STATUS[status] || `status ${status}`}`);
    error.status = status;
    throw error;
  }
  const rect = Object.freeze({ id, x, y, width, height });
  images.set(name, rect);
  return rect;
}

// Loads a PNG or JPEG file as image `name`; returns where it landed. A name loaded again keeps its
// place when the new image fits there. Throws with `status` when the addon refused it.
function load(name, path) {
  const id = idFor(name);
  if (typeof path !== 'string' || path.includes('\0')) throw kitError(TypeError, 'ERR_TYPE', 'image path must be a string without NUL');
  if (Buffer.byteLength(path) > MAX_IMAGE_PATH) throw kitError(RangeError, 'ERR_RANGE', `image path must be at most ${MAX_IMAGE_PATH} bytes`);
  return settle(name, id, native().loadImage(id, path), path);
}

// Puts `width` x `height` RGBA pixels (rows top first, any Uint8Array) in as image `name`.
function fromPixels(name, rgba, width, height) {
  const id = idFor(name);
  for (const [v, what] of [[width, 'width'], [height, 'height']]) {
    if (!Number.isInteger(v) || v < 1 || v > MAX_IMAGE_SIDE) throw kitError(RangeError, 'ERR_RANGE', `${what} must be in 1..${MAX_IMAGE_SIDE}, got ${v}`);
  }
  if (!(rgba instanceof Uint8Array) || rgba.length !== width * height * 4) {
    throw kitError(RangeError, 'ERR_RANGE', `pixels must be a Uint8Array of ${width * height * 4} bytes`);
  }
  return settle(name, id, native().setImage(id, rgba, width, height), 'pixels');
}

// The image's place, or undefined.
function get(name) { return images.get(name); }

function rectOf(image) {
  const rect = typeof image === 'string' ? images.get(image) : image;
  if (!rect) throw kitError(RangeError, 'ERR_RANGE', `no image named ${image}`);
  return rect;
}

// The texel at (u, v) of an image: u from its left edge (0) to its right (1), v from top to bottom.
function texel(image, u, v) {
  const r = rectOf(image);
  return [r.x + u * r.width, r.y + v * r.height];
}

// A textured vertex of the solid batch: the image at (u, v) times the colour (white by default).
function solidVertex(batch, position, normal, image, u, v, { color = [1, 1, 1], specular = 0, emission = 0 } = {}) {
  batch.vertex(position[0], position[1], position[2], normal[0], normal[1], normal[2], color[0], color[1], color[2],
    specular, 0, emission);
  const [s, t] = texel(image, u, v);
  const i = (batch.count - 1) * 3;
  batch.extra[i] = s; batch.extra[i + 1] = t; batch.extra[i + 2] = 1;
}

// A textured vertex of a transparent or unculled batch: the image at (u, v), its opacity times alpha.
function forwardVertex(batch, position, normal, image, u, v, { alpha = 1, brightness = 1 } = {}) {
  const [s, t] = texel(image, u, v);
  batch.vertex(position[0], position[1], position[2], normal[0], normal[1], normal[2], -1 - s, t, brightness, alpha);
}

// An interface sprite: the whole image (or `uv` = [u0, v0, u1, v1] of it) drawn between the corners
// (x0, y0) and (x1, y1), in interface pixels.
function uiSprite(ui, image, x0, y0, x1, y1, { alpha = 1, brightness = 1, uv = [0, 0, 1, 1] } = {}) {
  const [s0, t0] = texel(image, uv[0], uv[1]);
  const [s1, t1] = texel(image, uv[2], uv[3]);
  const corner = (x, y, s, t) => ui.vertex(x, y, -1 - s, t, brightness, alpha);
  corner(x0, y0, s0, t0); corner(x1, y1, s1, t1); corner(x1, y0, s1, t0);
  corner(x0, y0, s0, t0); corner(x0, y1, s0, t1); corner(x1, y1, s1, t1);
}

module.exports = { load, fromPixels, get, texel, solidVertex, forwardVertex, uiSprite, IMAGE_COUNT, MAX_IMAGE_SIDE, MAX_IMAGE_PATH };
