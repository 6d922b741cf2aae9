'use strict';
// The host kit, `require('tessimarke/host')`: what a JavaScript game needs around the addon's own
// exports. It owns the host's side of the shared memory: the fixed blocks 0-7 with typed views,
// the command writer (one method per opcode, strings into STRING_BUFFER), the event reader, and
// the graphics set-up (every block the bufferIDs table names, the table, the shaders, `ready`)
// with per-frame writers for the vertex data and the camera. It does not pace the game loop or
// decide what to draw; the host's own code calls it, on the thread that loaded the addon.
//
// Misuse on the host's side (a string that does not fit, a full command buffer, an id out of
// range, a wrong type) throws a JavaScript error here, before anything reaches the addon, whose
// own checks would end the process.
//
// Sections: constants; shared buffers; command writer; event reader; graphics.
const fs = require('node:fs');
const path = require('node:path');
const { mat4, vec3 } = require('gl-matrix');
// The addon loads on first use: loading it opens the window, so the pure parts of the kit (the
// event decoder, the constants) stay usable without a display.
let loadedAddon = null;
function native() { return loadedAddon || (loadedAddon = require('./index')); }

// ---- constants ----------------------------------------------------------------------------------

// The fixed shared-buffer ids.
const HEADER_BUFFER = 0, POOL_BUFFER = 1, COMMAND_BUFFER = 2, RESULT_BUFFER = 3, EVENT_BUFFER = 4,
  DEBUG_BUFFER = 5, USB_BUFFER = 6, STRING_BUFFER = 7;
// Shared-buffer ids the addon can hold (0-255); HEADER_BUFFER has one 32-bit length per id.
const BUFFER_COUNT = 256;
// Sound ids the addon holds (0-255).
const SOUND_COUNT = 256;
// Bytes of one report of the USB adapter.
const ADAPTER_REPORT_SIZE = 37;

// Default byte sizes of the fixed blocks; createBuffers({ sizes }) overrides any of them.
const DEFAULT_SIZES = Object.freeze({
  header: BUFFER_COUNT * 4, // a fill length for every id
  pool: 4096,               // small views handed out by nextPool (its last byte is never handed out)
  command: 64 * 1024,       // 8192 command words per step
  result: 64 * 1024,        // one result word per command word
  event: 64 * 1024,         // several thousand input records per step
  debug: 16,                // bit 0 of byte 0: the render targets' debug view
  usb: 64,                  // the adapter's latest report
  string: 64 * 1024,        // UTF-8 text of one step's log and text commands
});
const FIXED = [['header', HEADER_BUFFER], ['pool', POOL_BUFFER], ['command', COMMAND_BUFFER],
  ['result', RESULT_BUFFER], ['event', EVENT_BUFFER], ['debug', DEBUG_BUFFER], ['usb', USB_BUFFER],
  ['string', STRING_BUFFER]];

// Opcodes of the command stream.
const OP = Object.freeze({
  PLAY: 1, PAUSE: 2, STOP: 3, GAIN: 4, STOP_ALL: 5, PAUSE_ALL: 6, RESUME_ALL: 7, TOGGLE_FULLSCREEN: 8,
  LOG: 9, TEXT: 10, TEXT_COLOR: 12,
});

// Faces of the font word's bits 0-1, and bit 2: the outlined batch.
const FONT = Object.freeze({ fallback: 0, mono: 1, sans: 2 });
const FONT_OUTLINE = 4;

// Event record types.
const EVENT = Object.freeze({
  QUIT: 256, WINDOW_SIZE: 512, KEY_DOWN: 768, KEY_UP: 769, TEXT_INPUT: 771, MOUSE_MOVE: 1024,
  MOUSE_DOWN: 1025, MOUSE_UP: 1026, MOUSE_WHEEL: 1027, CONTROLLER_AXIS: 1616, CONTROLLER_BUTTON_DOWN: 1617,
  CONTROLLER_BUTTON_UP: 1618, CONTROLLER_ADDED: 1619, CONTROLLER_REMOVED: 1620, ADAPTER_CONNECTED: 32768,
});

// ---- checks of the host's own use ---------------------------------------------------------------

function checkInteger(value, min, max, what) {
  if (typeof value !== 'number' || !Number.isInteger(value)) throw new TypeError(`${what} must be an integer, got ${value}`);
  if (value < min || value > max) throw new RangeError(`${what} must be in ${min}..${max}, got ${value}`);
  return value;
}
function checkNumber(value, what) {
  if (typeof value !== 'number' || !Number.isFinite(value)) throw new TypeError(`${what} must be a finite number, got ${value}`);
  return value;
}
function checkId(id) { return checkInteger(id, 0, BUFFER_COUNT - 1, 'buffer id'); }

