'use strict';
// The audio subsystem from a real host, heard through OpenAL Soft's wave writer: the reverb or its
// absence, the source pool and the sound commands, initALBuffer, and loadAudio and playMusic on Ogg
// files made at test time (channels, bit depths, rates; damaged, lying, too large, chained, and
// paths that are not regular files).
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
const { startXvfb, assertOk, sanitized } = require('./harness');
const h = require('./audio-helpers');

const MONO16 = 0x1101, MONO8 = 0x1100;
const none = { out: [], err: [] };
const play = (id, gain = 1, pitch = 1) => [1, id, gain, pitch, 0, 0, 0];
const load = (name, id, file, wordSize = 2, channels = 1) => ({ name, op: 'loadAudio', args: [id, file, wordSize, channels] });
const cmd = (name, words) => ({ name, op: 'commands', words });
const tone = (name, id, pcm, format = MONO16, rate = 44100) => ({ name, op: 'initALBuffer', id, pcm, format, rate });

let xs, dir;
const f = {};
test.before(async () => {
  xs = await startXvfb();
  dir = h.tempDir();
  const ogg = (name, channels, rate, seconds = 0.3) => (f[name] = h.makeOgg(dir, name, { channels, rate, seconds }));
  ogg('mono', [440]); ogg('left', [440, 0]); ogg('right', [0, 660]); ogg('both', [440, 660]); ogg('three', [440, 660, 880]);
  ogg('rate22', [440], 22050); ogg('rate48', [440], 48000); ogg('rate11', [440, 660], 11025); ogg('empty', [440], 44100, 0);
  // Long enough for several audio pages: damage lands mid-stream, a lie in the last page is believed.
  ogg('long', [440], 44100, 8);
  f.damaged = h.damaged(f.long, path.join(dir, 'damaged.ogg'));
  f.lying = h.withLastGranule(f.long, path.join(dir, 'lying.ogg'), 2n ** 40n);
  // 2^28 frames: 512 MiB of 16-bit PCM, under the limit but more than the tests let malloc give.
  f.big = h.withLastGranule(f.long, path.join(dir, 'big.ogg'), 2n ** 28n);
  const long = fs.readFileSync(f.long), pages = h.oggPages(long);
  fs.writeFileSync((f.truncated = path.join(dir, 'truncated.ogg')), long.subarray(0, pages[pages.length - 2].offset + 100));
  fs.writeFileSync((f.notOgg = path.join(dir, 'notes.ogg')), 'These are not the sounds you are looking for.\n'.repeat(20));
  fs.copyFileSync(f.mono, (f.unicode = path.join(dir, 'tön ♪ é.ogg')));
  f.missing = path.join(dir, 'missing.ogg');
});
test.after(() => xs.stop());

// Runs `plan` and then quit in a host with the null device unless `options` say otherwise.
const runPlan = (plan, options = {}) => h.runPlan([...plan, { name: 'quit', op: 'quit' }], { display: xs.display, audio: 'null', ...options });

// Asserts a clean run and, for each step of `expected` ({ name: [value or predicate, lines on
// standard error] }), its value and that it printed exactly those lines.
function check({ result, value, steps }, expected) {
  assertOk(result);
  for (const [name, [want, err = []]] of Object.entries(expected)) {
    if (typeof want === 'function') assert.ok(want(value[name]), `${name}: ${JSON.stringify(value[name])}`);
    else assert.deepEqual(value[name], want, name);
    assert.deepEqual(steps[name] ?? none, { out: [], err }, name);
  }
}
const source = (v) => v > 0 && Number.isInteger(v);
// Predicates on the results of a tick: a source for its first command, or these results at these words.
const played = (v) => source(v[0]);
const results = (expected) => (v) => Object.entries(expected).every(([i, r]) => v[i] === r);

