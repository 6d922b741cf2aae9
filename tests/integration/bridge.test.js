'use strict';
// The addon's lifecycle from a real host: the start-up and shutdown lines of every subsystem, the export table,
// startTicking, every export after quit, the command stream, and the shared buffers.
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { startXvfb, runFn, nativeOut, assertOk } = require('./harness');

let x;
before(async () => { x = await startXvfb(); });
after(() => x.stop());
const run = (fn, arg, options) => runFn(fn, arg, { display: x.display, audio: 'null', ...options }).then(assertOk);

const AUDIO = [/^EFX version: \d+\.\d+$/, /^Max auxiliary sends: \d+$/, /^Max mono sources: \d+$/, /^Max stereo sources: \d+$/,
  /^Opened "(Wave File Writer|No Output)"$/, 'Using EAX Reverb', 'OpenAL initialized OK'];
const WINDOW = ['SDL2 initialized OK', 'Vsync unchanged (on start)', 'USER32.dll not found?', 'SHCORE.dll not found, skipping DPI awareness',
  'System not DPI aware, or prior to Win 8.1', 'MakeCurrent status: OK', /^Window display mode: \d+x\d+ \d+hz$/, 'Display display mode: 1920x1080 0hz',
  /^GLEW OK; version: \d+\.\d+\.\d+$/, 'OpenGL 4.0: OK', /^Textures per shader: \d+; total: \d+$/];
// setBuffers names the first ten blocks of the table; then ready's lines and quit's.
const READY = ['bufferIDs:', '  9 10 11 12 13 14 15 16 17 18 ', 'init size: 1400.000000, 800.000000'];
const QUIT = ['Native ready', 'Quitting Native', 'Closing OpenAL', 'Closing SDL', 'Closing USB'];
const SPRITE = 'Warning: 0.000000x0.000000 texture initialized? PB 0';
// [what fails, host options, whether GL starts, standard output, standard error]: every line from start-up to shutdown
// in order (strings exact, patterns matched). Without a window or GL, ready and render draw nothing and do not crash.
const GOLDEN = [
  ['nothing', { audio: 'wave' }, true, ['Initializing Native', ...AUDIO, 'FreeType initialized OK', ...WINDOW, ...READY, 'Fonts initialized OK', ...QUIT],
    [SPRITE]],
  ['the audio device', { audio: 'none' }, true, ['Initializing Native', 'FreeType initialized OK', ...WINDOW, ...READY, 'Fonts initialized OK', ...QUIT],
    ['Got null device', /^Got error opening device: \S/, /^Got error creating context: \S/, 'Could not set a context!',
      'Error initializing OpenAL: AL error 0x1', SPRITE]],
  ['the video driver', { env: { SDL_VIDEODRIVER: 'no-such-driver' } }, false, ['Initializing Native', ...AUDIO, 'FreeType initialized OK',
    'Error initializing SDL', ...READY, ...QUIT], ['Error initializing SDL: no-such-driver not available', 'initGFX error: no GL context']],
];
const golden = (got, want) => {
  assert.equal(got.length, want.length, got.join('\n'));
  want.forEach((w, i) => (typeof w === 'string' ? assert.equal(got[i], w) : assert.match(got[i], w)));
};

for (const [fails, options, gl, out, err] of GOLDEN) {
  test(`start-up and shutdown lines in order when ${fails} fails`, async () => {
    const wave = path.join(os.tmpdir(), `tm-golden-${process.pid}.wav`);
    const r = await run((withGL) => {
      createFixed();
      const g = graphics(), blocks = g.createTableBlocks();
      if (withGL) g.registerAndCompile(blocks.tableId); else addon.setBuffers(blocks.tableId);
      const results = [addon.setShadowQuality(3), addon.ready(), addon.render(), Array.from(blocks.views[0])];
      addon.quit();
      return results;
    }, gl, { ...options, audio: options.audio === 'wave' ? { wave } : options.audio || 'null' }).finally(() => fs.rmSync(wave, { force: true }));
    // setShadowQuality returns nothing; the viewport pair holds the window's size.
    assert.deepEqual(r.results, [[null, 0, 0, [1400, 800]]]);
    const lines = nativeOut(r).split('\n').filter((l) => !/^Finalized buffer: |^$/.test(l));
    // ready draws noise tiles until one's average lies within 0.45..0.55 (the last); no digit is over 10.
    const tiles = lines.join('\n').match(/^noiseTile: (?:\d+ ){16}\n Average: \d+\.\d{6}$/gm);
    assert.deepEqual(tiles.map((t) => [Number(t.split(' Average: ')[1]), t.match(/\d+(?= )/g).every((d) => Number(d) <= 10)]).map(([a, ok]) => [a >= 0.45 && a <= 0.55, ok]),
      tiles.map((_, i) => [i === tiles.length - 1, true]), tiles.join('\n'));
    golden(lines.filter((l) => !/^noiseTile: | Average: /.test(l)), out);
    golden(r.stderr.split('\n').slice(0, -1), err);
  });
}

