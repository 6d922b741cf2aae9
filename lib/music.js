'use strict';
// Streamed music for the host kit: the addon streams an Ogg Vorbis file on a source of the pool, so
// the stop, pause and resume-all commands and the reverb reach it like any sound, and the gain
// command changes its gain. (The listener and world-positioned sounds are CommandWriter methods.)
const { kitError, checkOptions } = require('./checks');
let loadedAddon = null;
function native() { return loadedAddon || (loadedAddon = require('./index')); }

const { MAX_MUSIC_PATH } = require('../contract/host').limits;
// Vorbis error codes the addon answers with, by name.
const VORBIS_ERRORS = { '-1': 'cannot be opened', '-130': 'has more than two channels or links that change channels or rate', '-131': 'invalid argument',
  '-132': 'is not Ogg Vorbis', '-133': 'has a bad header', '-134': 'is of an unsupported version' };

// Streams the Ogg Vorbis file at `path`, replacing any music playing. `loop: true` loops the whole
// file; `loopStart` (seconds) loops the music back there from `loopEnd` (seconds; the file's end
// when 0); without either it plays once. Unknown options throw. Returns the source it plays on, or 0 when there is no device or no free source; throws for
// a file that cannot be read (code ERR_FILE), naming it, with the decoder's code as `status`.
function play(path, options) {
  const o = checkOptions(options, ['gain', 'loop', 'loopStart', 'loopEnd'], 'music.play');
  const { gain = 1, loopEnd = 0 } = o;
  if (o.loop !== undefined && typeof o.loop !== 'boolean') throw kitError(TypeError, 'ERR_TYPE', `music.play: loop must be true or false, got ${o.loop}`);
  // loop: true loops the whole file (from loopStart, 0 unless given); loop: false plays once.
  const loopStart = o.loop === false ? -1 : o.loopStart !== undefined ? o.loopStart : o.loop ? 0 : -1;
  if (typeof path !== 'string' || path.includes('\0')) throw kitError(TypeError, 'ERR_TYPE', 'music path must be a string without NUL');
  if (Buffer.byteLength(path) > MAX_MUSIC_PATH) throw kitError(RangeError, 'ERR_RANGE', `music path must be at most ${MAX_MUSIC_PATH} bytes`);
  if (!(Number.isFinite(gain) && gain >= 0)) throw kitError(RangeError, 'ERR_RANGE', `gain must be a finite number of 0 or more, got ${gain}`);
  if (!Number.isFinite(loopStart) || !Number.isFinite(loopEnd)) throw kitError(RangeError, 'ERR_RANGE', 'loop points must be finite numbers');
  if (loopStart >= 0 && loopEnd > 0 && loopEnd <= loopStart) throw kitError(RangeError, 'ERR_RANGE', `loop end ${loopEnd} must come after loop start ${loopStart}`);
  const result = native().playMusic(path, gain, loopStart, loopEnd);
  if (result > 0) require('./commands').knownSources.add(result);
  if (result < 0) {
    const error = kitError(Error, 'ERR_FILE', `music file ${path} ${VORBIS_ERRORS[result] || 'cannot be read'} (${result})`);
    error.status = result;
    throw error;
  }
  return result;
}

// Stops the music; false when none was playing.
function stop() { return native().stopMusic() === 0; }

module.exports = { play, stop, MAX_MUSIC_PATH };