test('no device: its lines, every play gives 0, buffering and the commands that ask OpenAL fail with their lines, quit is quiet', async () => {
  const run = await runPlan([cmd('play', [...play(0), ...play(255)]), tone('pcm', 1, { seconds: 0.1 }), cmd('playLoaded', play(1)),
    cmd('commands', [5, 6, 7, 3, 0, 2, 0, 2, 5])], { audio: 'none' });
  // Without a context OpenAL answers every check with "invalid operation", which has no text then.
  const invalid = 'AL error 0xa004';
  check(run, {
    play: [results({ 0: 0, 7: 0 })], pcm: [0xa004, [`OpenAL Error buffering data: ${invalid}`]], playLoaded: [results({ 0: 0 })],
    commands: [results({ 0: 1, 1: 1, 2: 1, 3: 1, 5: 1, 7: 1 }), [`Got error stopping all: ${invalid}`, `Got error pausing all: ${invalid}`,
      `Got error resuming all: ${invalid}`, `Failed to set sound source buffer, source=5: ${invalid}`]],
  });
  assert.deepEqual(run.steps.quit.err, []);
  assert.deepEqual(run.steps.start.err.filter((l) => /^(Got null|Could not|Error init)/.test(l)),
    ['Got null device', 'Could not set a context!', 'Error initializing OpenAL: AL error 0x1']);
});

// The EFX entry points in the order start-up looks them up.
const SUFFIXES = ['i', 'iv', 'f', 'fv'];
const EFX_ORDER = ['Effect', 'AuxiliaryEffectSlot'].flatMap((k) => [`alGen${k}s`, `alDelete${k}s`, `alIs${k}`,
  ...SUFFIXES.map((s) => `al${k}${s}`), ...SUFFIXES.map((s) => `alGet${k}${s}`)]);
// How the reverb comes out at start-up: [case, wave-writer settings, EFX entry points hidden, a line
// on standard output, the lines on standard error, whether the tone rings on after it ends].
const REVERBS = [
  ['the hall', {}, null, null, [], true],
  ['no EAX reverb on the device: the effect stays attached without its type', { excludefx: 'eaxreverb' }, null,
    'Error adding EFX reverb: Invalid Value', [], false],
  ['some EFX entry points missing: only their steps skipped', {}, 'alDeleteEffects,alEffectf,alAuxiliaryEffectSloti', null,
    ['alDeleteEffects', 'alEffectf', 'alAuxiliaryEffectSloti'].map((n) => `Error getting proc address: ${n}`), false],
  ['no EFX entry point: each logged in lookup order, no reverb made', {}, '*', null,
    [...EFX_ORDER.map((n) => `Error getting proc address: ${n}`), 'Error making reverb: No Error'], false],
];
for (const [name, general, hide, out, err, wet] of REVERBS) test(`reverb, ${name}: a tone at its pitch, then its tail or exact silence`, async () => {
  const wave = path.join(h.tempDir(), 'out.wav');
  const env = { ALSOFT_CONF: h.waveConf(path.dirname(wave), wave, general), ...(hide && { LD_PRELOAD: h.buildShim(), TM_TEST_HIDE_PROCS: hide }) };
  const run = await runPlan([tone('load', 3, { freq: 440, seconds: 0.2 }), cmd('play', play(3)), { name: 'wait', op: 'sleep', ms: 2000 }],
    { audio: null, env });
  check(run, { load: [0], play: [played] });
  assert.ok(run.steps.start.out.includes('OpenAL initialized OK') && (!out || run.steps.start.out.includes(out)), run.steps.start.out.join('\n'));
  assert.deepEqual(run.steps.start.err.filter((l) => !/^Finalized/.test(l)), err);
  const wav = h.readWav(wave), on = h.onset(wav);
  assert.ok(on >= 0 && Math.abs(h.pitch(wav, on + 0.02, on + 0.15) - 440) < 5 && h.rms(wav, on + 0.02, on + 0.18) > 0.1);
  // 0.5 to 1.5 s after the tone ended the hall still rings; a dry device is silent.
  if (wet) assert.ok(h.rms(wav, on + 0.7, on + 1.7) > 1e-3, `tail ${h.rms(wav, on + 0.7, on + 1.7)}`);
  else assert.equal(h.peak(wav, on + 0.3, on + 1.7), 0);
});

test('the pool: 64 distinct sources, the 65th play gives 0 and disturbs none, finished or stopped sources return at the next tick', async () => {
  const plays = (n) => Array.from({ length: n }, () => play(1)).flat();
  const { value, result } = await runPlan([tone('load', 1, { seconds: 0.4 }), cmd('all', plays(65)), cmd('stillFull', play(1)),
    { name: 'wait', op: 'sleep', ms: 1500 }, cmd('again', plays(64)), cmd('stopAll', [5]), cmd('afterStop', play(1))]);
  assertOk(result);
  const [first, again] = [value.all, value.again].map((v) => v.filter((_, i) => i % 7 === 0));
  assert.ok(first.slice(0, 64).every(source) && new Set(first.slice(0, 64)).size === 64 && first[64] === 0);
  assert.equal(value.stillFull[0], 0);
  // The same 64 come back, taken from the top of the free stack: the last returned, the last started.
  assert.deepEqual([...again].sort(), first.slice(0, 64).sort());
  assert.deepEqual([again[0], value.stopAll[0], value.afterStop[0]], [first[63], 0, again[63]]);
});

