'use strict';
// Sound loading from a real host: Ogg files made by sox and oggenc at test time (mono, stereo with
// different content left and right, three channels, several rates, damaged, truncated, lying about
// their length), loaded with loadAudio and played through OpenAL Soft's wave writer with the reverb
// left out, so every sound is heard alone and measured for level and pitch. Files that are not
// regular files, or whose chained links change format, are refused by loadAudio and playMusic alike.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
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
// The sanitized build (its runtimes preloaded into the hosts): resident-set figures mean nothing there.
const underSanitizers = Boolean(process.env.TESSIMARKE_SANITIZER_PRELOAD);

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
];

// Sounds of known length are decoded straight into OpenAL's own storage where the library can map
// it; the same sounds are heard again with that hidden, decoded into a block and copied in.
for (const [variant, hide] of [['mapped', null], ['copied', 'alBufferStorageSOFT']]) test(`loaded sounds play (${variant}): left kept and right dropped for mono, 8 and 16 bits, stereo sides, rates`, async () => {
  const wave = path.join(dir, `loading-${variant}.wav`);
  const conf = h.waveConf(dir, wave, { excludefx: 'eaxreverb' });
  const plan = [];
  SOUNDS.forEach(([name, key, wordSize, channels], id) => plan.push({ name: `load-${name}`, op: 'loadAudio', args: [id, f[key], wordSize, channels] }));
  SOUNDS.forEach(([name], id) => {
    plan.push({ name, op: 'commands', words: [1, id, 1, 1, 0, 0, 0] });
    plan.push({ name: `after-${name}`, op: 'sleep', ms: 450 });
  });
  plan.push({ name: 'quit', op: 'quit' });
  const env = { ALSOFT_CONF: conf, ...(hide ? { LD_PRELOAD: h.buildShim(), TM_TEST_HIDE_PROCS: hide } : {}) };
  const { result, value, t, steps } = await h.runPlan(plan, { display: xs.display, audio: { wave }, env });
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
  // given the same limit, and its warning for the refused request is not the addon's line.
  if (sanitized) env.ASAN_OPTIONS = `${process.env.ASAN_OPTIONS || ''}:max_allocation_size_mb=256`;
  const refusal = /^==\d+==WARNING: AddressSanitizer failed to allocate /;
  const { result, value, steps } = await h.runPlan(plan, { display: xs.display, audio: 'null', env });
  assertOk(result);
  assert.equal(value.long, 0);
  assert.equal(value.big, 1);
  assert.deepEqual({ ...steps.big, err: steps.big.err.filter((l) => !(sanitized && refusal.test(l))) },
    { out: [], err: [` !Out of memory for the PCM of ${f.big}`] });
  assert.equal(value.lying, 1);
  assert.deepEqual(steps.lying, { out: [], err: [` !Sound longer than 1073741824 bytes of PCM: ${f.lying}`] });
  // The 8 s sound is still under id 9: the first source is still playing it at the next tick.
  assert.ok(value.play[0] > 0 && value.playAgain[0] > 0);
  assert.notEqual(value.playAgain[0], value.play[0]);
});

