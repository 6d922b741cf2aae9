'use strict';
// Window control for the host kit: the window's title and size, the render scale (the 3D scene
// drawn at a fraction of the window and scaled up, for slow GPUs), and the opt-in mouse-wheel
// record. Checked wrappers over the addon's extension exports; a host that never calls them keeps
// the start-up window and the wheel's log line.
const { kitError } = require('./checks');
let loadedAddon = null;
function native() { return loadedAddon || (loadedAddon = require('./index')); }

// Limits the addon applies: title bytes, window side, smallest render scale.
const contract = require('../contract/host');
const { MAX_TITLE_BYTES, MAX_WINDOW_SIDE, MIN_RENDER_SCALE } = contract.limits;
// Record type of the mouse wheel (opt-in).
const MOUSE_WHEEL = contract.events.find((e) => e.name === 'mouseWheel').code;

const encoder = new TextEncoder();

// Sets the window's title. Throws for a title that is not a string, holds a NUL or passes
// MAX_TITLE_BYTES of UTF-8; returns false when there is no window (after quit).
function setTitle(title) {
  if (typeof title !== 'string') throw kitError(TypeError, 'ERR_TYPE', `title must be a string, got ${typeof title}`);
  if (title.includes('\0')) throw kitError(RangeError, 'ERR_RANGE', 'title must not contain NUL');
  const bytes = encoder.encode(title).length;
  if (bytes > MAX_TITLE_BYTES) throw kitError(RangeError, 'ERR_RANGE', `title must be at most ${MAX_TITLE_BYTES} bytes of UTF-8, got ${bytes}`);
  return native().setWindowTitle(title) === 0;
}

function checkSide(value, what) {
  if (!Number.isInteger(value)) throw kitError(TypeError, 'ERR_TYPE', `${what} must be an integer, got ${value}`);
  if (value < 1 || value > MAX_WINDOW_SIDE) throw kitError(RangeError, 'ERR_RANGE', `${what} must be in 1..${MAX_WINDOW_SIDE}, got ${value}`);
  return value;
}

// Asks for a window (and render) size in pixels. The new size arrives as a windowSize event at a
// later poll, as after the user resized it; the graphics' width and height follow it. Returns false
// when there is no window.
function setSize(width, height) {
  checkSide(width, 'width');
  checkSide(height, 'height');
  return native().setWindowSize(width, height) === 0;
}

// Draws the 3D scene at `scale` (MIN_RENDER_SCALE..1) of the window and scales it up; the
// interface stays at the window's own size.
function setRenderScale(scale) {
  if (typeof scale !== 'number' || !(scale >= MIN_RENDER_SCALE && scale <= 1)) {
    throw kitError(RangeError, 'ERR_RANGE', `render scale must be in ${MIN_RENDER_SCALE}..1, got ${scale}`);
  }
  native().setRenderScale(scale);
}

// Turns the wheel's records on (or off): readEvents then yields { type: 'mouseWheel', x, y,
// preciseX, preciseY, flipped }.
function enableWheel(on = true) {
  native().enableEvent(MOUSE_WHEEL, Boolean(on));
}

module.exports = { setTitle, setSize, setRenderScale, enableWheel, MAX_TITLE_BYTES, MAX_WINDOW_SIDE, MIN_RENDER_SCALE, MOUSE_WHEEL };