test('TESSIMARKE_LOG: info leaves out the freed-block lines, errors every information line; any other value keeps all', async () => {
  for (const [level, info, detail] of [['info', true, false], ['errors', false, false], ['all', true, true], ['loud', true, true]]) {
    // Without an audio device for an error line; the blocks are freed as the process ends, each with its line.
    const r = await run(() => { createFixed(); addon.quit(); }, null, { audio: 'none', env: { TESSIMARKE_LOG: level } });
    const out = nativeOut(r);
    assert.deepEqual([/^Initializing Native$/m.test(out), /^Finalized buffer: /m.test(out), /^Could not set a context!$/m.test(r.stderr)], [info, detail, true], level);
  }
});

test('the export table: 22 functions then 4 constants, all with default attributes; startTicking and ready', async () => {
  const r = await run(() => {
    const attributes = Object.entries(Object.getOwnPropertyDescriptors(addon))
      .map(([n, d]) => [n, typeof d.value, d.writable, d.enumerable, d.configurable, d.get !== undefined]);
    createFixed();
    const blocks = graphics().createTableBlocks(), seen = [];
    graphics().registerAndCompile(blocks.tableId);
    // startTicking calls tickFn once, with the global object as receiver; ready ignores arguments.
    return [attributes, require('../..') === addon, [addon.AL_FORMAT_MONO8, addon.AL_FORMAT_MONO16, addon.AL_FORMAT_STEREO8, addon.AL_FORMAT_STEREO16],
      [addon.startTicking(function tickFn(...args) { seen.push([this === globalThis, args.length]); }), seen, addon.ready(1, 2, 3), addon.quit(), blocks.tableId > 0]];
  });
  const [attributes, ...rest] = r.results[0];
  // The names themselves are the contract test's, against the typings.
  assert.deepEqual([attributes.map(([, ...kind]) => kind), ...rest, /^Initializing Native\n/.test(r.stdout)],
    [Array.from({ length: 26 }, (_, i) => [i < 22 ? 'function' : 'number', false, false, false, false]), true, [4352, 4353, 4354, 4355],
      [0, [[true, 0]], 0, 0, true], true], attributes.map((a) => a[0]).join(' '));
});

// [a call after quit, evaluated in the host; what it returns]. No source is free and stop all has no context: 1;
// fullscreen has no window: -1. Glyphs cached before quit are still measured; new ones have no face: any number.
const AFTER_QUIT = [['a.render()', 0], ['runCommands(fixed, [...words, 8])', [...Array(23).fill(0), 1, -1]], ['a.poll()', 0], ['a.pollUSB()', 0],
  ['a.measureText("After quit", 24, 2)', 'measured'], ['a.loadAudio(5, sound, 2, 1)', 0xa004], ['a.initALBuffer(6, Buffer.alloc(800), 0x1101, 8000)', 0xa004],
  ['a.copy("after quit")', -1], ['a.paste()', ''], ['a.setShadowQuality(2)', null], ['a.setSsaoQuality(3)', null], ['a.setAntialias(1)', null],
  ['a.setBuffers(blocks.tableId)', 0], ['a.compileShader("solid", true, source)', 0], ['a.checkShaders()', 0], ['a.ready()', 0], ['a.render()', 0],
  ['a.initBuffer(7, 1024).byteLength', 1024], ['a.nextBuffer(16)[0].byteLength', 16], ['a.quit()', 0],
  ['Number.isFinite(a.measureText("Zwölf Ärger", 24, 1))', true]];

