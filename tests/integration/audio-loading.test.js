'use strict';
// Sound loading from a real host: Ogg files made by sox and oggenc at test time (mono, stereo with
// different content left and right, three channels, several rates, damaged, truncated, lying about
// their length, a FIFO), loaded with loadAudio and played through OpenAL Soft's wave writer with
// the reverb left out, so every sound is heard alone and measured for level and pitch.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { spawn, execFileSync } = require('node:child_process');
const { startXvfb, assertOk, sanitized } = require('./harness');
const h = require('./audio-helpers');

let xs;
let dir;
const f = {};
test.before(async () => {
  xs = await startXvfb();
  dir = h.tempDir();
  f.mono = h.makeOgg(dir, 'mono', { channels: [440], seconds: 0.3 });
  f.left = h.makeOgg(dir, 'left', { channels: [440, 0], seconds: 0.3 });
  f.right = h.makeOgg(dir, 'right', { channels: [0, 660], seconds: 0.3 });
  f.both = h.makeOgg(dir, 'both', { channels: [440, 660], seconds: 0.3 });
  f.three = h.makeOgg(dir, 'three', { channels: [440, 660, 880], seconds: 0.3 });
  f.rate22 = h.makeOgg(dir, 'rate22', { channels: [440], seconds: 0.3, rate: 22050 });
  f.rate48 = h.makeOgg(dir, 'rate48', { channels: [440], seconds: 0.3, rate: 48000 });
  f.rate11 = h.makeOgg(dir, 'rate11', { channels: [440, 660], seconds: 0.3, rate: 11025 });
  // Long enough for several audio pages: damage lands mid-stream, a lie in the last page is believed.
  f.long = h.makeOgg(dir, 'long', { channels: [440], seconds: 8 });
  f.damaged = h.damaged(f.long, path.join(dir, 'damaged.ogg'));
  f.lying = h.withLastGranule(f.long, path.join(dir, 'lying.ogg'), 2n ** 40n);
  // 2^28 frames: 512 MiB of 16-bit PCM, under the limit but more than the tests let malloc give.
  f.big = h.withLastGranule(f.long, path.join(dir, 'big.ogg'), 2n ** 28n);
  const long = fs.readFileSync(f.long);
  const pages = h.oggPages(long);
  f.truncated = path.join(dir, 'truncated.ogg');
  fs.writeFileSync(f.truncated, long.subarray(0, pages[pages.length - 2].offset + 100));
  f.notOgg = path.join(dir, 'notes.ogg');
  fs.writeFileSync(f.notOgg, 'These are not the sounds you are looking for.\n'.repeat(20));
  f.empty = h.makeOgg(dir, 'empty', { channels: [440], seconds: 0 });
  f.unicode = path.join(dir, 'tön ♪ é.ogg');
  fs.copyFileSync(f.mono, f.unicode);
  f.missing = path.join(dir, 'missing.ogg');
});
test.after(() => xs.stop());

const none = { out: [], err: [] };