test('pause, stop, gain, pitch and the all-source commands: results and lines, stopped sources reclaimed, unknown ones refused', async () => {
  const start = [tone('load', 2, { seconds: 3 }), cmd('play', play(2))];
  const s = (await runPlan(start)).value.play[0];
  const run = await runPlan([...start,
    cmd('pause', [2, s, 2, s, 6, 7, 4, s, 0.5]),
    // Stop, stop again (nothing to do), pause the stopped source (nothing to do).
    cmd('stop', [3, s, 3, s, 2, s]), cmd('reclaimed', play(2)), cmd('zero', [2, 0, 3, 0]), cmd('pauseUnknown', [2, 99999]),
    // The gain command reports nothing, and its error does not surface in the next play.
    cmd('gainUnknown', [4, 99999, 0.5]), cmd('playAfterGain', play(2)), cmd('badPitch', play(2, 1, -1)),
    // A sound id never loaded plays nothing, quietly; its source has stopped by the next tick.
    cmd('never', play(200)), cmd('neverAgain', play(200)), cmd('allEmpty', [5, 6, 7]),
  ]);
  check(run, {
    play: [results({ 0: s })], pause: [results({ 0: 0, 2: 0, 4: 0, 5: 0, 6: 0 })], stop: [results({ 0: 0, 2: 0, 4: 0 })],
    reclaimed: [results({ 0: s })], zero: [results({ 0: 1, 2: 1 })],
    pauseUnknown: [results({ 0: 1 }), ['Failed to set sound source buffer, source=99999: Invalid Name']], gainUnknown: [results({ 0: 0 })],
    playAfterGain: [played], badPitch: [played, ['Failed to set gain: Invalid Value']], never: [played],
    neverAgain: [results({ 0: run.value.never[0] })], allEmpty: [results({ 0: 0, 1: 0, 2: 0 })],
  });
});

test('initALBuffer: bad sizes, formats and rates give the OpenAL code and leave no buffer under the id; 8-bit mono plays', async () => {
  const run = await runPlan([
    tone('long', 5, { seconds: 3 }), tone('odd', 5, { bytes: 4411 }),
    // Neither the failed buffer nor the 3 s sound it replaced is left: the play is a quiet no-op whose
    // source has stopped by the next tick, which takes it again.
    cmd('playOdd', play(5)), cmd('playOddAgain', play(5)), tone('format', 6, { bytes: 64 }, 12345), tone('rate', 7, { bytes: 64 }, MONO8, 0),
    // A rate past OpenAL's signed size is refused, not wrapped to a negative or a small one.
    tone('hugeRate', 7, { bytes: 64 }, MONO8, 4294967295), tone('ok8', 255, { bytes: 2205 }, MONO8, 22050), cmd('playOk', play(255)),
  ]);
  const refused = (code, text) => [code, [`OpenAL Error buffering data: ${text}`]];
  check(run, { long: [0], odd: refused(0xa003, 'Invalid Value'), playOdd: [played], playOddAgain: [results({ 0: run.value.playOdd[0] })],
    format: refused(0xa002, 'Invalid Enum'), rate: refused(0xa003, 'Invalid Value'), hugeRate: refused(0xa003, 'Invalid Value'), ok8: [0], playOk: [played] });
});

