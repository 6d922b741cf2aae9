'use strict';
// The export table, the lifecycle calls and the command stream, from a real host process.
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { startXvfb, runHost, nativeOut, assertAborted, assertOk } = require('./harness');

let x;
before(async () => { x = await startXvfb(); });
after(() => x.stop());

const host = (script, args) => runHost(script, args, { display: x.display });

// The standard output between two [marks] the host printed.
function between(out, from, to) {
  const start = out.indexOf(`[${from}]\n`) + from.length + 3;
  return out.slice(start, out.indexOf(`[${to}]\n`, start));
}

test('the export table: 22 functions then 4 constants, all with default attributes', async () => {
  const r = assertOk(await host('bridge-lifecycle.js', ['exports']));
  const { names, attributes, constants, samePackage } = r.results[0];
  assert.deepEqual(names, ['initBuffer', 'getBuffer', 'nextBuffer', 'nextPool', 'loadAudio', 'initALBuffer',
    'compileShader', 'checkShaders', 'setBuffers', 'startTicking', 'ready', 'poll', 'pollUSB', 'tick', 'render',
    'quit', 'copy', 'paste', 'measureText', 'setShadowQuality', 'setSsaoQuality', 'setAntialias',
    'AL_FORMAT_MONO8', 'AL_FORMAT_MONO16', 'AL_FORMAT_STEREO8', 'AL_FORMAT_STEREO16']);
  attributes.forEach(([name, type, writable, enumerable, configurable, getter], i) => {
    assert.equal(type, i < 22 ? 'function' : 'number', name);
    assert.deepEqual([writable, enumerable, configurable, getter], [false, false, false, false], name);
  });
  assert.deepEqual(constants, [4352, 4353, 4354, 4355]);
  assert.ok(samePackage, "require('.') gives the addon's own exports");
  assert.match(r.stdout, /^Initializing Native\n/);
});

// Index of each line (a prefix) in `lines`, in order; fails when one is missing or out of order.
function assertInOrder(lines, prefixes) {
  let from = 0;
  for (const prefix of prefixes) {
    const at = lines.findIndex((l, i) => i >= from && l.startsWith(prefix));
    assert.ok(at >= 0, `"${prefix}" missing or out of order in:\n${lines.join('\n')}`);
    from = at + 1;
  }
}

test('start-up runs every subsystem in order, and quit closes them in order', async () => {
  const r = assertOk(await host('bridge-lifecycle.js', ['startup']));
  assertInOrder(nativeOut(r).split('\n'), ['Initializing Native', 'OpenAL initialized OK', 'FreeType initialized OK',
    'SDL2 initialized OK', 'MakeCurrent status: OK', 'GLEW OK; version: ', 'OpenGL 4.0: OK', 'Textures per shader: ',
    'Quitting Native', 'Closing OpenAL', 'Closing SDL', 'Closing USB']);
  assert.equal(r.stderr, '');
});

test('a missing subsystem logs its line and start-up goes on', async () => {
  const r = assertOk(await runHost('bridge-lifecycle.js', ['startup'], { display: x.display, audio: 'none' }));
  assert.match(r.stderr, /^Error initializing OpenAL: .+\n/m);
  assertInOrder(nativeOut(r).split('\n'), ['Initializing Native', 'FreeType initialized OK', 'SDL2 initialized OK',
    'OpenGL 4.0: OK', 'Quitting Native', 'Closing SDL', 'Closing USB']);
  assert.doesNotMatch(r.stdout, /OpenAL initialized OK/);
});

test('startTicking calls tickFn once with the global receiver; ready ignores arguments', async () => {
  const r = assertOk(await host('bridge-lifecycle.js', ['ticking']));
  assert.deepEqual(r.results, [
    { inside: true, args: 0 }, { result: 0, calls: 1, receiver: true }, { ready: 0 }, { quit: 0 }]);
  const out = nativeOut(r);
  assert.ok(out.indexOf('Native ready\n') < out.indexOf('Quitting Native\n'));
});

