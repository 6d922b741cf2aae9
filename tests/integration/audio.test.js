'use strict';
// The audio subsystem from a real host: start-up and shutdown lines with a working device and with
// none, the reverb heard in OpenAL Soft's wave capture (and its absence on a dry device), the source
// pool and the sound commands with their results and lines, and the checks of the two host
// functions. Sound loading from Ogg files is in audio-loading.test.js.
const test = require('node:test');
const assert = require('node:assert/strict');
const path = require('node:path');
const { startXvfb, assertAborted, assertOk } = require('./harness');
const h = require('./audio-helpers');

const MONO16 = 0x1101;
const MONO8 = 0x1100;
const AL_INVALID_ENUM = 0xa002;
const AL_INVALID_VALUE = 0xa003;
const AL_INVALID_OPERATION = 0xa004;

let xs;
test.before(async () => { xs = await startXvfb(); });
test.after(() => xs.stop());

const runPlan = (plan, options = {}) => h.runPlan(plan, { display: xs.display, ...options });
const play = (id, gain = 1, pitch = 1) => [1, id, gain, pitch, 0, 0, 0];

// The audio start-up lines of a working device, in order, on standard output.
const STARTUP = [
  /^EFX version: \d+\.\d+$/,
  /^Max auxiliary sends: \d+$/,
  /^Max mono sources: \d+$/,
  /^Max stereo sources: \d+$/,
  /^Opened "Wave File Writer"$/,
  /^Using EAX Reverb$/,
  /^OpenAL initialized OK$/,
];

test('start-up with a device: its lines in order on standard output, none on standard error; shutdown first', async () => {
  const dir = h.tempDir();
  const { result } = await runPlan([{ name: 'quit', op: 'quit' }], { audio: { wave: path.join(dir, 'out.wav') } });
  assertOk(result);
  const out = result.stdout.split('\n');
  const first = out.indexOf('Initializing Native');
  const audio = out.slice(first + 1, first + 1 + STARTUP.length);
  STARTUP.forEach((re, i) => assert.match(audio[i], re, result.stdout));
  assert.doesNotMatch(result.stderr, /OpenAL|EFX|ALC|null device|context|proc address|reverb|sources|effect/i);
  const quitting = out.indexOf('Quitting Native');
  assert.equal(out[quitting + 1], 'Closing OpenAL');
  assert.ok(out.indexOf('Closing SDL') < 0 || out.indexOf('Closing SDL') > quitting + 1);
});

test('no device: its lines on standard error, every play gives 0, loads report no context, shutdown closes nothing', async () => {
  const plan = [
    { name: 'play', op: 'commands', words: [...play(0), ...play(1), ...play(255)] },
    { name: 'pcm', op: 'initALBuffer', id: 1, pcm: { seconds: 0.1 }, format: MONO16, rate: 44100 },
    { name: 'playLoaded', op: 'commands', words: play(1) },
    { name: 'stopAll', op: 'commands', words: [5] },
    { name: 'stopZero', op: 'commands', words: [3, 0, 2, 0] },
    { name: 'pauseAll', op: 'commands', words: [6] },
    { name: 'resumeAll', op: 'commands', words: [7] },
    { name: 'pause', op: 'commands', words: [2, 5] },
    { name: 'quit', op: 'quit' },
  ];
  const { result, steps, value } = await runPlan(plan, { audio: 'none' });
  assertOk(result);
  const err = steps.start.err;
  const lines = ['Got null device', 'Could not set a context!', 'Error initializing OpenAL: AL error 0x1'];
  const at = lines.map((l) => err.indexOf(l));
  assert.ok(at.every((i) => i >= 0) && at[0] < at[1] && at[1] < at[2], err.join('\n'));
  // Only device and context errors may sit between the first two lines.
  for (const l of err.slice(at[0] + 1, at[1])) assert.match(l, /^Got error (opening device|creating context): \S/);
  assert.ok(!steps.start.out.includes('OpenAL initialized OK'));
  assert.ok(!steps.start.out.some((l) => /^(EFX version|Opened|Using EAX)/.test(l)));

  assert.deepEqual(value.play.filter((_, i) => i % 7 === 0), [0, 0, 0]);
  // Without a context OpenAL answers every check with "invalid operation", which has no text then.
  assert.equal(value.pcm, AL_INVALID_OPERATION);
  assert.deepEqual(steps.pcm.err, ['OpenAL Error buffering data: AL error 0xa004']);
  assert.equal(value.playLoaded[0], 0);
  assert.equal(value.stopAll[0], 1);
  assert.deepEqual(steps.stopAll.err, ['Got error stopping all: AL error 0xa004']);
  assert.deepEqual([value.stopZero[0], value.stopZero[2]], [1, 1]);
  assert.equal(value.pauseAll[0], 1);
  assert.deepEqual(steps.pauseAll.err, ['Got error pausing all: AL error 0xa004']);
  assert.equal(value.resumeAll[0], 1);
  assert.deepEqual(steps.resumeAll.err, ['Got error resuming all: AL error 0xa004']);
  assert.equal(value.pause[0], 1);
  assert.deepEqual(steps.pause.err, ['Failed to set sound source buffer, source=5: AL error 0xa004']);
  assert.deepEqual(steps.quit.out.slice(0, 2), ['Quitting Native', 'Closing OpenAL']);
  assert.equal(steps.quit.err.length, 0, steps.quit.err.join('\n'));
});