test('loadAudio: results and lines for unsupported shapes, missing, non-Ogg, damaged, lying, empty and odd paths', async () => {
  const bitstream = (code, file) => [`File does not appear to be an Ogg bitstream: ${code} - ${file}`];
  // [step, result, lines on standard error]
  const CASES = [
    ...[[3, 1], [2, 0], [2, 3], [0, 1]].map(([w, c], i) => [load(`shape${i}`, 0, f.mono, w, c), -1]),
    [load('unsupportedMissing', 0, f.missing, 4, 2), -1],
    [load('missing', 0, f.missing), 1, bitstream(-1, f.missing)],
    [load('notOgg', 0, f.notOgg), 1, bitstream(-132, f.notOgg)],
    // A hole in the stream is logged and decoding goes on past it.
    [load('damaged', 1, f.damaged), 0, [' !Error encountered in stream: -3 (section 0)']],
    [load('truncated', 2, f.truncated), 0],
    // A file claiming 2^40 frames would need terabytes: refused, nothing allocated.
    [load('lying', 3, f.lying), 1, [` !Sound longer than 1073741824 bytes of PCM: ${f.lying}`]],
    [load('unicode', 4, f.unicode), 0],
    // A path with a NUL inside is not opened as the file its prefix names.
    [load('nul', 5, `${f.mono}\u0000.txt`), 1, bitstream(-1, f.mono)],
    [load('monoAsStereo', 255, f.mono, 1, 2), 0, ['  Cannot handle copying channels for mono->stereo yet']],
    // An empty stream is logged and still buffered, with no bytes.
    [load('empty', 6, f.empty), 0, [" !Didn't write anything? -1"]],
    [load('stereo8', 7, f.both, 1, 2), 0],
  ];
  check(await runPlan(CASES.map(([step]) => step)), Object.fromEntries(CASES.map(([step, v, err]) => [step.name, [v, err]])));
});

// Sounds of the capture: [name, file, wordSize, channels, pitch heard left and right or 'silent'].
// Of three channels, in the file's order, the first one or the first two.
const SOUNDS = [
  ['mono16', 'mono', 2, 1, [440, 440]], ['mono8', 'mono', 1, 1, [440, 440]], ['left16', 'left', 2, 1, [440, 440]],
  ['right16', 'right', 2, 1, 'silent'], ['left8', 'left', 1, 1, [440, 440]], ['right8', 'right', 1, 1, 'silent'],
  ['both16', 'both', 2, 2, [440, 660]], ['both8', 'both', 1, 2, [440, 660]], ['monoAsStereo16', 'mono', 2, 2, [440, 440]],
  ['monoAsStereo8', 'mono', 1, 2, [440, 440]], ['rate22', 'rate22', 2, 1, [440, 440]], ['rate48', 'rate48', 2, 1, [440, 440]],
  ['rate11', 'rate11', 2, 2, [440, 660]], ['threeAsMono', 'three', 2, 1, [440, 440]], ['threeAsStereo', 'three', 2, 2, [440, 660]],
  ['damaged', 'damaged', 2, 1, [440, 440]],
];
// Sounds of known length are decoded straight into OpenAL's storage where the library can map it;
// with that hidden they are decoded into a block and copied in.
for (const [variant, hide] of [['mapped', null], ['copied', 'alBufferStorageSOFT']]) test(`loaded sounds play (${variant}): mono keeps left, 8 and 16 bits, stereo sides, rates, whole length`, async () => {
  const wave = path.join(dir, `loading-${variant}.wav`);
  const env = { ALSOFT_CONF: h.waveConf(dir, wave, { excludefx: 'eaxreverb' }), ...(hide && { LD_PRELOAD: h.buildShim(), TM_TEST_HIDE_PROCS: hide }) };
  const run = await runPlan([
    ...SOUNDS.map(([name, key, wordSize, channels], id) => load(`load-${name}`, id, f[key], wordSize, channels)),
    ...SOUNDS.flatMap(([name], id) => [cmd(name, play(id)), { name: `after-${name}`, op: 'sleep', ms: 450 }]),
  ], { audio: null, env });
  const lines = { monoAsStereo16: ['  Cannot handle copying channels for mono->stereo yet'], damaged: [' !Error encountered in stream: -3 (section 0)'] };
  lines.monoAsStereo8 = lines.monoAsStereo16;
  check(run, Object.fromEntries(SOUNDS.flatMap(([name]) => [[`load-${name}`, [0, lines[name]]], [name, [played]]])));
  const wav = h.readWav(wave);
  const sides = [0, 1].map((c) => ({ ...wav, samples: [wav.samples[c]] }));
  // The first sound is audible: it ties the host's clock to the capture's.
  const offset = h.onset(wav) - run.t.mono16;
  for (const [name, , , , expected] of SOUNDS) {
    const at = run.t[name] + offset, level = h.rms(wav, at + 0.05, at + 0.25);
    if (expected === 'silent') { assert.ok(level < 1e-3, `${name}: level ${level}`); continue; }
    const heard = sides.map((side) => h.pitch(side, at + 0.05, at + 0.25));
    assert.ok(level > 0.05 && expected.every((hz, i) => Math.abs(heard[i] - hz) < hz * 0.03), `${name}: level ${level}, heard ${heard}`);
    // Each lasts its 0.3 s: the mono-as-stereo ones are not squeezed into half the time.
    assert.ok(h.rms(wav, at + 0.2, at + 0.27) > 0.05, `${name}: ended early`);
  }
});