test('every export after quit is harmless: no GL, no closed library reached, documented failures only', async () => {
  // Graphics, text, sound and the table all in use first; each call after quit is named on standard output before it
  // runs, so that a crash shows where it happened.
  const r = await run((calls) => {
    const a = addon, fixed = createFixed(), blocks = graphics().createTableBlocks(), sound = 'app/assets/sounds/blip.ogg';
    const compiled = graphics().registerAndCompile(blocks.tableId);
    a.ready();
    const [offset, length] = putString(fixed, 'After quit');
    // Text colour, a line of text, a log line, a play, stop all; after quit also fullscreen.
    const words = [12, 1, 1, 1, 1, 10, offset, length, 10, 40, 24, 2, 0, 9, offset, length, 1, 3, 1, 1, 0, 0, 0, 5];
    report([compiled, a.loadAudio(3, sound, 2, 1), a.initALBuffer(4, Buffer.alloc(800), 0x1101, 8000), runCommands(fixed, words),
      a.measureText('After quit', 24, 2), a.render()]);
    a.quit();
    const source = require('node:fs').readFileSync('tests/shaders/solid.vert', 'utf8');
    return calls.map((c) => { console.log(`calling ${c}`); return eval(c); });
  }, AFTER_QUIT.map((c) => c[0]));
  const [[compiled, load, tone, commands, measured, render], afterQuit] = r.results;
  // The play's result (index 16) is the source it took: the sound played before quit.
  assert.deepEqual([compiled, load, tone, render, measured > 0, commands[16] > 0, commands], [0, 0, 0, 0, true, true,
    [...Array(16).fill(0), commands[16], ...Array(7).fill(0)]]);
  assert.deepEqual(afterQuit.map((v, i) => [AFTER_QUIT[i][0], v]), AFTER_QUIT.map(([call, e]) => [call, e === 'measured' ? measured : e]));
  // Standard error: the sprite texture's line (from ready), then only stop all's and the two loads', as without a device.
  assert.deepEqual(r.stderr.split('\n'), [SPRITE, 'Got error stopping all: AL error 0xa004', ' !OpenAL Error buffering data: AL error 0xa004',
    'OpenAL Error buffering data: AL error 0xa004', '']);
  const out = nativeOut(r);
  assert.equal(out.split('Quitting Native\n').length, 3, 'quit twice, each with its lines');
  assert.doesNotMatch(out.slice(out.indexOf('Quitting Native')), /Unable to compile|initGFX/);
});

// The command stream's walk (skips, counts, bounds) is the unit tests'; here its effects.
test('commands reach their subsystems, results at their opcode index; command 9 prints only bytes of STRING_BUFFER', async () => {
  // Runs `words` (numbers, or strings such as "NaN") with `text` in STRING_BUFFER `ticks` times, each tick marked.
  const stream = ({ words, text, ticks }) => {
    const f = createFixed({ string: 16 });
    putString(f, text);
    f.results.fill(-1);
    for (let i = 0; i < ticks; ++i) { console.log('[tick]'); runCommands(f, words.map(Number)); }
    console.log('[tick]');
    return Array.from(f.results.subarray(0, words.length));
  };
  const printed = (r) => nativeOut(r).split('[tick]\n').slice(1, -1);
  // [0.5, -0.5, 11, 99, -7] skip one word each; 9.9 logs; 12.5 sets the colour; 13 takes five words; 4 sets a gain;
  // 5, 6, 7 act on no playing source. A second tick runs them again.
  const words = [0.5, -0.5, 11, 99, -7, 9.9, 0, 7, 12.5, 1, 0, 0, 1, 13, 1, 2, 3, 4, 4, 0, 0.5, 5, 6, 7];
  let r = await run(stream, { words, text: 'héllo|', ticks: 2 });
  assert.deepEqual(r.results[0].map((v, i) => [i, v]).filter(([, v]) => v !== -1),
    [[0, 0], [1, 0], [2, 0], [3, 0], [4, 0], [5, 0], [8, 0], [13, 0], [18, 0], [21, 0], [22, 0], [23, 0]]);
  assert.deepEqual(printed(r), ['héllo|', 'héllo|']);
  // [offset, length, text]: the offset keeps its low 32 bits; the length is clipped to the block; a negative or NaN
  // length, an offset at or past the end print nothing; fractions are truncated.
  const logs = [[2 ** 32 + 2, 3, 'cde'], [10, 100, 'klmnop'], [3, -1, ''], [16, 1, ''], [2 ** 31, 4, ''], [0, 'NaN', ''], [1.9, 2.9, 'bc']];
  r = await run(stream, { words: logs.flatMap(([o, l]) => [9, o, l]), text: 'abcdefghijklmnop', ticks: 1 });
  assert.deepEqual([printed(r), r.results[0].filter((_, i) => i % 3 === 0)], [[logs.map((c) => c[2]).join('')], logs.map(() => 0)]);
});