test('loadAudio: results and lines for unsupported pairs, missing, non-Ogg, damaged, lying, odd paths', async () => {
  const load = (name, id, file, wordSize, channels) => ({ name, op: 'loadAudio', args: [id, file, wordSize, channels] });
  const plan = [
    load('word3', 0, f.mono, 3, 1),
    load('channels0', 0, f.mono, 2, 0),
    load('channels3', 0, f.mono, 2, 3),
    load('word0', 0, f.mono, 0, 1),
    load('unsupportedMissing', 0, f.missing, 4, 2),
    load('missing', 0, f.missing, 2, 1),
    load('notOgg', 0, f.notOgg, 2, 1),
    load('damaged', 1, f.damaged, 2, 1),
    load('truncated', 2, f.truncated, 2, 1),
    load('lying', 3, f.lying, 2, 1),
    load('unicode', 4, f.unicode, 2, 1),
    load('nul', 5, `${f.mono}\u0000.txt`, 2, 1),
    load('last', 255, f.mono, 1, 2),
    load('empty', 6, f.empty, 2, 1),
    load('stereo8', 7, f.both, 1, 2),
    { name: 'quit', op: 'quit' },
  ];
  const { result, value, steps } = await h.runPlan(plan, { display: xs.display, audio: 'null' });
  assertOk(result);
  for (const name of ['word3', 'channels0', 'channels3', 'word0', 'unsupportedMissing']) {
    assert.equal(value[name], -1, name);
    assert.deepEqual(steps[name], none, name);
  }
  assert.equal(value.missing, 1);
  assert.deepEqual(steps.missing, { out: [], err: [`File does not appear to be an Ogg bitstream: -1 - ${f.missing}`] });
  assert.equal(value.notOgg, 1);
  assert.deepEqual(steps.notOgg, { out: [], err: [`File does not appear to be an Ogg bitstream: -132 - ${f.notOgg}`] });
  // A hole in the stream is logged and decoding goes on past it.
  assert.equal(value.damaged, 0);
  assert.deepEqual(steps.damaged, { out: [], err: [' !Error encountered in stream: -3 (section 0)'] });
  assert.equal(value.truncated, 0);
  // A file claiming 2^40 frames would need terabytes: refused, nothing allocated.
  assert.equal(value.lying, 1);
  assert.deepEqual(steps.lying, { out: [], err: [` !Sound longer than 1073741824 bytes of PCM: ${f.lying}`] });
  assert.equal(value.unicode, 0);
  assert.deepEqual(steps.unicode, none);
  // A path with a NUL inside is not opened as the file its prefix names.
  assert.equal(value.nul, 1);
  assert.deepEqual(steps.nul, { out: [], err: [`File does not appear to be an Ogg bitstream: -1 - ${f.mono}`] });
  // A mono file loaded as stereo: the line, then a stereo sound (heard at its own speed below).
  assert.equal(value.last, 0);
  assert.deepEqual(steps.last, { out: [], err: ['  Cannot handle copying channels for mono->stereo yet'] });
  // An empty stream is logged and still buffered, with no bytes.
  assert.equal(value.empty, 0);
  assert.deepEqual(steps.empty.err, [" !Didn't write anything? -1"]);
  assert.equal(value.stereo8, 0);
  assert.deepEqual(steps.stereo8, none);
});

// Sounds of the capture run: [name, file key, wordSize, channels, expectation]. An expectation is
// 'silent', or the pitch in Hz heard on the left and on the right.
const SOUNDS = [
  ['mono16', 'mono', 2, 1, [440, 440]],
  ['mono8', 'mono', 1, 1, [440, 440]],
  ['left16', 'left', 2, 1, [440, 440]],
  ['right16', 'right', 2, 1, 'silent'],
  ['left8', 'left', 1, 1, [440, 440]],
  ['right8', 'right', 1, 1, 'silent'],
  ['both16', 'both', 2, 2, [440, 660]],
  ['both8', 'both', 1, 2, [440, 660]],
  ['monoAsStereo16', 'mono', 2, 2, [440, 440]],
  ['monoAsStereo8', 'mono', 1, 2, [440, 440]],
  ['rate22', 'rate22', 2, 1, [440, 440]],
  ['rate48', 'rate48', 2, 1, [440, 440]],
  ['rate11', 'rate11', 2, 2, [440, 660]],
  // Three channels in the file's order (left, centre, right for Vorbis): the first one, or the first two.
  ['threeAsMono', 'three', 2, 1, [440, 440]],
  ['threeAsStereo', 'three', 2, 2, [440, 880]],
  ['damaged', 'damaged', 2, 1, [440, 440]],
  ['fifo', 'fifo', 2, 1, [440, 440]],
];