test('a sound that cannot be held: result 1 with its line, and the sound already under the id still plays', async () => {
  const env = { LD_PRELOAD: h.buildShim(), TM_TEST_MALLOC_LIMIT: String(256 << 20) };
  // Under the sanitized build its allocator serves malloc, not the stand-in: it gets the same limit,
  // and its warning for the refused request is not the addon's line.
  if (sanitized) env.ASAN_OPTIONS = `${process.env.ASAN_OPTIONS || ''}:max_allocation_size_mb=256`;
  const run = await runPlan([load('long', 9, f.long), load('big', 9, f.big), load('lying', 9, f.lying),
    cmd('play', play(9)), cmd('playAgain', play(9))], { env });
  run.steps.big.err = run.steps.big.err.filter((l) => !(sanitized && /^==\d+==WARNING: AddressSanitizer failed to allocate /.test(l)));
  // The 8 s sound is still under id 9: the first source is still playing it at the next tick.
  check(run, {
    long: [0], big: [1, [` !Out of memory for the PCM of ${f.big}`]], lying: [1, [` !Sound longer than 1073741824 bytes of PCM: ${f.lying}`]],
    play: [played], playAgain: [(v) => played(v) && v[0] !== run.value.play[0]],
  });
});

test('reloading a sound id releases the old buffer: resident memory stays flat, a source playing it is stopped; a false length costs nothing', async () => {
  const second = h.makeOgg(dir, 'second', { channels: [440, 660], seconds: 1 });
  // 4 MiB of PCM: a sound whose freed storage the allocator would otherwise keep for the next one.
  const init = (name, repeat) => ({ ...tone(name, 11, { bytes: 4 << 20 }), repeat });
  const run = await runPlan([
    load('load', 10, second, 2, 2), init('init'), { name: 'rssOne', op: 'rss' },
    { ...load('reloads', 10, second, 2, 2), repeat: 299 }, init('reinits', 299), { name: 'rssMany', op: 'rss' },
    // 8 s of sound in a file claiming 2^28 frames: what the claim would take is never touched.
    load('loadBig', 13, f.big), { name: 'rssBig', op: 'rss' },
    load('loadLong', 12, f.long), cmd('play', play(12)), load('reloadPlaying', 12, f.long), cmd('playAgain', play(12)),
  ]);
  // The reload stopped the source playing the 8 s sound, so the next tick gave that source back.
  check(run, { ...Object.fromEntries(['load', 'init', 'reloads', 'reinits', 'loadBig', 'loadLong', 'reloadPlaying'].map((n) => [n, [0]])),
    play: [played], playAgain: [results({ 0: run.value.play[0] })] });
  // 598 reloads of 176 KiB and 4 MiB sounds would add about 1.2 GiB if kept. (Under the sanitized
  // build freed memory waits in the sanitizer's quarantine: no figure holds there.)
  if (sanitized) return;
  const { rssOne, rssMany, rssBig } = run.value;
  assert.ok(rssMany - rssOne < 2 << 20, `resident set grew by ${rssMany - rssOne} bytes over 598 reloads`);
  assert.ok(rssBig - rssMany < 32 << 20, `a 512 MiB claim took ${rssBig - rssMany} bytes`);
});

// Lines a damaged file may print when loaded: the decoder's complaints and the refusals.
const DAMAGE_LINES = [
  /^File does not appear to be an Ogg bitstream: -\d+ - .*\.ogg$/, /^ !Error encountered in stream: -\d+ \(section -?\d+\)$/,
  /^ !Vorbis stream cannot be decoded \([a-z0-9 ,]+\): .*\.ogg$/, /^ !Didn't write anything\? -?\d+$/,
  /^ !Sound longer than 1073741824 bytes of PCM: .*\.ogg$/, /^ {2}Cannot handle copying channels for mono->stereo yet$/,
];