test('buffer ids, the pool, re-created and shared blocks', async () => {
  const r = await run(() => {
    const f = createFixed({ pool: 100 }), u8 = (b) => Array.from(new Uint8Array(b));
    // Ids are handed out from 8 in order across nextBuffer and nextPool; slices are views of the pool, back to back.
    const [, a] = addon.nextBuffer(16), [, b] = addon.nextPool(60), [, c] = addon.nextBuffer(0), [s39, d] = addon.nextPool(39), [s0, e] = addon.nextPool(0);
    new Uint8Array(s39)[0] = 77;
    const ids = [[a, b, c, d, e], f.header[1], s39.byteLength, s0.byteLength, Array.isArray(addon.nextBuffer(1)), u8(f.buffers.pool)[60]];
    // A re-created block carries its contents up to the smaller length.
    const first = addon.initBuffer(20, 4);
    new Uint8Array(first).set([1, 2, 3, 4]);
    const second = addon.initBuffer(20, 8);
    new Uint8Array(addon.initBuffer(21, 4)).set([9, 8, 7, 6]);
    const shrunk = addon.initBuffer(21, 2);
    new Uint8Array(second)[7] = 42;
    const recreated = [u8(second), u8(first), u8(shrunk), addon.initBuffer(255, 16).byteLength, addon.initBuffer(200, 0).byteLength];
    // getBuffer shares the block's bytes; an id with no block gives an empty one; ids are truncated.
    const owned = addon.initBuffer(22, 32), view = addon.getBuffer(22);
    new Uint8Array(owned)[3] = 99;
    new Uint32Array(view)[2] = 0xdeadbeef;
    return [ids, recreated, [u8(view)[3], new Uint32Array(owned)[2], view.byteLength, addon.getBuffer(addon.nextBuffer(24)[1]).byteLength,
      addon.getBuffer(250).byteLength, addon.getBuffer(22.7).byteLength]];
  });
  assert.deepEqual(r.results[0], [[[8, 9, 10, 11, 12], 99, 39, 0, true, 77], [[1, 2, 3, 4, 0, 0, 0, 42], [1, 2, 3, 4], [9, 8], 16, 0],
    [99, 0xdeadbeef, 32, 24, 0, 32]]);
});

test('collected owners free their block once, views nothing; pool slices outlive a re-created POOL_BUFFER', async () => {
  const r = await run(() => {
    // Collects garbage, then calls `then` once the finalizers have had their chance (Node may run them in a task after
    // the collection: a second pass after a moment).
    const collect = (then) => { gc(); setTimeout(() => { gc(); setImmediate(then); }, 50); };
    const f = globalThis.fixed = createFixed({ pool: 64 });  // kept: only the old pool may be collected
    const [sliceA, idA] = addon.nextPool(8), [sliceB, idB] = addon.nextPool(8), [table, tableId] = addon.nextBuffer(64);
    new Uint8Array(sliceA).set([1, 2, 3, 4, 5, 6, 7, 8]);
    f.buffers.pool = addon.initBuffer(1, 128);
    let view = addon.getBuffer(1);
    collect(() => {
      console.log('[collected]');
      view = null;  // a view made by getBuffer owns nothing: dropping it frees nothing
      collect(() => {
        console.log('[view collected]');
        const entries = new Uint16Array(table), pair = new Float32Array(sliceB), copied = Array.from(new Uint8Array(addon.initBuffer(idA, 8)));
        entries[0] = idB;
        addon.setBuffers(tableId);
        report([copied, Array.from(pair), Array.from(new Float32Array(addon.getBuffer(idB)))]);
        // With entry 0 naming no home, setBuffers reads the host's numbers in the pair and leaves them.
        entries[0] = 0;
        report([[[NaN, -NaN], [Infinity, -Infinity], [1e30, -1e30], [-0, 3e9], [640.9, -480.9]].map((p) => pair.set(p) ?? addon.setBuffers(tableId)),
          Array.from(pair)]);
        addon.quit();
      });
    });
  }, null, { nodeArgs: ['--expose-gc'] });
  // The old pool's owner, and nothing else, was freed before the slices were used; each address is freed at most once,
  // also when the process ends.
  const finalized = r.stdout.split('\n[').map((part) => part.match(/^Finalized buffer: 0x[0-9a-f]+$/gm) || []);
  assert.deepEqual(finalized.slice(0, 2).map((f) => f.length), [1, 0], r.stdout);
  assert.equal(new Set(finalized.flat()).size, finalized.flat().length);
  // The host's NaN, infinities and numbers past the integer range are read without undefined conversions (the
  // sanitized build checks that).
  assert.deepEqual(r.results, [[[1, 2, 3, 4, 5, 6, 7, 8], [1400, 800], [1400, 800]], [[0, 0, 0, 0, 0], [Math.fround(640.9), Math.fround(-480.9)]]]);
});