// ---- shared buffers -----------------------------------------------------------------------------

// The fixed blocks 0-7 with typed views, fill lengths, and every further block the host made
// through it. Every ArrayBuffer the addon hands out is kept here for the life of the object: a
// collected one frees its block, and the addon then treats the id as absent.
let fixedBlocksMade = false;
class SharedBuffers {
  constructor({ sizes = {} } = {}) {
    if (fixedBlocksMade) throw new Error('the fixed blocks 0-7 exist already: create the shared buffers once per process');
    const s = { ...DEFAULT_SIZES, ...sizes };
    checkInteger(s.header, BUFFER_COUNT * 4, 2 ** 31, 'header size (it must hold all 256 fill lengths)');
    checkInteger(s.pool, 1, 2 ** 31, 'pool size');
    for (const name of ['command', 'result']) {
      checkInteger(s[name], 8, 2 ** 31, `${name} size`);
      if (s[name] % 8) throw new RangeError(`${name} size must be a multiple of 8 bytes, got ${s[name]}`);
    }
    checkInteger(s.event, 16, 2 ** 31, 'event size');
    checkInteger(s.debug, 1, 2 ** 31, 'debug size');
    checkInteger(s.usb, ADAPTER_REPORT_SIZE, 2 ** 31, `usb size (a report is ${ADAPTER_REPORT_SIZE} bytes)`);
    checkInteger(s.string, 1, 2 ** 31, 'string size');
    this.addon = native();
    this.sizes = Object.freeze(s);
    this.blocks = {};
    fixedBlocksMade = true;
    for (const [name, id] of FIXED) this.blocks[name] = native().initBuffer(id, s[name]);
    this.header = new Uint32Array(this.blocks.header);
    this.commandWords = new Float64Array(this.blocks.command);
    this.resultWords = new Float64Array(this.blocks.result);
    this.events = new Uint8Array(this.blocks.event);
    this.debug = new Uint8Array(this.blocks.debug);
    this.usb = new Uint8Array(this.blocks.usb);
    this.strings = new Uint8Array(this.blocks.string);
    this.kept = [];
  }

  // The fill length of block `id` (the 32-bit word `id` of HEADER_BUFFER).
  lenBuffer(id) { return this.header[checkId(id)]; }
  setLenBuffer(id, length) { this.header[checkId(id)] = checkInteger(length, 0, 2 ** 32 - 1, 'length'); }

  // A new block under the next id: { buffer, id }.
  nextBuffer(size) {
    checkInteger(size, 1, 2 ** 31, 'block size');
    const [buffer, id] = native().nextBuffer(size);
    this.kept.push(buffer);
    return { buffer, id };
  }

  // The next `length` bytes of POOL_BUFFER as a block of their own: { buffer, id }.
  nextPool(length) {
    checkInteger(length, 1, 2 ** 31, 'pool length');
    const left = this.sizes.pool - 1 - this.header[POOL_BUFFER];
    if (length > left) throw new RangeError(`POOL_BUFFER has ${left} bytes left, ${length} asked for`);
    const [buffer, id] = native().nextPool(length);
    this.kept.push(buffer);
    return { buffer, id };
  }

  // Bit 0 of DEBUG_BUFFER: the G-buffer thumbnails along the window's top edge.
  get debugView() { return (this.debug[0] & 1) === 1; }
  set debugView(on) { this.debug[0] = on ? this.debug[0] | 1 : this.debug[0] & ~1; }
}

function createBuffers(options) { return new SharedBuffers(options); }

// ---- command writer -----------------------------------------------------------------------------

const encoder = new TextEncoder();
const decoder = new TextDecoder();

// One step's commands: each method appends one command and returns its word index, which
// `result(index)` reads back after `tick`. Strings go into STRING_BUFFER from its start each step.
class CommandWriter {
  constructor(buffers) {
    this.buffers = buffers;
    this.words = buffers.commandWords;
    this.results = buffers.resultWords;
    // A command's result lands at its own index, so both blocks bound the stream.
    this.capacity = Math.min(this.words.length, this.results.length);
    this.length = 0;
    this.stringEnd = 0;
    // The step each opcode index was written in, so that `result` knows which indices ran.
    this.stamps = new Uint32Array(this.capacity);
    this.step = 1;
    this.ranStep = 0;
    this.ranLength = 0;
  }