// Plays a 0.2 s tone loaded with initALBuffer and returns the capture with the tone's onset.
async function captureTone(general) {
  const dir = h.tempDir();
  const wave = path.join(dir, 'out.wav');
  const env = general ? { ALSOFT_CONF: h.waveConf(dir, wave, general) } : {};
  const plan = [
    { name: 'load', op: 'initALBuffer', id: 3, pcm: { freq: 440, seconds: 0.2 }, format: MONO16, rate: 44100 },
    { name: 'play', op: 'commands', words: play(3) },
    { name: 'wait', op: 'sleep', ms: 2000 },
    { name: 'quit', op: 'quit' },
  ];
  const run = await runPlan(plan, { audio: { wave }, env });
  assertOk(run.result);
  const wav = h.readWav(wave);
  return { ...run, wav, on: h.onset(wav) };
}

test('a tone from initALBuffer is captured at its pitch, with a reverb tail after it ends', async () => {
  const { value, steps, wav, on } = await captureTone();
  assert.equal(value.load, 0);
  assert.ok(value.play[0] > 0);
  assert.deepEqual(steps.play.err, []);
  assert.ok(on >= 0, 'nothing audible in the capture');
  assert.ok(Math.abs(h.pitch(wav, on + 0.02, on + 0.15) - 440) < 5);
  assert.ok(h.rms(wav, on + 0.02, on + 0.18) > 0.1);
  // 0.5 to 1.5 s after the tone ended, the hall is still ringing.
  assert.ok(h.rms(wav, on + 0.7, on + 1.7) > 1e-3, `tail ${h.rms(wav, on + 0.7, on + 1.7)}`);
});

test('a device without the EAX reverb: the type error on standard output, the same tone dry, exact silence after it', async () => {
  const { value, steps, wav, on } = await captureTone({ excludefx: 'eaxreverb' });
  assert.ok(steps.start.out.includes('Error adding EFX reverb: Invalid Value'), steps.start.out.join('\n'));
  // The effect keeps its name and stays attached: no further reverb line, start-up succeeds.
  assert.ok(steps.start.out.includes('OpenAL initialized OK'));
  assert.ok(!steps.start.err.some((l) => /reverb|effect/i.test(l)), steps.start.err.join('\n'));
  assert.ok(value.play[0] > 0);
  assert.ok(on >= 0);
  assert.ok(h.rms(wav, on + 0.02, on + 0.18) > 0.1);
  assert.equal(h.peak(wav, on + 0.3, on + 1.7), 0);
});