test('reloading a sound id releases the old buffer: resident memory stays flat, a source playing it is stopped; a false length costs nothing', async () => {
  const second = h.makeOgg(dir, 'second', { channels: [440, 660], seconds: 1 });
  // 4 MiB of PCM: a sound whose freed storage the allocator would otherwise keep for the next one.
  const large = { bytes: 4 << 20 };
  const plan = [
    { name: 'load', op: 'loadAudio', args: [10, second, 2, 2] },
    { name: 'init', op: 'initALBuffer', id: 11, pcm: large, format: 4353, rate: 44100 },
    { name: 'rssOne', op: 'rss' },
    { name: 'reloads', op: 'loadAudio', args: [10, second, 2, 2], repeat: 299 },
    { name: 'reinits', op: 'initALBuffer', id: 11, pcm: large, format: 4353, rate: 44100, repeat: 299 },
    { name: 'rssMany', op: 'rss' },
    // 8 s of sound in a file claiming 2^28 frames: what the claim would take is never touched.
    { name: 'loadBig', op: 'loadAudio', args: [13, f.big, 2, 1] },
    { name: 'rssBig', op: 'rss' },
    { name: 'loadLong', op: 'loadAudio', args: [12, f.long, 2, 1] },
    { name: 'play', op: 'commands', words: [1, 12, 1, 1, 0, 0, 0] },
    { name: 'reloadPlaying', op: 'loadAudio', args: [12, f.long, 2, 1] },
    { name: 'playAgain', op: 'commands', words: [1, 12, 1, 1, 0, 0, 0] },
    { name: 'quit', op: 'quit' },
  ];
  const { result, value, steps } = await h.runPlan(plan, { display: xs.display, audio: 'null' });
  assertOk(result);
  for (const name of ['load', 'init', 'reloads', 'reinits', 'loadBig', 'loadLong', 'reloadPlaying']) {
    assert.equal(value[name], 0, name);
    assert.deepEqual(steps[name], none, name);
  }
  // 299 reloads of a 176 KiB sound and 299 of a 4 MiB one: kept, they would add about 1.2 GiB.
  // (Under the sanitized build freed memory waits in the sanitizer's quarantine: no figure holds.)
  if (!underSanitizers) {
    const grown = value.rssMany - value.rssOne;
    assert.ok(grown < 2 * 1024 * 1024, `resident set grew by ${grown} bytes over 598 reloads`);
    assert.ok(value.rssBig - value.rssMany < 32 << 20, `a 512 MiB claim took ${value.rssBig - value.rssMany} bytes`);
  }
  // The reload stopped the source playing the 8 s sound, so the next tick gave that source back.
  assert.ok(value.play[0] > 0);
  assert.equal(value.playAgain[0], value.play[0]);
});

// Lines a damaged file may print when loaded: the decoder's complaints and the refusals.
const DAMAGE_LINES = [
  /^File does not appear to be an Ogg bitstream: -\d+ - .*\.ogg$/,
  /^ !Error encountered in stream: -\d+ \(section -?\d+\)$/,
  /^ !Vorbis stream cannot be decoded \([a-z0-9 ,]+\): .*\.ogg$/,
  /^ !Didn't write anything\? -?\d+$/,
  /^ !Sound longer than 1073741824 bytes of PCM: .*\.ogg$/,
  /^ {2}Cannot handle copying channels for mono->stereo yet$/,
];

test('damaged files: each loads or is refused with its line, in one host, with nothing else happening', async () => {
  const sources = [f.both, f.rate22, f.three, f.rate11, f.mono].map((file) => fs.readFileSync(file));
  const corpus = h.damagedCorpus(sources, 300, 11);
  const shapes = [[2, 2], [2, 1], [1, 2], [1, 1]];
  const plan = corpus.map(({ kind, bytes }, i) => {
    const file = path.join(dir, `mutant-${i}-${kind}.ogg`);
    fs.writeFileSync(file, bytes);
    return { name: `mutant-${i}`, op: 'loadAudio', args: [20 + (i % 200), file, ...shapes[i % 4]] };
  });
  // Chained streams whose channels or rate change are refused before decoding; a chain that keeps
  // them loads.
  const changing = path.join(dir, 'changing.ogg');
  fs.writeFileSync(changing, Buffer.concat([sources[0], h.withSerial(sources[1], 77)]));
  const keeping = path.join(dir, 'keeping.ogg');
  fs.writeFileSync(keeping, Buffer.concat([sources[0], h.withSerial(fs.readFileSync(f.left), 77)]));
  plan.push({ name: 'changing', op: 'loadAudio', args: [0, changing, 2, 2] });
  plan.push({ name: 'keeping', op: 'loadAudio', args: [1, keeping, 2, 2] });
  plan.push({ name: 'quit', op: 'quit' });
  const { result, value, steps } = await h.runPlan(plan, { display: xs.display, audio: 'null', timeout: 120000 });
  assertOk(result);
  const refusal = (why, file) => ` !Vorbis stream cannot be decoded (${why}): ${file}`;
  assert.equal(value.changing, 1);
  assert.deepEqual(steps.changing, { out: [], err: [refusal('chained streams change channels or rate', changing)] });
  assert.equal(value.keeping, 0);
  assert.deepEqual(steps.keeping, none);

  const seen = { 0: 0, 1: 0 };
  const reasons = new Set();
  corpus.forEach((_, i) => {
    const name = `mutant-${i}`;
    assert.ok(value[name] === 0 || value[name] === 1, `${name}: result ${value[name]}`);
    seen[value[name]]++;
    const lines = steps[name] || none;
    assert.deepEqual(lines.out, [], name);
    for (const line of lines.err) {
      assert.ok(DAMAGE_LINES.some((re) => re.test(line)), `${name}: unexpected line ${JSON.stringify(line)}`);
      const m = /cannot be decoded \((.*)\)/.exec(line);
      if (m) reasons.add(m[1]);
    }
  });
  // The corpus reaches both ends, and the code trees that used to end the process are among it.
  assert.ok(seen[0] > 30 && seen[1] > 30, JSON.stringify(seen));
  assert.ok([...reasons].some((r) => r.includes('code tree')), [...reasons].join('; '));
});

