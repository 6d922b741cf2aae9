'use strict';
// The command writer: one method per opcode of the host contract (contract/host.js), strings into
// STRING_BUFFER, each command's result read back by its word index after `tick`. Opcodes and word
// counts come from the contract; every operand is checked before a word is written. Commands
// whose operands are plain numbers get their method from the contract alone; the others (options,
// strings, vectors) are written out below and take their words from the contract too.
const { native } = require('./native');
const { checkInteger, checkNumber, checkOptions, kitError } = require('./checks');
const contract = require('../contract/host');

const { SOUND_COUNT } = contract.limits;
const { COMMAND_BUFFER } = contract.buffers;

// Each command by its method name: { name, opcode, words (the opcode included), operands }.
const COMMANDS = Object.freeze(Object.fromEntries(contract.commands.map((c) =>
  [c.name, Object.freeze({ name: c.name, opcode: c.opcode, words: c.operands.length + 1, operands: c.operands })])));
const TEXT_COLOR = COMMANDS.textColor;
// A colour component: a number in 0..1, checked without a call (the failure path names it).
const unit = (v) => typeof v === 'number' && v >= 0 && v <= 1;
// Opcodes by the addon's names (PLAY_SOUND, LAYOUT_TEXT, ...).
const OP = Object.freeze(Object.fromEntries(contract.commands.map((c) => [c.cname, c.opcode])));

// Checks of operands by name; any other operand must be a finite number.
const checkSource = (v) => checkInteger(v, 0, 2 ** 31 - 1, 'source');
const OPERAND_CHECKS = { source: (v) => checkKnownSource(v, 'source') };
const operandCheck = (name) => OPERAND_CHECKS[name] || ((v) => checkNumber(v, name));

// Faces of the font word's bits 0-1, and bit 2: the outlined batch.
const FONT = Object.freeze({ fallback: 0, mono: 1, sans: 2 });
const FONT_OUTLINE = 4;

// The face number of a font name ('sans', 'mono', 'fallback') or number 0-3.
function fontFace(font, what = 'font') {
  const face = typeof font === 'string' ? (Object.hasOwn(FONT, font) ? FONT[font] : undefined) : font;
  if (face === undefined) throw kitError(RangeError, 'ERR_RANGE', `${what} must be one of ${Object.keys(FONT).join(', ')}, got ${font}`);
  return checkInteger(face, 0, 3, what);
}

const PLAY_OPTIONS = ['gain', 'pitch', 'x', 'y', 'z'];
const TEXT_OPTIONS = ['size', 'font', 'outline', 'maxWidth'];

const encoder = new TextEncoder();

