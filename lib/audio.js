'use strict';
// Sound loading: loadSound decodes an Ogg Vorbis file into a sound id (the addon's loadAudio) and
// loadPcm takes raw PCM (initALBuffer), each after checking its arguments and, for a file, that it
// exists and can be read, so that a wrong path is named as such instead of as a decoding failure.
// An OpenAL error (no audio device included, where every play returns 0 anyway) is returned, not
// thrown: a game without sound still runs.
const fs = require('node:fs');
const path = require('node:path');
const { native } = require('./native');
const { checkInteger, checkString, checkOptions, checkChoice, kitError } = require('./checks');
const { SOUND_COUNT } = require('./commands');

// PCM layouts by name, with the addon's AL_FORMAT_* values: [value, channels, bytes per sample].
const PCM_FORMAT = Object.freeze({ mono8: 4352, mono16: 4353, stereo8: 4354, stereo16: 4355 });
const FORMAT_LAYOUT = { 4352: [1, 1], 4353: [1, 2], 4354: [2, 1], 4355: [2, 2] };
// Sample rates loadPcm accepts.
const MAX_SAMPLE_RATE = 384000;

function checkSoundId(id) { return checkInteger(id, 0, SOUND_COUNT - 1, 'sound id'); }

// Decodes the Ogg Vorbis file `file` (relative to the working directory, as the addon opens it)
// into sound `id` (0-255) as 16-bit (wordSize 2, default) or 8-bit (1), mono (channels 1, default)
// or stereo (2). Throws when the file is missing, not a readable file, or cannot be decoded;
// returns 0, or the OpenAL error code when OpenAL refused the data (as with no audio device).
function loadSound(id, file, options) {
  const { wordSize = 2, channels = 1 } = checkOptions(options, ['wordSize', 'channels'], 'loadSound');
  checkSoundId(id);
  checkString(file, 'sound file');
  checkInteger(wordSize, 1, 2, 'wordSize (bytes per sample)');
  checkInteger(channels, 1, 2, 'channels');
  if (file.includes('\0')) throw kitError(RangeError, 'ERR_RANGE', `sound file name contains a NUL character: ${JSON.stringify(file)}`);
  const where = path.resolve(file);
  let stat;
  try {
    stat = fs.statSync(file);
    fs.accessSync(file, fs.constants.R_OK);
  } catch (e) {
    const why = e.code === 'ENOENT' ? 'no such file' : e.code === 'EACCES' ? 'permission denied' : e.message;
    throw kitError(Error, 'ERR_FILE', `sound file ${file} cannot be read (${where}): ${why}`);
  }
  if (!stat.isFile()) throw kitError(Error, 'ERR_FILE', `sound file ${file} is not a regular file (${where})`);
  const status = native().loadAudio(id, file, wordSize, channels);
  if (status === 1 || status === -1) {
    throw kitError(Error, 'ERR_FILE', `sound file ${file} could not be decoded: not an Ogg Vorbis file, or over 1 GiB of samples (${where})`);
  }
  return status;
}

// Raw PCM `data` (a Buffer or Uint8Array of whole frames) into sound `id`: format 'mono8',
// 'mono16', 'stereo8', 'stereo16' or the AL_FORMAT_* value; sampleRate in samples per second.
// Returns 0, or the OpenAL error code (the id is left empty then).
function loadPcm(id, data, options) {
  const { format, sampleRate } = checkOptions(options, ['format', 'sampleRate'], 'loadPcm');
  checkSoundId(id);
  if (!(data instanceof Uint8Array)) throw kitError(TypeError, 'ERR_TYPE', `PCM data must be a Buffer or Uint8Array, got ${data === null ? 'null' : typeof data}`);
  if (format === undefined) throw kitError(TypeError, 'ERR_TYPE', `loadPcm needs a format (${Object.keys(PCM_FORMAT).join(', ')})`);
  const value = checkChoice(format, PCM_FORMAT, 'format');
  checkInteger(sampleRate, 1, MAX_SAMPLE_RATE, 'sampleRate');
  const [channels, bytes] = FORMAT_LAYOUT[value];
  if (data.length % (channels * bytes)) {
    throw kitError(RangeError, 'ERR_RANGE', `PCM data of ${data.length} bytes is not whole frames of ${channels * bytes} bytes (${format})`);
  }
  const buffer = Buffer.isBuffer(data) ? data : Buffer.from(data.buffer, data.byteOffset, data.byteLength);
  return native().initALBuffer(id, buffer, value, sampleRate);
}

module.exports = { loadSound, loadPcm, PCM_FORMAT };