  reserve(words, what) {
    if (this.length + words > this.capacity) {
      throw new RangeError(`command buffer full: ${what} needs ${words} words, ${this.capacity - this.length} of ` +
        `${this.capacity} left this step`);
    }
    const at = this.length;
    this.length += words;
    this.stamps[at] = this.step;
    this.words[at] = OP_WORD[what];
    return at;
  }

  // Encodes `text` into STRING_BUFFER after this step's earlier strings and returns its byte length
  // (it starts at the new stringEnd minus that). Text that does not fit throws before a byte of it
  // is written.
  string(text, what) {
    if (typeof text !== 'string') throw new TypeError(`${what} must be a string, got ${typeof text}`);
    const strings = this.buffers.strings;
    const room = strings.length - this.stringEnd;
    // UTF-8 takes at most 3 bytes per UTF-16 unit; only text that might not fit is measured.
    if (text.length * 3 > room) {
      const bytes = Buffer.byteLength(text);
      if (bytes > strings.length) {
        throw new RangeError(`${what} of ${bytes} bytes is longer than STRING_BUFFER (${strings.length} bytes)`);
      }
      if (bytes > room) {
        throw new RangeError(`${what} of ${bytes} bytes does not fit in STRING_BUFFER: ${room} of ${strings.length} bytes left this step`);
      }
    }
    const { written } = encoder.encodeInto(text, this.stringEnd ? strings.subarray(this.stringEnd) : strings);
    this.stringEnd += written;
    return written;
  }

  // Plays sound `sound` (0-255) on a free source; the result is the source, or 0 when none was free.
  play(sound, { gain = 1, pitch = 1, x = 0, y = 0, z = 0 } = {}) {
    checkInteger(sound, 0, SOUND_COUNT - 1, 'sound id');
    checkNumber(gain, 'gain'); checkNumber(pitch, 'pitch');
    checkNumber(x, 'x'); checkNumber(y, 'y'); checkNumber(z, 'z');
    const at = this.reserve(7, 'play');
    const w = this.words;
    w[at + 1] = sound; w[at + 2] = gain; w[at + 3] = pitch; w[at + 4] = x; w[at + 5] = y; w[at + 6] = z;
    return at;
  }
  pause(source) { return this.sourceCommand('pause', source); }
  stop(source) { return this.sourceCommand('stop', source); }
  gain(source, gain) {
    checkInteger(source, 0, 2 ** 31 - 1, 'source');
    checkNumber(gain, 'gain');
    const at = this.reserve(3, 'gain');
    this.words[at + 1] = source;
    this.words[at + 2] = gain;
    return at;
  }
  stopAll() { return this.reserve(1, 'stopAll'); }
  pauseAll() { return this.reserve(1, 'pauseAll'); }
  resumeAll() { return this.reserve(1, 'resumeAll'); }
  toggleFullscreen() { return this.reserve(1, 'toggleFullscreen'); }

  // Writes `text` to the addon's standard output as it is (add the newline yourself).
  log(text) {
    const at = this.reserve(3, 'log');
    try {
      const length = this.string(text, 'log text');
      this.words[at + 1] = this.stringEnd - length;
      this.words[at + 2] = length;
    } catch (e) { this.unreserve(at); throw e; }
    return at;
  }

  // The colour of all later text, until set again (components 0-1).
  textColor(r, g, b, a = 1) {
    checkNumber(r, 'red'); checkNumber(g, 'green'); checkNumber(b, 'blue'); checkNumber(a, 'alpha');
    const at = this.reserve(5, 'textColor');
    this.words[at + 1] = r; this.words[at + 2] = g; this.words[at + 3] = b; this.words[at + 4] = a;
    return at;
  }

  // One line of text with its baseline at (x, y) in interface pixels, y down. font: 'sans' (default),
  // 'mono', 'fallback' or 0-3; outline: draw it in the outlined batch; maxWidth: squeeze a longer
  // run to this many pixels (0: no limit).
  text(text, x, y, { size = 24, font = 'sans', outline = false, maxWidth = 0 } = {}) {
    checkNumber(x, 'x'); checkNumber(y, 'y'); checkNumber(size, 'size');
    if (size <= 0) throw new RangeError(`size must be positive, got ${size}`);
    const face = typeof font === 'string' ? FONT[font] : font;
    if (face === undefined) throw new RangeError(`font must be one of ${Object.keys(FONT).join(', ')}, got ${font}`);
    checkInteger(face, 0, 3, 'font');
    checkInteger(maxWidth, 0, 2 ** 32 - 1, 'maximum width');
    const at = this.reserve(8, 'text');
    try {
      const length = this.string(text, 'text');
      const w = this.words;
      w[at + 1] = this.stringEnd - length; w[at + 2] = length; w[at + 3] = x; w[at + 4] = y; w[at + 5] = size;
      w[at + 6] = face | (outline ? FONT_OUTLINE : 0); w[at + 7] = maxWidth;
    } catch (e) { this.unreserve(at); throw e; }
    return at;
  }