// One step's commands: each method appends one command and returns its word index, which
// `result(index)` reads back after `tick`. Strings go into STRING_BUFFER from its start each step.
class CommandWriter {
  constructor(buffers) {
    if (!buffers || !buffers.commandWords) throw kitError(TypeError, 'ERR_TYPE', 'CommandWriter needs the shared buffers of createBuffers()');
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

  // Starts command `command` (an entry of COMMANDS): its opcode written, its words taken.
  begin(command) {
    const at = this.length;
    if (at + command.words > this.capacity) {
      throw kitError(RangeError, 'ERR_FULL', `command buffer full: ${command.name} needs ${command.words} words, ${this.capacity - at} of ` +
        `${this.capacity} left this step`);
    }
    this.length = at + command.words;
    this.stamps[at] = this.step;
    this.words[at] = command.opcode;
    return at;
  }

  // Encodes `text` into STRING_BUFFER after this step's earlier strings and returns its byte length
  // (it starts at the new stringEnd minus that). Text that does not fit throws before a byte of it
  // is written.
  string(text, what) {
    if (typeof text !== 'string') throw kitError(TypeError, 'ERR_TYPE', `${what} must be a string, got ${typeof text}`);
    const strings = this.buffers.strings;
    const room = strings.length - this.stringEnd;
    // UTF-8 takes at most 3 bytes per UTF-16 unit; only text that might not fit is measured.
    if (text.length * 3 > room) {
      const bytes = Buffer.byteLength(text);
      if (bytes > strings.length) {
        throw kitError(RangeError, 'ERR_RANGE', `${what} of ${bytes} bytes is longer than STRING_BUFFER (${strings.length} bytes)`);
      }
      if (bytes > room) {
        throw kitError(RangeError, 'ERR_FULL', `${what} of ${bytes} bytes does not fit in STRING_BUFFER: ${room} of ${strings.length} bytes left this step`);
      }
    }
    const { written } = encoder.encodeInto(text, this.stringEnd ? strings.subarray(this.stringEnd) : strings);
    this.stringEnd += written;
    return written;
  }

  // Plays sound `sound` (0-255) on a free source; the result is the source, or 0 when none was free.
  play(sound, options) { return this.sound(COMMANDS.play, sound, options, 'play'); }
  // As play, with x, y, z in the world: the sound stays in place as the listener moves and turns.
  playAt(sound, options) { return this.sound(COMMANDS.playAt, sound, options, 'playAt'); }
  sound(command, sound, options, what) {
    const { gain = 1, pitch = 1, x = 0, y = 0, z = 0 } = checkOptions(options, PLAY_OPTIONS, what);
    checkInteger(sound, 0, SOUND_COUNT - 1, 'sound id');
    checkNumber(gain, 'gain'); checkNumber(pitch, 'pitch');
    checkNumber(x, 'x'); checkNumber(y, 'y'); checkNumber(z, 'z');
    const at = this.begin(command);
    const w = this.words;
    w[at + 1] = sound; w[at + 2] = gain; w[at + 3] = pitch; w[at + 4] = x; w[at + 5] = y; w[at + 6] = z;
    return at;
  }

  // The listener's place and the direction it faces (the camera's), for sounds played with playAt.
  listener(position, forward) {
    vector3(position, 'listener position');
    nonZero(vector3(forward, 'listener direction'), 'listener direction');
    const at = this.begin(COMMANDS.listener);
    const w = this.words;
    w[at + 1] = position[0]; w[at + 2] = position[1]; w[at + 3] = position[2];
    w[at + 4] = forward[0]; w[at + 5] = forward[1]; w[at + 6] = forward[2];
    return at;
  }
  // The listener's up vector (0, 1, 0 until set).
  listenerUp(up) {
    nonZero(vector3(up, 'listener up'), 'listener up');
    const at = this.begin(COMMANDS.listenerUp);
    this.words[at + 1] = up[0]; this.words[at + 2] = up[1]; this.words[at + 3] = up[2];
    return at;
  }

  // Writes `text` to the addon's standard output as it is (add the newline yourself).
  log(text) {
    const at = this.begin(COMMANDS.log);
    try {
      const length = this.string(text, 'log text');
      this.words[at + 1] = this.stringEnd - length;
      this.words[at + 2] = length;
    } catch (e) { this.unreserve(at); throw e; }
    return at;
  }

  // The colour of all later text, until set again (components 0-1).
  textColor(r, g, b, a = 1) {
    if (!(unit(r) && unit(g) && unit(b) && unit(a))) {
      for (const [v, what] of [[r, 'red'], [g, 'green'], [b, 'blue'], [a, 'alpha']]) {
        checkNumber(v, `textColor: ${what}`);
        if (!unit(v)) throw kitError(RangeError, 'ERR_RANGE', `textColor: ${what} must be in 0..1, got ${v}`);
      }
    }
    const at = this.begin(TEXT_COLOR);
    const w = this.words;
    w[at + 1] = r; w[at + 2] = g; w[at + 3] = b; w[at + 4] = a;
    return at;
  }

  // One line of text with its baseline at (x, y) in interface pixels, y down. font: 'sans' (default),
  // 'mono', 'fallback' or 0-3; outline: draw it in the outlined batch; maxWidth: squeeze a longer
  // run to this many pixels (0: no limit).
  text(text, x, y, options) {
    const { size = 24, font = 'sans', outline = false, maxWidth = 0 } = checkOptions(options, TEXT_OPTIONS, 'text');
    checkNumber(x, 'x'); checkNumber(y, 'y'); checkNumber(size, 'size');
    if (size <= 0) throw kitError(RangeError, 'ERR_RANGE', `size must be positive, got ${size}`);
    const face = fontFace(font);
    checkInteger(maxWidth, 0, 2 ** 32 - 1, 'maximum width');
    const at = this.begin(COMMANDS.text);
    try {
      const length = this.string(text, 'text');
      const w = this.words;
      w[at + 1] = this.stringEnd - length; w[at + 2] = length; w[at + 3] = x; w[at + 4] = y; w[at + 5] = size;
      w[at + 6] = face | (outline ? FONT_OUTLINE : 0); w[at + 7] = maxWidth;
    } catch (e) { this.unreserve(at); throw e; }
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
      throw kitError(RangeError, 'ERR_RANGE', `no command of the last tick starts at word ${index}`);
    }
    const result = this.results[index];
    const op = this.words[index];
    if (result > 0 && (op === COMMANDS.play.opcode || op === COMMANDS.playAt.opcode)) knownSources.add(result);
    return result;
  }
}