test('every export after quit is harmless: no GL, no closed library reached, documented failures only', async () => {
  const r = assertOk(await host('bridge-lifecycle.js', ['afterQuit']));
  const { before } = r.results[0];
  assert.deepEqual({ ...before, measured: before.measured > 0 }, {
    compiled: 0, load: 0, tone: 0, measured: true, render: 0,
    commands: [...Array(16).fill(0), before.commands[16], ...Array(7).fill(0)],
  });
  assert.ok(before.commands[16] > 0, 'the sound played before quit');
  const { after: { measureNewGlyphs, ...after } } = r.results.at(-1);
  // Glyphs cached before quit are still measured; new ones have no face to come from.
  assert.ok(Number.isFinite(measureNewGlyphs));
  const AL_INVALID_OPERATION = 0xa004;
  assert.deepEqual(after, {
    render: 0,
    // No source is free and stop all has no context: 1; fullscreen has no window: negative.
    tick: [...Array(23).fill(0), 1, -1],
    poll: 0, pollUSB: 0,
    measureText: before.measured,
    loadAudio: AL_INVALID_OPERATION, initALBuffer: AL_INVALID_OPERATION, copy: -1, paste: '',
    setBuffers: 0, compileShader: 0, checkShaders: 0, ready: 0, renderAgain: 0, initBuffer: 1024, nextBuffer: 16,
    quit: 0,
  });
  // After quit standard error holds only stop all's and the two loads' lines, as without an audio
  // device (the first line is the sprite texture's, made by ready).
  assert.deepEqual(r.stderr.split('\n'), ['Warning: 0.000000x0.000000 texture initialized? PB 0',
    'Got error stopping all: AL error 0xa004', ' !OpenAL Error buffering data: AL error 0xa004',
    'OpenAL Error buffering data: AL error 0xa004', '']);
  const out = nativeOut(r);
  assert.equal(out.split('Quitting Native\n').length, 3, 'quit twice, each with its lines');
  assert.doesNotMatch(out.slice(out.indexOf('Quitting Native')), /Unable to compile|initGFX/);
});

test('startTicking checks its argument and a failing tickFn ends the process', async () => {
  assert.equal(assertAborted(await host('bridge-abort.js', ['startTickingNumber']), 't == napi_function'), 'native');
  assertAborted(await host('bridge-abort.js', ['startTickingNoArg']), 'argc == lengthof(args)');
  const r = await host('bridge-abort.js', ['tickFnThrows']);
  assertAborted(r, 'status == napi_ok');
  // napi_pending_exception is status 10.
  assert.match(r.stderr, /^Got error calling tickFn: 10\nAssertion failed/m);
});

test('commands run in order with results at their opcode index', async () => {
  const r = assertOk(await host('bridge-commands.js', ['walk']));
  // [0.5, -0.5, 11, 99, -7] skip one word each; 9.9 logs; 12.5 sets the colour; 13 takes five words;
  // 4 sets a gain; 5, 6, 7 act on no playing source.
  const results = r.results[0];
  assert.deepEqual(results.map((v, i) => [i, v]).filter(([, v]) => v !== -1),
    [[0, 0], [1, 0], [2, 0], [3, 0], [4, 0], [5, 0], [8, 0], [13, 0], [18, 0], [21, 0], [22, 0], [23, 0]]);
  const out = nativeOut(r);
  assert.equal(between(out, 'walk', 'again'), 'héllo|');
  assert.equal(between(out, 'again', 'count 0'), 'héllo|');
  assert.equal(between(out, 'count 0', 'end'), '');
});

test('command 9 prints only bytes inside STRING_BUFFER', async () => {
  const r = assertOk(await host('bridge-commands.js', ['log']));
  const out = nativeOut(r);
  assert.equal(between(out, '4294967298,3', '10,100'), 'cde');
  assert.equal(between(out, '10,100', '3,-1'), 'klmnop');
  assert.equal(between(out, '3,-1', '16,1'), '');
  assert.equal(between(out, '16,1', '2147483648,4'), '');
  assert.equal(between(out, '2147483648,4', '0,NaN'), '');
  assert.equal(between(out, '0,NaN', '1.9,2.9'), '');
  assert.equal(between(out, '1.9,2.9', 'end'), 'bc');
  for (const res of r.results) assert.equal(res[0], 0);
});

test('the stream stops at the last command that fits its blocks', async () => {
  const r = assertOk(await host('bridge-commands.js', ['bounds']));
  const out = nativeOut(r);
  assert.equal(between(out, 'command block', 'result block'), 'first|');
  assert.equal(between(out, 'result block', 'end'), '');
  assert.deepEqual(r.results[0], [0, 0]);
});

test('a fill length outside HEADER_BUFFER is a host set-up error', async () => {
  assertAborted(await host('bridge-abort.js', ['headerTooShort']),
    'headerHolds(id) && "lenBuffer entry outside HEADER_BUFFER"');
});