test('the pool: 64 distinct sources, the 65th play gives 0 and disturbs none, finished sources return at the next tick', async () => {
  const plays = (n, id) => Array.from({ length: n }, () => play(id)).flat();
  const plan = [
    { name: 'load', op: 'initALBuffer', id: 1, pcm: { seconds: 0.4 }, format: MONO16, rate: 44100 },
    { name: 'all', op: 'commands', words: plays(65, 1) },
    { name: 'stillFull', op: 'commands', words: play(1) },
    { name: 'wait', op: 'sleep', ms: 900 },
    { name: 'again', op: 'commands', words: plays(64, 1) },
    { name: 'stopAll', op: 'commands', words: [5] },
    { name: 'afterStop', op: 'commands', words: play(1) },
    { name: 'quit', op: 'quit' },
  ];
  const { result, value, steps } = await runPlan(plan, { audio: 'null' });
  assertOk(result);
  const names = value.all.filter((_, i) => i % 7 === 0);
  const first = names.slice(0, 64);
  assert.ok(first.every((s) => s > 0 && Number.isInteger(s)));
  assert.equal(new Set(first).size, 64);
  assert.equal(names[64], 0);
  assert.deepEqual(steps.all.err, []);
  // Nothing had finished: the next tick returned no source.
  assert.equal(value.stillFull[0], 0);
  // After they finished, the next tick returned all 64: the same sources, taken from the top of the
  // free stack, where the last to be returned is the last that was started.
  const again = value.again.filter((_, i) => i % 7 === 0);
  assert.deepEqual([...again].sort((a, b) => a - b), [...first].sort((a, b) => a - b));
  assert.equal(again[0], first[63]);
  assert.equal(value.stopAll[0], 0);
  // Stopped sources come back at the next tick too; the last returned is the first taken.
  assert.equal(value.afterStop[0], again[63]);
});

test('pause, stop, gain and the all-source commands: results, lines, and a stopped source reclaimed', async () => {
  const plan = [
    { name: 'load', op: 'initALBuffer', id: 2, pcm: { seconds: 3 }, format: MONO16, rate: 44100 },
    { name: 'play', op: 'commands', words: play(2) },
  ];
  const pre = await runPlan([...plan, { name: 'quit', op: 'quit' }], { audio: 'null' });
  const s = pre.value.play[0];
  assert.ok(s > 0);
  const steps = [
    ...plan,
    { name: 'pause', op: 'commands', words: [2, s, 2, s] },
    { name: 'pauseAll', op: 'commands', words: [6] },
    { name: 'resumeAll', op: 'commands', words: [7] },
    { name: 'gain', op: 'commands', words: [4, s, 0.5] },
    { name: 'stop', op: 'commands', words: [3, s, 3, s, 2, s] },
    { name: 'reclaimed', op: 'commands', words: play(2) },
    { name: 'zero', op: 'commands', words: [2, 0, 3, 0] },
    { name: 'pauseUnknown', op: 'commands', words: [2, 99999] },
    { name: 'gainUnknown', op: 'commands', words: [4, 99999, 0.5] },
    { name: 'playAfterGain', op: 'commands', words: play(2) },
    { name: 'badPitch', op: 'commands', words: play(2, 1, -1) },
    { name: 'never', op: 'commands', words: play(200) },
    { name: 'neverAgain', op: 'commands', words: play(200) },
    { name: 'allEmpty', op: 'commands', words: [5, 6, 7] },
    { name: 'quit', op: 'quit' },
  ];
  const { result, value, steps: lines } = await runPlan(steps, { audio: 'null' });
  assertOk(result);
  assert.equal(value.play[0], s);
  // Pausing a playing source, then pausing it again while paused: both done.
  assert.deepEqual([value.pause[0], value.pause[2]], [0, 0]);
  assert.equal(value.pauseAll[0], 0);
  assert.equal(value.resumeAll[0], 0);
  assert.equal(value.gain[0], 0);
  // Stop, stop again (already stopped: nothing to do), pause a stopped source (nothing to do).
  assert.deepEqual([value.stop[0], value.stop[2], value.stop[4]], [0, 0, 0]);
  // The stopped source was returned at the start of the next tick and is the first taken.
  assert.equal(value.reclaimed[0], s);
  assert.deepEqual([value.zero[0], value.zero[2]], [1, 1]);
  assert.equal(value.pauseUnknown[0], 1);
  assert.deepEqual(lines.pauseUnknown.err, ['Failed to set sound source buffer, source=99999: Invalid Name']);
  // The gain command reports nothing, and its error does not surface in the next play.
  assert.equal(value.gainUnknown[0], 0);
  assert.deepEqual(lines.gainUnknown, { out: [], err: [] });
  assert.ok(value.playAfterGain[0] > 0);
  assert.deepEqual(lines.playAfterGain, { out: [], err: [] });
  // A pitch OpenAL refuses is logged and the sound still starts.
  assert.ok(value.badPitch[0] > 0);
  assert.deepEqual(lines.badPitch.err, ['Failed to set gain: Invalid Value']);
  // A sound id never loaded plays nothing, quietly; its source stops at once and is back next tick.
  assert.ok(value.never[0] > 0);
  assert.deepEqual(lines.never, { out: [], err: [] });
  assert.equal(value.neverAgain[0], value.never[0]);
  assert.deepEqual([value.allEmpty[0], value.allEmpty[1], value.allEmpty[2]], [0, 0, 0]);
});

