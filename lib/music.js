'use strict';
// Sound in the world and streamed music for the host kit. The listener commands (15 and 16) and
// world-positioned play (17) become CommandWriter methods; music is streamed by the addon from an
// Ogg Vorbis file on a source of the pool, so the stop, pause and resume-all commands and the
// reverb reach it like any sound, and command 4 (commands.gain) changes its gain.
let loadedAddon = null;
function native() { return loadedAddon || (loadedAddon = require('./index')); }

// Opcodes of the extension commands, with their words (opcode included).
const OP_LISTENER = 15, OP_LISTENER_UP = 16, OP_PLAY_AT = 17;
// Longest music path in bytes, as the addon takes it.
const MAX_MUSIC_PATH = 4096;
// Vorbis error codes the addon answers with, by name.
const VORBIS_ERRORS = { '-1': 'cannot be opened', '-130': 'has more than two channels or links that change channels or rate', '-131': 'invalid argument',
  '-132': 'is not Ogg Vorbis', '-133': 'has a bad header', '-134': 'is of an unsupported version' };

function vector3(v, what) {
  if (!v || v.length !== 3 || ![0, 1, 2].every((i) => Number.isFinite(v[i]))) {
    throw new TypeError(`${what} must hold 3 finite numbers`);
  }
  return v;
}

// Adds listener(position, forward), listenerUp(up) and playAt(sound, options) to a CommandWriter
// class. Each returns the command's word index like the other methods; playAt's result is the
// source, or 0 when none was free.
function extendCommandWriter(CommandWriter) {
  // reserve() bounds the step and stamps the index; the opcode it writes is replaced here.
  const write = (writer, opcode, words, what) => {
    const at = writer.reserve(words.length + 1, what);
    writer.words[at] = opcode;
    for (let i = 0; i < words.length; ++i) writer.words[at + 1 + i] = words[i];
    return at;
  };
  Object.assign(CommandWriter.prototype, {
    // The listener's place and the direction it faces (the camera's), for sounds played with playAt.
    listener(position, forward) {
      vector3(position, 'listener position');
      vector3(forward, 'listener direction');
      if (forward[0] === 0 && forward[1] === 0 && forward[2] === 0) throw new RangeError('listener direction must not be zero');
      return write(this, OP_LISTENER, [...position, ...forward], 'listener');
    },
    // The listener's up vector (0, 1, 0 until set).
    listenerUp(up) {
      vector3(up, 'listener up');
      if (up[0] === 0 && up[1] === 0 && up[2] === 0) throw new RangeError('listener up must not be zero');
      return write(this, OP_LISTENER_UP, [...up], 'listenerUp');
    },
    // As play, with x, y, z in the world: the sound stays in place as the listener moves and turns.
    playAt(sound, { gain = 1, pitch = 1, x = 0, y = 0, z = 0 } = {}) {
      if (!Number.isInteger(sound) || sound < 0 || sound > 255) throw new RangeError(`sound id must be in 0..255, got ${sound}`);
      vector3([gain, pitch, 0], 'gain and pitch');
      vector3([x, y, z], 'sound position');
      return write(this, OP_PLAY_AT, [sound, gain, pitch, x, y, z], 'playAt');
    },
  });
  return CommandWriter;
}

// Streams the Ogg Vorbis file at `path`, replacing any music playing. `loopStart` (seconds) loops
// the music back there from `loopEnd` (seconds; the file's end when 0); without loopStart it plays
// once. Returns the source it plays on, or 0 when there is no device or no free source; throws for
// a file that cannot be read, naming it and the decoder's code.
function play(path, { gain = 1, loopStart = -1, loopEnd = 0 } = {}) {
  if (typeof path !== 'string' || path.includes('\0')) throw new TypeError('music path must be a string without NUL');
  if (Buffer.byteLength(path) > MAX_MUSIC_PATH) throw new RangeError(`music path must be at most ${MAX_MUSIC_PATH} bytes`);
  if (!(Number.isFinite(gain) && gain >= 0)) throw new RangeError(`gain must be a finite number of 0 or more, got ${gain}`);
  if (!Number.isFinite(loopStart) || !Number.isFinite(loopEnd)) throw new RangeError('loop points must be finite numbers');
  if (loopStart >= 0 && loopEnd > 0 && loopEnd <= loopStart) throw new RangeError(`loop end ${loopEnd} must come after loop start ${loopStart}`);
  const result = native().playMusic(path, gain, loopStart, loopEnd);
  if (result < 0) {
    const error = new Error(`music file ${path} ${VORBIS_ERRORS[result] || 'cannot be read'} (${result})`);
    error.code = result;
    throw error;
  }
  return result;
}

// Stops the music; false when none was playing.
function stop() { return native().stopMusic() === 0; }

module.exports = { extendCommandWriter, play, stop, OP_LISTENER, OP_LISTENER_UP, OP_PLAY_AT, MAX_MUSIC_PATH };