test('loaded sounds play: left kept and right dropped for mono, 8 and 16 bits, stereo sides, rates, a FIFO', async () => {
  const wave = path.join(dir, 'loading.wav');
  const conf = h.waveConf(dir, wave, { excludefx: 'eaxreverb' });
  // A FIFO opens as a stream with no known length; a writer feeds it the whole file.
  const fifo = path.join(dir, 'sound.fifo');
  execFileSync('mkfifo', [fifo]);
  const writer = spawn('sh', ['-c', 'cat "$0" > "$1"', f.mono, fifo], { stdio: 'ignore' });
  const files = { ...f, fifo };
  const plan = [];
  SOUNDS.forEach(([name, key, wordSize, channels], id) => plan.push({ name: `load-${name}`, op: 'loadAudio', args: [id, files[key], wordSize, channels] }));
  SOUNDS.forEach(([name], id) => {
    plan.push({ name, op: 'commands', words: [1, id, 1, 1, 0, 0, 0] });
    plan.push({ name: `after-${name}`, op: 'sleep', ms: 450 });
  });
  plan.push({ name: 'quit', op: 'quit' });
  const { result, value, t, steps } = await h.runPlan(plan, { display: xs.display, audio: { wave }, env: { ALSOFT_CONF: conf } });
  writer.kill();
  assertOk(result);
  for (const [name] of SOUNDS) assert.equal(value[`load-${name}`], 0, name);
  const expectedLines = {
    monoAsStereo16: ['  Cannot handle copying channels for mono->stereo yet'],
    monoAsStereo8: ['  Cannot handle copying channels for mono->stereo yet'],
    damaged: [' !Error encountered in stream: -3 (section 0)'],
  };
  for (const [name] of SOUNDS) assert.deepEqual(steps[`load-${name}`], { out: [], err: expectedLines[name] || [] }, name);
  for (const [name] of SOUNDS) assert.ok(value[name][0] > 0, name);

  const wav = h.readWav(wave);
  const left = { ...wav, samples: [wav.samples[0]] };
  const right = { ...wav, samples: [wav.samples[1]] };
  // The first sound is audible: it ties the host's clock to the capture's.
  const offset = h.onset(wav) - t.mono16;
  for (const [name, , , , expected] of SOUNDS) {
    const at = t[name] + offset;
    const level = h.rms(wav, at + 0.05, at + 0.25);
    if (expected === 'silent') {
      assert.ok(level < 1e-3, `${name}: level ${level}`);
      continue;
    }
    assert.ok(level > 0.05, `${name}: level ${level}`);
    const heard = [h.pitch(left, at + 0.05, at + 0.25), h.pitch(right, at + 0.05, at + 0.25)];
    expected.forEach((hz, side) => assert.ok(Math.abs(heard[side] - hz) < hz * 0.03, `${name}: heard ${heard}, expected ${expected}`));
    // Each sound lasts its 0.3 s: the mono-as-stereo ones are not squeezed into half the time.
    assert.ok(h.rms(wav, at + 0.2, at + 0.27) > 0.05, `${name}: ended early`);
  }
});

test('a sound that cannot be held: result 1 with its line, and the sound already under the id still plays', async () => {
  const load = (name, id, file) => ({ name, op: 'loadAudio', args: [id, file, 2, 1] });
  const plan = [
    load('long', 9, f.long),
    load('big', 9, f.big),
    load('lying', 9, f.lying),
    { name: 'play', op: 'commands', words: [1, 9, 1, 1, 0, 0, 0] },
    { name: 'playAgain', op: 'commands', words: [1, 9, 1, 1, 0, 0, 0] },
    { name: 'quit', op: 'quit' },
  ];
  const env = { LD_PRELOAD: h.buildShim(), TM_TEST_MALLOC_LIMIT: String(256 << 20) };
  // Under the sanitized build the sanitizer's allocator serves malloc, not the stand-in: it is
  // given the same limit.
  if (sanitized) env.ASAN_OPTIONS = `${process.env.ASAN_OPTIONS || ''}:max_allocation_size_mb=256`;
  const { result, value, steps } = await h.runPlan(plan, { display: xs.display, audio: 'null', env });
  assertOk(result);
  assert.equal(value.long, 0);
  assert.equal(value.big, 1);
  assert.deepEqual(steps.big, { out: [], err: [` !Out of memory for the PCM of ${f.big}`] });
  assert.equal(value.lying, 1);
  assert.deepEqual(steps.lying, { out: [], err: [` !Sound longer than 1073741824 bytes of PCM: ${f.lying}`] });
  // The 8 s sound is still under id 9: the first source is still playing it at the next tick.
  assert.ok(value.play[0] > 0 && value.playAgain[0] > 0);
  assert.notEqual(value.playAgain[0], value.play[0]);
});