  sourceCommand(what, source) {
    checkInteger(source, 0, 2 ** 31 - 1, 'source');
    const at = this.reserve(2, what);
    this.words[at + 1] = source;
    return at;
  }
  unreserve(at) { this.length = at; this.stamps[at] = 0; }

  // Drops this step's commands and strings.
  clear() {
    this.length = 0;
    this.stringEnd = 0;
    this.step += 1;
  }

  // Runs this step's commands and starts the next step's (results stay readable until the next tick).
  tick() {
    this.buffers.header[COMMAND_BUFFER] = this.length;
    native().tick();
    this.ranStep = this.step;
    this.ranLength = this.length;
    this.step += 1;
    this.length = 0;
    this.stringEnd = 0;
    return this;
  }

  // The result of the command written at `index` in the step the last `tick` ran.
  result(index) {
    if (!Number.isInteger(index) || index < 0 || index >= this.ranLength || this.stamps[index] !== this.ranStep) {
      throw new RangeError(`no command of the last tick starts at word ${index}`);
    }
    return this.results[index];
  }
}
const OP_WORD = { play: OP.PLAY, pause: OP.PAUSE, stop: OP.STOP, gain: OP.GAIN, stopAll: OP.STOP_ALL,
  pauseAll: OP.PAUSE_ALL, resumeAll: OP.RESUME_ALL, toggleFullscreen: OP.TOGGLE_FULLSCREEN, log: OP.LOG,
  text: OP.TEXT, textColor: OP.TEXT_COLOR };

// ---- event reader -------------------------------------------------------------------------------

const KEY_NAMES = { [EVENT.KEY_DOWN]: 'keyDown', [EVENT.KEY_UP]: 'keyUp' };
const BUTTON_NAMES = { [EVENT.MOUSE_DOWN]: 'mouseDown', [EVENT.MOUSE_UP]: 'mouseUp' };

// Decodes the packed records in bytes[0, length) into plain objects, appended to `out`. A type it
// does not know, or a record cut off by `length`, throws: the records after it cannot be found.
function decodeEvents(bytes, length = bytes.length, out = []) {
  if (length > bytes.length) throw new RangeError(`event length ${length} is past the block's ${bytes.length} bytes`);
  const v = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  let o = 0;
  while (o < length) {
    if (o + 2 > length) throw new RangeError(`event record cut off at byte ${o}`);
    const code = v.getUint16(o, true);
    let e;
    let size;
    switch (code) {
      case EVENT.QUIT: e = { type: 'quit', code }; size = 2; break;
      case EVENT.WINDOW_SIZE: size = 11; if (o + size > length) break;
        e = { type: 'windowSize', code, width: v.getInt32(o + 3, true), height: v.getInt32(o + 7, true) }; break;
      case EVENT.KEY_DOWN: case EVENT.KEY_UP: size = 11; if (o + size > length) break;
        e = { type: KEY_NAMES[code], code, scancode: v.getUint16(o + 2, true), key: v.getInt32(o + 4, true),
          mod: v.getUint16(o + 8, true), repeat: v.getUint8(o + 10) !== 0 };
        break;
      case EVENT.TEXT_INPUT: {
        const n = o + 3 <= length ? v.getUint8(o + 2) : 0;
        size = 3 + n; if (o + size > length) break;
        e = { type: 'textInput', code, text: decoder.decode(bytes.subarray(o + 3, o + 3 + n)) };
        break;
      }
      case EVENT.MOUSE_MOVE: size = 10; if (o + size > length) break;
        e = { type: 'mouseMove', code, x: v.getInt32(o + 2, true), y: v.getInt32(o + 6, true) }; break;
      case EVENT.MOUSE_DOWN: case EVENT.MOUSE_UP: size = 11; if (o + size > length) break;
        e = { type: BUTTON_NAMES[code], code, x: v.getInt32(o + 2, true), y: v.getInt32(o + 6, true),
          button: v.getUint8(o + 10) };
        break;
      case EVENT.MOUSE_WHEEL: size = 19; if (o + size > length) break;   // opt-in (window.enableWheel)
        e = { type: 'mouseWheel', code, x: v.getInt32(o + 2, true), y: v.getInt32(o + 6, true),
          preciseX: v.getFloat32(o + 10, true), preciseY: v.getFloat32(o + 14, true), flipped: v.getUint8(o + 18) !== 0 };
        break;
      case EVENT.CONTROLLER_AXIS: size = 11; if (o + size > length) break;
        e = { type: 'controllerAxis', code, controller: v.getInt32(o + 2, true), axis: v.getUint8(o + 6),
          value: v.getFloat32(o + 7, true) };
        break;
      case EVENT.CONTROLLER_BUTTON_DOWN: case EVENT.CONTROLLER_BUTTON_UP: size = 8; if (o + size > length) break;
        e = { type: code === EVENT.CONTROLLER_BUTTON_DOWN ? 'controllerButtonDown' : 'controllerButtonUp', code,
          controller: v.getInt32(o + 2, true), button: v.getUint8(o + 6), pressed: v.getUint8(o + 7) !== 0 };
        break;
      case EVENT.CONTROLLER_ADDED: case EVENT.CONTROLLER_REMOVED: size = 6; if (o + size > length) break;
        e = { type: code === EVENT.CONTROLLER_ADDED ? 'controllerAdded' : 'controllerRemoved', code,
          controller: v.getInt32(o + 2, true) };
        break;
      case EVENT.ADAPTER_CONNECTED: size = 8; if (o + size > length) break;
        e = { type: 'adapterConnected', code }; break;
      default: throw new Error(`unknown event record type ${code} at byte ${o}`);
    }
    if (!e) throw new RangeError(`event record of type ${code} at byte ${o} cut off by the queue length ${length}`);
    out.push(e);
    o += size;
  }
  return out;
}