test('damaged files: each loads or is refused with its line, in one host, the code trees that used to end the process among them', async () => {
  const sources = [f.both, f.rate22, f.three, f.rate11, f.mono].map((file) => fs.readFileSync(file));
  const corpus = h.damagedCorpus(sources, 300, 11);
  const shapes = [[2, 2], [2, 1], [1, 2], [1, 1]];
  const run = await runPlan(corpus.map(({ kind, bytes }, i) => {
    const file = path.join(dir, `mutant-${i}-${kind}.ogg`);
    fs.writeFileSync(file, bytes);
    return load(`mutant-${i}`, 20 + (i % 200), file, ...shapes[i % 4]);
  }), { timeout: 120000 });
  assertOk(run.result);
  const seen = [0, 0], reasons = new Set();
  corpus.forEach((_, i) => {
    const name = `mutant-${i}`, { out, err } = run.steps[name] ?? none;
    assert.ok(run.value[name] === 0 || run.value[name] === 1, `${name}: result ${run.value[name]}`);
    seen[run.value[name]]++;
    assert.deepEqual(out, [], name);
    for (const line of err) assert.ok(DAMAGE_LINES.some((re) => re.test(line)), `${name}: unexpected line ${JSON.stringify(line)}`);
    for (const line of err) reasons.add(/cannot be decoded \((.*)\)/.exec(line)?.[1]);
  });
  assert.ok(seen[0] > 30 && seen[1] > 30, JSON.stringify(seen));
  assert.ok([...reasons].some((r) => r?.includes('code tree')), [...reasons].join('; '));
});

test('a FIFO, a directory and a chain that changes format are refused at once by loadAudio and playMusic; huge loop points play', async () => {
  // A FIFO nobody writes to: opening it for reading the usual way would wait for a writer forever.
  const fifo = path.join(dir, 'nobody.fifo');
  execFileSync('mkfifo', [fifo]);
  // Mono at 22.05 kHz, then stereo at 44.1 kHz; and two mono links at 44.1 kHz.
  const chain = (name, a, b) => { fs.writeFileSync(path.join(dir, name), Buffer.concat([fs.readFileSync(a), h.withSerial(fs.readFileSync(b), 77)])); return path.join(dir, name); };
  const changing = chain('mono22-stereo44.ogg', f.rate22, f.both), keeping = chain('mono44-mono44.ogg', f.mono, f.mono);
  const CHAIN = 'chained streams change channels or rate';
  const music = (name, file, loopStart = -1, loopEnd = 0) => ({ name, op: 'call', fn: 'playMusic', args: [file, 1, loopStart, loopEnd] });
  // [step, result ('source': a music source), the line on standard error]
  const CASES = [
    [load('loadFifo', 30, fifo), 1, `File does not appear to be an Ogg bitstream: -1 - ${fifo}`],
    [music('musicFifo', fifo), -1, `Music file cannot be read: -1 - ${fifo}`],
    [load('loadDirectory', 30, dir), 1, `File does not appear to be an Ogg bitstream: -1 - ${dir}`],
    [music('musicDirectory', dir), -1, `Music file cannot be read: -1 - ${dir}`],
    [load('loadChanging', 30, changing), 1, ` !Vorbis stream cannot be decoded (${CHAIN}): ${changing}`],
    [music('musicChanging', changing), -130, `Music file cannot be played (${CHAIN}): ${changing}`],
    [load('loadKeeping', 31, keeping), 0], [music('musicKeeping', keeping), 'source'],
    // Finite loop points too large for a frame count stand past the file's end.
    [music('loopStartHuge', f.mono, 1e308, 0), 'source'], [music('loopEndHuge', f.mono, 0, 1e308), 'source'],
    [music('loopBothHuge', f.mono, 1e308, 1.5e308), 'source'],
  ];
  // A playing stream is refilled through its end, where the loop goes back or the music ends.
  const ticks = (step, v) => (v === 'source' ? [{ name: `${step.name}-ticks`, op: 'ticks', ms: 500 }] : []);
  // Before these refusals a FIFO left the host waiting: the time limit ends it instead.
  check(await runPlan(CASES.flatMap(([step, v]) => [step, ...ticks(step, v)]), { timeout: 20000 }), Object.fromEntries(
    CASES.flatMap(([step, v, line]) => [[step.name, [v === 'source' ? source : v, line ? [line] : []]], ...ticks(step, v).map((t) => [t.name, [0]])])));
});
