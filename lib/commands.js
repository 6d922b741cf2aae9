'use strict';
// The command writer: one method per opcode of the command stream, strings into STRING_BUFFER,
// each command's result read back by its word index after `tick`. Checks every operand before a
// word is written.
const { native } = require('./native');
const { checkInteger, checkNumber, checkOptions } = require('./checks');
const { COMMAND_BUFFER } = require('./buffers');

// Sound ids the addon holds (0-255).
const SOUND_COUNT = 256;

// Opcodes of the command stream.
const OP = Object.freeze({
  PLAY: 1, PAUSE: 2, STOP: 3, GAIN: 4, STOP_ALL: 5, PAUSE_ALL: 6, RESUME_ALL: 7, TOGGLE_FULLSCREEN: 8,
  LOG: 9, TEXT: 10, TEXT_COLOR: 12,
});

// Faces of the font word's bits 0-1, and bit 2: the outlined batch.
const FONT = Object.freeze({ fallback: 0, mono: 1, sans: 2 });
const FONT_OUTLINE = 4;

// The face number of a font name ('sans', 'mono', 'fallback') or number 0-3.
function fontFace(font, what = 'font') {
  const face = typeof font === 'string' ? (Object.hasOwn(FONT, font) ? FONT[font] : undefined) : font;
  if (face === undefined) throw new RangeError(`${what} must be one of ${Object.keys(FONT).join(', ')}, got ${font}`);
  return checkInteger(face, 0, 3, what);
}

const PLAY_OPTIONS = ['gain', 'pitch', 'x', 'y', 'z'];
const TEXT_OPTIONS = ['size', 'font', 'outline', 'maxWidth'];

const encoder = new TextEncoder();

// One step's commands: each method appends one command and returns its word index, which
// `result(index)` reads back after `tick`. Strings go into STRING_BUFFER from its start each step.
class CommandWriter {
  constructor(buffers) {
    if (!buffers || !buffers.commandWords) throw new TypeError('CommandWriter needs the shared buffers of createBuffers()');
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
  play(sound, options) {
    const { gain = 1, pitch = 1, x = 0, y = 0, z = 0 } = checkOptions(options, PLAY_OPTIONS, 'play');
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
  text(text, x, y, options) {
    const { size = 24, font = 'sans', outline = false, maxWidth = 0 } = checkOptions(options, TEXT_OPTIONS, 'text');
    checkNumber(x, 'x'); checkNumber(y, 'y'); checkNumber(size, 'size');
    if (size <= 0) throw new RangeError(`size must be positive, got ${size}`);
    const face = fontFace(font);
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

module.exports = { CommandWriter, OP, FONT, FONT_OUTLINE, SOUND_COUNT, fontFace };