// Decodes what the last polls queued and empties the queue.
function readEvents(buffers, out = []) {
  const length = buffers.header[EVENT_BUFFER];
  buffers.header[EVENT_BUFFER] = 0;
  return decodeEvents(buffers.events, length, out);
}

// ---- graphics -----------------------------------------------------------------------------------

// Entries of the bufferIDs table.
const TABLE = Object.freeze({
  VIEWPORT: 0, VIEW: 1, PROJECTION: 2, TRANSFORM: 3, LIGHT_TRANSFORM: 4, UI_TRANSFORM: 5,
  CAMERA_POSITION: 6, CAMERA_VECTOR: 7, SOLID: 8, UI_TRIS: 15, TRANSPARENT: 19, UNCULLED: 22,
  POINT_MESH: 25, POINT_LIGHTS: 26,
});
// Entries the table must hold (13, 14, 17 and 18 are not read).
const TABLE_ENTRIES = 29;
// Vertices each host-fed pipeline is built for; blocks of other sizes change the capacity.
const PIPELINE_CAPACITY = 100000;
// The shader names each stage needs, one file `<name>.vert` or `<name>.frag` each.
const SHADERS = Object.freeze({
  vertex: Object.freeze(['solid', 'shadow', 'uitri', 'uisprite', 'transparent', 'pointlight', 'gbuff', 'ghdr', 'gpost']),
  fragment: Object.freeze(['solid', 'shadow', 'uitri', 'uiglyph', 'uiglyphoutline', 'transparent', 'pointlight', 'gbuff',
    'ghdr', 'gpost']),
});
// The default point-light mesh: two triangles over -1..1 in x and y, which the reference shaders
// turn into a camera-facing square around each light.
const DEFAULT_LIGHT_MESH = Object.freeze([-1, -1, 0, 1, -1, 0, 1, 1, 0, -1, -1, 0, 1, 1, 0, -1, 1, 0]);

const identity = () => [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1];

// A lightTransform for a sun shining along `direction`: its view from `distance` away, looking at
// `center`, and an orthographic projection `extent` wide each way around it, `2 * distance` deep.
function directionalLight(direction, { center = [0, 0, 0], extent = 20, distance = 30 } = {}) {
  const d = vec3.normalize(vec3.create(), direction);
  if (!Number.isFinite(d[0]) || vec3.length(d) === 0) throw new RangeError('direction must be a non-zero vector');
  const eye = vec3.scaleAndAdd(vec3.create(), center, d, -distance);
  const up = Math.abs(d[1]) > 0.99 ? [0, 0, -1] : [0, 1, 0];
  const view = mat4.lookAt(mat4.create(), eye, center, up);
  const projection = mat4.ortho(mat4.create(), -extent, extent, -extent, extent, 0.01, 2 * distance);
  return mat4.multiply(mat4.create(), projection, view);
}