test('a FIFO, a directory and a chain that changes format: loadAudio and playMusic refuse them at once; huge loop points play', async () => {
  // A FIFO nobody writes to: opening it for reading the usual way would wait for a writer forever.
  const fifo = path.join(dir, 'nobody.fifo');
  execFileSync('mkfifo', [fifo]);
  const mono = fs.readFileSync(f.mono);
  // Mono at 22.05 kHz, then stereo at 44.1 kHz; and two mono links at 44.1 kHz.
  const changing = path.join(dir, 'mono22-stereo44.ogg');
  fs.writeFileSync(changing, Buffer.concat([fs.readFileSync(f.rate22), h.withSerial(fs.readFileSync(f.both), 77)]));
  const keeping = path.join(dir, 'mono44-mono44.ogg');
  fs.writeFileSync(keeping, Buffer.concat([mono, h.withSerial(mono, 77)]));
  const CHAIN = 'chained streams change channels or rate';
  const load = (file) => ({ op: 'loadAudio', args: [30, file, 2, 1] });
  const music = (file, loopStart = -1, loopEnd = 0) => ({ op: 'call', fn: 'playMusic', args: [file, 1, loopStart, loopEnd] });
  // [name, step, result ('source': a music source), the line on standard error or null]
  const CASES = [
    ['loadFifo', load(fifo), 1, `File does not appear to be an Ogg bitstream: -1 - ${fifo}`],
    ['musicFifo', music(fifo), -1, `Music file cannot be read: -1 - ${fifo}`],
    ['loadDirectory', load(dir), 1, `File does not appear to be an Ogg bitstream: -1 - ${dir}`],
    ['musicDirectory', music(dir), -1, `Music file cannot be read: -1 - ${dir}`],
    ['loadChanging', load(changing), 1, ` !Vorbis stream cannot be decoded (${CHAIN}): ${changing}`],
    ['musicChanging', music(changing), -130, `Music file cannot be played (${CHAIN}): ${changing}`],
    ['musicKeeping', music(keeping), 'source', null],
    // Finite loop points too large for a frame count stand past the file's end.
    ['loopStartHuge', music(f.mono, 1e308, 0), 'source', null],
    ['loopEndHuge', music(f.mono, 0, 1e308), 'source', null],
    ['loopBothHuge', music(f.mono, 1e308, 1.5e308), 'source', null],
  ];
  const plan = [];
  for (const [name, step, expected] of CASES) {
    plan.push({ name, ...step });
    // A playing stream is refilled through its end, where the loop goes back or the music ends.
    if (expected === 'source') plan.push({ name: `${name}-ticks`, op: 'ticks', ms: 500 });
  }
  plan.push({ name: 'quit', op: 'quit' });
  // Before these refusals a FIFO left the host waiting: the time limit ends it instead.
  const { result, value, steps } = await h.runPlan(plan, { display: xs.display, audio: 'null', timeout: 20000 });
  assertOk(result);
  for (const [name, , expected, line] of CASES) {
    if (expected === 'source') assert.ok(value[name] > 0, `${name}: result ${value[name]}`);
    else assert.equal(value[name], expected, name);
    assert.deepEqual(steps[name], line ? { out: [], err: [line] } : none, name);
    if (expected === 'source') assert.deepEqual(steps[`${name}-ticks`], none, name);
  }
});