test('initALBuffer: an odd byte count for 16-bit and an unknown format give the OpenAL code and leave no buffer', async () => {
  const plan = [
    { name: 'long', op: 'initALBuffer', id: 5, pcm: { seconds: 3 }, format: MONO16, rate: 44100 },
    { name: 'odd', op: 'initALBuffer', id: 5, pcm: { bytes: 4411 }, format: MONO16, rate: 44100 },
    { name: 'playOdd', op: 'commands', words: play(5) },
    { name: 'playOddAgain', op: 'commands', words: play(5) },
    { name: 'format', op: 'initALBuffer', id: 6, pcm: { bytes: 64 }, format: 12345, rate: 44100 },
    { name: 'rate', op: 'initALBuffer', id: 7, pcm: { bytes: 64 }, format: MONO8, rate: 0 },
    { name: 'hugeRate', op: 'initALBuffer', id: 7, pcm: { bytes: 64 }, format: MONO8, rate: 4294967295 },
    { name: 'ok8', op: 'initALBuffer', id: 255, pcm: { bits: 8, seconds: 0.1 }, format: MONO8, rate: 22050 },
    { name: 'playOk', op: 'commands', words: play(255) },
    { name: 'quit', op: 'quit' },
  ];
  const { result, value, steps } = await runPlan(plan, { audio: 'null' });
  assertOk(result);
  assert.equal(value.odd, AL_INVALID_VALUE);
  assert.deepEqual(steps.odd.err, ['OpenAL Error buffering data: Invalid Value']);
  // No buffer is left under the id (neither the failed one nor the 3 s sound it replaced): playing
  // it is a quiet no-op whose source has stopped by the next tick, which takes it again.
  assert.ok(value.playOdd[0] > 0);
  assert.deepEqual(steps.playOdd, { out: [], err: [] });
  assert.equal(value.playOddAgain[0], value.playOdd[0]);
  assert.equal(value.format, AL_INVALID_ENUM);
  assert.deepEqual(steps.format.err, ['OpenAL Error buffering data: Invalid Enum']);
  assert.equal(value.rate, AL_INVALID_VALUE);
  // A rate past OpenAL's signed size is refused, not wrapped to a negative or a small one.
  assert.equal(value.hugeRate, AL_INVALID_VALUE);
  assert.equal(value.ok8, 0);
  assert.deepEqual(steps.ok8, { out: [], err: [] });
  assert.ok(value.playOk[0] > 0);
});

test('checks of the host functions stop the process with their texts', async () => {
  const ogg = '/nonexistent.ogg';
  const cases = [
    ['loadAudio', [256, ogg, 2, 1], 'id < alBufferCount'],
    ['loadAudio', [0, ogg, 2], 'argc == lengthof(args)'],
    ['loadAudio', [0, 5, 2, 1], 'vtype == napi_string && "path not string"'],
    ['loadAudio', [0, ogg, '2', 1], 'vtype == napi_number && "wordSize not number"'],
    ['loadAudio', [0, ogg, 2, null], 'vtype == napi_number && "channels not number"'],
    ['loadAudio', ['0', ogg, 2, 1], 'status == napi_ok'],
    ['initALBuffer', [256, { $buffer: 2 }, MONO16, 44100], 'id < alBufferCount'],
    ['initALBuffer', [0, [1, 2], MONO16, 44100], 'isBuffer && "Isn\'t a buffer?"'],
    ['initALBuffer', [0, { $buffer: 2 }, 'x', 44100], 'vtype == napi_number && "format not number"'],
    ['initALBuffer', [0, { $buffer: 2 }, MONO16, true], 'vtype == napi_number && "sampleRate not number"'],
    ['initALBuffer', [0, { $buffer: 2 }, MONO16, 44100, 1], 'argc == lengthof(args)'],
  ];
  const runs = cases.map(([fn, args]) => runPlan([{ name: 'call', op: 'call', fn, args }], { audio: 'null' }));
  const results = await Promise.all(runs);
  results.forEach(({ result }, i) => assert.equal(assertAborted(result, cases[i][2]), 'audio', cases[i].join(' ')));
  // id 255 is the last valid id.
  const last = await runPlan([{ name: 'call', op: 'call', fn: 'initALBuffer', args: [255, { $buffer: 2 }, MONO16, 44100] }],
    { audio: 'null' });
  assertOk(last.result);
  assert.equal(last.value.call, 0);
});