// Sources the kit has seen the addon hand out (play results read back, music): pause, stop and gain
// take only these (or 0). The addon ends the process on a stop or pause of a name that is no
// source, so the kit refuses it first.
const knownSources = new Set();
function checkKnownSource(source, what) {
  checkSource(source);
  if (source !== 0 && !knownSources.has(source)) {
    throw kitError(RangeError, 'ERR_STATE', `${what} ${source} was not handed out by a play command or music ` +
      '(read it with result(index) after the tick that played it)');
  }
  return source;
}

function vector3(v, what) {
  if (!v || v.length !== 3 || !(Number.isFinite(v[0]) && Number.isFinite(v[1]) && Number.isFinite(v[2]))) {
    throw kitError(TypeError, 'ERR_TYPE', `${what} must hold 3 finite numbers`);
  }
  return v;
}
function nonZero(v, what) {
  if (v[0] === 0 && v[1] === 0 && v[2] === 0) throw kitError(RangeError, 'ERR_RANGE', `${what} must not be zero`);
  return v;
}

// Every other command of the contract: each operand checked (a source as a source id, anything else
// as a finite number), then written. Fixed arities, so that a call allocates nothing.
function numericMethod(command) {
  const [c0, c1, c2, c3] = command.operands.map(operandCheck);
  const put = (writer) => writer.begin(command);
  const methods = [
    function () { return put(this); },
    function (a) { c0(a); const at = put(this); this.words[at + 1] = a; return at; },
    function (a, b) { c0(a); c1(b); const at = put(this); const w = this.words; w[at + 1] = a; w[at + 2] = b; return at; },
    function (a, b, c) {
      c0(a); c1(b); c2(c);
      const at = put(this); const w = this.words; w[at + 1] = a; w[at + 2] = b; w[at + 3] = c; return at;
    },
    function (a, b, c, d) {
      c0(a); c1(b); c2(c); c3(d);
      const at = put(this); const w = this.words; w[at + 1] = a; w[at + 2] = b; w[at + 3] = c; w[at + 4] = d; return at;
    },
  ];
  if (command.operands.length >= methods.length) throw new Error(`command ${command.name}: write its method out in lib/commands.js`);
  return methods[command.operands.length];
}
for (const command of Object.values(COMMANDS)) {
  if (!Object.hasOwn(CommandWriter.prototype, command.name)) CommandWriter.prototype[command.name] = numericMethod(command);
}

module.exports = { CommandWriter, COMMANDS, OP, FONT, FONT_OUTLINE, SOUND_COUNT, fontFace, knownSources };