// Vertex data of one pipeline: one Float32Array per attribute over its block. Every write sets the
// fill lengths of all attributes together, since the addon takes the draw count from the first.
class VertexBatch {
  constructor(buffers, name, attributes, capacity) {
    this.buffers = buffers;
    this.name = name;
    this.attributes = attributes; // [{ name, floats, id, view }]
    this.capacity = capacity;
    this.count = 0;
    for (const a of attributes) this[a.name] = a.view;
  }
  // Empties the batch (its lengths become 0: the pipeline draws nothing this frame).
  clear() { this.count = 0; this.commit(); }
  // Sets the vertex count after the host wrote the attribute views itself.
  setCount(count) { this.count = checkInteger(count, 0, this.capacity, `${this.name} vertex count`); this.commit(); }
  // Room for `n` more vertices: the index of the first, with the lengths already counting them.
  reserve(n) {
    if (this.count + n > this.capacity) {
      throw new RangeError(`${this.name} batch full: ${n} vertices asked for, ${this.capacity - this.count} of ${this.capacity} left`);
    }
    const first = this.count;
    this.count += n;
    this.commit();
    return first;
  }
  // Appends whole arrays, one per attribute name; each must hold the same number of vertices.
  add(data) {
    let n = -1;
    for (const a of this.attributes) {
      const values = data[a.name];
      if (values === undefined) continue;
      const k = values.length / a.floats;
      if (!Number.isInteger(k)) throw new RangeError(`${this.name}.${a.name}: ${values.length} floats are not whole vertices of ${a.floats}`);
      if (n >= 0 && k !== n) throw new RangeError(`${this.name}: attributes disagree on the vertex count (${n} and ${k})`);
      n = k;
    }
    if (n < 0) throw new TypeError(`${this.name}.add needs at least one of ${this.attributes.map((a) => a.name).join(', ')}`);
    const first = this.reserve(n);
    for (const a of this.attributes) {
      const values = data[a.name];
      if (values === undefined) a.view.fill(0, first * a.floats, (first + n) * a.floats);
      else a.view.set(values, first * a.floats);
    }
    return first;
  }
  commit() {
    for (const a of this.attributes) this.buffers.header[a.id] = this.count * a.floats;
  }
}

// Opaque geometry: position, normal, colour, material and extra (3 floats each). The reference
// shaders read material as (specular strength 0-1, unused, emission) and ignore extra.
class SolidBatch extends VertexBatch {
  vertex(px, py, pz, nx, ny, nz, r, g, b, specular = 0, spare = 0, emission = 0) {
    const i = this.reserve(1) * 3;
    const p = this.position, n = this.normal, c = this.color, m = this.material;
    p[i] = px; p[i + 1] = py; p[i + 2] = pz;
    n[i] = nx; n[i + 1] = ny; n[i + 2] = nz;
    c[i] = r; c[i + 1] = g; c[i + 2] = b;
    m[i] = specular; m[i + 1] = spare; m[i + 2] = emission;
    this.extra[i] = 0; this.extra[i + 1] = 0; this.extra[i + 2] = 0;
  }
}
// Transparent or unculled geometry: position, normal (3 floats), colour with alpha (4).
class ForwardBatch extends VertexBatch {
  vertex(px, py, pz, nx, ny, nz, r, g, b, a = 1) {
    const f = this.reserve(1);
    const i = f * 3, j = f * 4;
    const p = this.position, n = this.normal, c = this.color;
    p[i] = px; p[i + 1] = py; p[i + 2] = pz;
    n[i] = nx; n[i + 1] = ny; n[i + 2] = nz;
    c[j] = r; c[j + 1] = g; c[j + 2] = b; c[j + 3] = a;
  }
}
// Point lights, one instance each: place (x, y, z, radius), color (r, g, b, intensity), extra (4).
class LightBatch extends VertexBatch {
  light(x, y, z, radius, r, g, b, intensity = 1) {
    const i = this.reserve(1) * 4;
    const p = this.place, c = this.color, e = this.extra;
    p[i] = x; p[i + 1] = y; p[i + 2] = z; p[i + 3] = radius;
    c[i] = r; c[i + 1] = g; c[i + 2] = b; c[i + 3] = intensity;
    e[i] = 0; e[i + 1] = 0; e[i + 2] = 0; e[i + 3] = 0;
  }
}
// Interface triangles in pixels (y down, through uiTransform): position (3), colour (4).
class UiBatch extends VertexBatch {
  vertex(x, y, r, g, b, a = 1, z = 0) {
    const f = this.reserve(1);
    const i = f * 3, j = f * 4;
    this.position[i] = x; this.position[i + 1] = y; this.position[i + 2] = z;
    const c = this.color;
    c[j] = r; c[j + 1] = g; c[j + 2] = b; c[j + 3] = a;
  }
  // A filled rectangle between the corners (x0, y0) and (x1, y1).
  rect(x0, y0, x1, y1, r, g, b, a = 1) {
    this.vertex(x0, y0, r, g, b, a); this.vertex(x1, y1, r, g, b, a); this.vertex(x1, y0, r, g, b, a);
    this.vertex(x0, y0, r, g, b, a); this.vertex(x0, y1, r, g, b, a); this.vertex(x1, y1, r, g, b, a);
  }
}