test('stopping a source that does not exist stops the process with the state-query check', async () => {
  const { result } = await runPlan([{ name: 'stop', op: 'commands', words: [3, 99999] }], { audio: 'null' });
  assert.equal(assertAborted(result, 'alGetError() == AL_NO_ERROR && "Failed to set sound source buffer"'), 'audio');
});

const EFX_NAMES = ['alGenEffects', 'alDeleteEffects', 'alIsEffect', 'alEffecti', 'alEffectiv', 'alEffectf', 'alEffectfv',
  'alGetEffecti', 'alGetEffectiv', 'alGetEffectf', 'alGetEffectfv', 'alGenAuxiliaryEffectSlots',
  'alDeleteAuxiliaryEffectSlots', 'alIsAuxiliaryEffectSlot', 'alAuxiliaryEffectSloti', 'alAuxiliaryEffectSlotiv',
  'alAuxiliaryEffectSlotf', 'alAuxiliaryEffectSlotfv', 'alGetAuxiliaryEffectSloti', 'alGetAuxiliaryEffectSlotiv',
  'alGetAuxiliaryEffectSlotf', 'alGetAuxiliaryEffectSlotfv'];

test('no EFX entry point found: each name logged in lookup order, the EFX steps skipped, sounds still play, shutdown clean', async () => {
  const plan = [
    { name: 'load', op: 'initALBuffer', id: 1, pcm: { seconds: 0.1 }, format: MONO16, rate: 44100 },
    { name: 'play', op: 'commands', words: play(1) },
    { name: 'quit', op: 'quit' },
  ];
  const env = { LD_PRELOAD: h.buildShim(), TM_TEST_HIDE_PROCS: '*' };
  const { result, value, steps } = await runPlan(plan, { audio: 'null', env });
  assertOk(result);
  const err = steps.start.err.filter((l) => !/^Finalized/.test(l));
  assert.deepEqual(err.slice(0, 22), EFX_NAMES.map((n) => `Error getting proc address: ${n}`));
  // No effect could be generated: the reverb is reported missing, with no error pending.
  assert.deepEqual(err.slice(22).filter((l) => /reverb|effect|EFX|AL/i.test(l)), ['Error making reverb: No Error']);
  assert.ok(steps.start.out.includes('Using EAX Reverb'));
  assert.ok(steps.start.out.includes('OpenAL initialized OK'));
  assert.ok(value.play[0] > 0);
  assert.deepEqual(steps.play, { out: [], err: [] });
  assert.deepEqual(steps.quit.err, []);
});

test('some EFX entry points missing: only those steps skipped; the slot holds no reverb, so the tone plays dry', async () => {
  const dir = h.tempDir();
  const wave = path.join(dir, 'out.wav');
  const hide = ['alDeleteEffects', 'alEffectf', 'alAuxiliaryEffectSloti'];
  const plan = [
    { name: 'load', op: 'initALBuffer', id: 3, pcm: { freq: 440, seconds: 0.2 }, format: MONO16, rate: 44100 },
    { name: 'play', op: 'commands', words: play(3) },
    { name: 'wait', op: 'sleep', ms: 1500 },
    { name: 'quit', op: 'quit' },
  ];
  const env = { LD_PRELOAD: h.buildShim(), TM_TEST_HIDE_PROCS: hide.join(',') };
  const { result, value, steps } = await runPlan(plan, { audio: { wave }, env });
  assertOk(result);
  const err = steps.start.err.filter((l) => !/^Finalized/.test(l));
  assert.deepEqual(err, hide.map((n) => `Error getting proc address: ${n}`));
  assert.ok(steps.start.out.includes('OpenAL initialized OK'));
  assert.ok(value.play[0] > 0);
  const wav = h.readWav(wave);
  const on = h.onset(wav);
  assert.ok(on >= 0 && h.rms(wav, on + 0.02, on + 0.18) > 0.1);
  assert.equal(h.peak(wav, on + 0.3, on + 1.2), 0);
});