// Everything the renderer reads from the host, built in the order the addon expects.
let graphicsMade = false;
class Graphics {
  constructor(buffers, options = {}) {
    if (graphicsMade) throw new Error('the graphics are set up already: the addon builds its pipelines once per process');
    const {
      shaderDir = path.join(__dirname, '..', 'shaders'), shaders = {}, capacity = {}, lightTransform = identity(),
      pointLightMesh = DEFAULT_LIGHT_MESH, ready = true,
    } = options;
    const cap = { solid: PIPELINE_CAPACITY, transparent: PIPELINE_CAPACITY, unculled: PIPELINE_CAPACITY,
      lights: PIPELINE_CAPACITY, ui: PIPELINE_CAPACITY, ...capacity };
    for (const [k, v] of Object.entries(cap)) checkInteger(v, 1, PIPELINE_CAPACITY * 100, `${k} capacity`);
    if (lightTransform.length !== 16) throw new RangeError('lightTransform must hold 16 numbers');
    if (pointLightMesh.length === 0 || pointLightMesh.length % 3) throw new RangeError('pointLightMesh must hold whole vertices of 3 floats');
    this.buffers = buffers;
    this.sources = this.readShaders(shaderDir, shaders);
    graphicsMade = true;

    const table = buffers.nextBuffer(TABLE_ENTRIES * 2);
    this.tableId = table.id;
    this.table = new Uint16Array(table.buffer);
    const block = (entry, bytes) => {
      const { buffer, id } = buffers.nextBuffer(bytes);
      this.table[entry] = id;
      return { id, view: new Float32Array(buffer) };
    };
    const uniform = (entry, floats) => block(entry, floats * 4);
    const viewport = uniform(TABLE.VIEWPORT, 2);
    this.viewportSize = viewport.view;
    this.view = uniform(TABLE.VIEW, 16).view;
    this.projection = uniform(TABLE.PROJECTION, 16).view;
    this.transform = uniform(TABLE.TRANSFORM, 16).view;
    this.lightTransform = uniform(TABLE.LIGHT_TRANSFORM, 16).view;
    this.uiTransform = uniform(TABLE.UI_TRANSFORM, 16).view;
    this.cameraPosition = uniform(TABLE.CAMERA_POSITION, 3).view;
    this.cameraVector = uniform(TABLE.CAMERA_VECTOR, 3).view;
    const attributes = (first, count, specs) => specs.map(([name, floats], i) => {
      const { id, view } = block(first + i, count * floats * 4);
      return { name, floats, id, view };
    });
    this.solid = new SolidBatch(buffers, 'solid', attributes(TABLE.SOLID, cap.solid,
      [['position', 3], ['normal', 3], ['color', 3], ['material', 3], ['extra', 3]]), cap.solid);
    this.ui = new UiBatch(buffers, 'ui', attributes(TABLE.UI_TRIS, cap.ui, [['position', 3], ['color', 4]]), cap.ui);
    this.transparent = new ForwardBatch(buffers, 'transparent', attributes(TABLE.TRANSPARENT, cap.transparent,
      [['position', 3], ['normal', 3], ['color', 4]]), cap.transparent);
    this.unculled = new ForwardBatch(buffers, 'unculled', attributes(TABLE.UNCULLED, cap.unculled,
      [['position', 3], ['normal', 3], ['color', 4]]), cap.unculled);
    const mesh = block(TABLE.POINT_MESH, pointLightMesh.length * 4);
    mesh.view.set(pointLightMesh);
    buffers.header[mesh.id] = pointLightMesh.length;
    this.lights = new LightBatch(buffers, 'lights', attributes(TABLE.POINT_LIGHTS, cap.lights,
      [['place', 4], ['color', 4], ['extra', 4]]), cap.lights);

    for (const m of [this.view, this.projection, this.transform, this.uiTransform]) m.set(identity());
    this.lightTransform.set(lightTransform);
    native().setBuffers(this.tableId);
    this.uiPixels();

    for (const [key, source] of Object.entries(this.sources)) {
      const [name, stage] = key.split('.');
      native().compileShader(name, stage === 'vert', source);
    }
    if (native().checkShaders() !== 0) {
      throw new Error('shaders failed to compile: the driver\'s log for each is on standard error, in the lines ' +
        '"Unable to compile shader NAME (STAGE): ..."');
    }
    this.isReady = false;
    if (ready) this.ready();
  }

  // The 19 sources by "name.vert" / "name.frag": from `overrides`, else from files in `dir`.
  readShaders(dir, overrides) {
    const sources = {};
    const missing = [];
    for (const [stage, ext] of [['vertex', 'vert'], ['fragment', 'frag']]) {
      for (const name of SHADERS[stage]) {
        const key = `${name}.${ext}`;
        if (overrides[key] !== undefined) { sources[key] = String(overrides[key]); continue; }
        const file = path.join(dir, key);
        try { sources[key] = fs.readFileSync(file, 'utf8'); } catch { missing.push(file); }
      }
    }
    if (missing.length) throw new Error(`shader files missing: ${missing.join(', ')}`);
    return sources;
  }

  // Builds the render targets and pipelines (once).
  ready() {
    if (this.isReady) return;
    native().ready();
    this.isReady = true;
    this.uiPixels();
  }

  // The drawable size in pixels, kept current by the addon when the window changes size.
  get width() { return this.viewportSize[0]; }
  get height() { return this.viewportSize[1]; }

  // The camera: view and projection matrices (16 numbers, column-major), its position and the
  // direction it looks in. All four are written together, for the next frame.
  setCamera({ view, projection, position, vector }) {
    if (view.length !== 16 || projection.length !== 16) throw new RangeError('view and projection must hold 16 numbers');
    if (position.length !== 3 || vector.length !== 3) throw new RangeError('position and vector must hold 3 numbers');
    this.view.set(view);
    this.projection.set(projection);
    this.cameraPosition.set(position);
    this.cameraVector.set(vector);
  }
  // The model transform applied to all solid and forward geometry.
  setTransform(matrix) {
    if (matrix.length !== 16) throw new RangeError('transform must hold 16 numbers');
    this.transform.set(matrix);
  }
  // uiTransform from interface pixels (origin top left, y down) to clip space at the current size.
  uiPixels() {
    const w = this.viewportSize[0] || 1, h = this.viewportSize[1] || 1;
    const m = this.uiTransform;
    m.fill(0);
    m[0] = 2 / w; m[5] = -2 / h; m[10] = 1; m[12] = -1; m[13] = 1; m[15] = 1;
  }
  // Empties every vertex batch, for a frame built from scratch.
  clearAll() {
    this.solid.clear(); this.transparent.clear(); this.unculled.clear(); this.lights.clear(); this.ui.clear();
  }
  render() { return native().render(); }
}

function setupGraphics(buffers, options) { return new Graphics(buffers, options); }

module.exports = {
  createBuffers, SharedBuffers, DEFAULT_SIZES,
  CommandWriter, OP, FONT, FONT_OUTLINE,
  readEvents, decodeEvents, EVENT,
  setupGraphics, directionalLight, Graphics, VertexBatch, SolidBatch, ForwardBatch, LightBatch, UiBatch, TABLE, TABLE_ENTRIES,
  PIPELINE_CAPACITY, SHADERS, DEFAULT_LIGHT_MESH,
  HEADER_BUFFER, POOL_BUFFER, COMMAND_BUFFER, RESULT_BUFFER, EVENT_BUFFER, DEBUG_BUFFER, USB_BUFFER, STRING_BUFFER,
  BUFFER_COUNT, SOUND_COUNT, ADAPTER_REPORT_SIZE,
};
Object.defineProperty(module.exports, 'addon', { enumerable: true, get: native });

// Extensions, each in a module of its own.
module.exports.window = require('./window');
module.exports.music = require('./music');
module.exports.music.extendCommandWriter(CommandWriter);
module.exports.textures = require('./textures');
