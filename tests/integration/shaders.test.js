'use strict';
// The shader registry from a real host: compile results, checkShaders and its lines, the checks on
// a repeated name, a full arena and a full table.
const test = require('node:test');
const assert = require('node:assert/strict');
const { startXvfb, runHost, assertAborted, assertOk } = require('./harness');

let xs;
test.before(async () => { xs = await startXvfb(); });
test.after(() => xs.stop());
const run = (mode, env) => runHost('shaders-run.js', [mode], { display: xs.display, audio: 'null', env });
const compileLines = (stderr) => stderr.split(/(?=Unable to compile shader )/).filter((l) => l.startsWith('Unable to compile shader '));

test('checkShaders with no shaders returns 0, also without a GL context', async () => {
  assert.deepEqual(assertOk(await run('none')).results, [[0, 0]]);
  assert.deepEqual(assertOk(await run('none', { SDL_VIDEODRIVER: 'no-such-driver' })).results, [[0, 0]]);
});

test('good shaders: the same name as vertex and fragment, a non-ASCII name; checkShaders 0 twice', async () => {
  const r = assertOk(await run('good'));
  assert.deepEqual(r.results, [[0, 0, 0, 0, 0]]);
  assert.doesNotMatch(r.stderr, /Unable to compile|GL ERROR/);
});

test('a shader that fails to compile: its line and 1, and a second call still reports it', async () => {
  const r = assertOk(await run('broken'));
  assert.deepEqual(r.results, [0, 1, 1, 1]);
  const lines = compileLines(r.stderr);
  assert.equal(lines.length, 3, r.stderr);
  // The driver's log follows the name and stage; the format adds no newline of its own.
  assert.match(lines[0], /^Unable to compile shader bad \(fragment\): \S.*undeclared/s);
  // The deleted object is not queried again: later calls report the entry from the registry.
  assert.equal(lines[1], 'Unable to compile shader bad (fragment): shader object deleted after its failed compile\n');
  assert.equal(lines[2], lines[1]);
  // The driver reports the compile errors through debug output while compiling, in the callback's
  // format: kind, type and severity in hexadecimal, then the message indented on its own line.
  assert.match(r.stderr, /^GL ERROR: type:824c severity:9146\n  0:3\(\d+\): error: .*undeclared/m);
  // Checking raises
  // no GL error of its own (no query on a deleted object).
  assert.doesNotMatch(r.stderr.slice(r.stderr.indexOf('Unable to compile shader')), /GL ERROR/);
});

test('two broken shaders give two lines, in registration order, with their stages', async () => {
  const r = assertOk(await run('two-broken'));
  assert.deepEqual(r.results, [1]);
  const lines = compileLines(r.stderr);
  assert.equal(lines.length, 2);
  assert.match(lines[0], /^Unable to compile shader one \(vertex\): /);
  assert.match(lines[1], /^Unable to compile shader two \(fragment\): /);
});

test('a name registered twice in the same stage is a hash collision', async () => {
  assert.equal(assertAborted(await run('collision'), 'findShader(hash, type) == NULL && "Hash collision"'), 'gfx');
});

test('the arena: an index ending below 65536 fits, a terminator on the last byte trips the check', async () => {
  assert.deepEqual(assertOk(await run('arena-fits')).results, [0]);
  const text = 'shaderStringIndex < shaderStringSize && "Need more memory allocated for shaders, exceeded shaderStringSize"';
  assert.equal(assertAborted(await run('arena-full'), text), 'gfx');
  assert.equal(assertAborted(await run('arena-cut'), text), 'gfx');
});

test('the 33rd shader exceeds the table', async () => {
  const r = await run('count');
  assert.equal(r.results.length, 32);
  assertAborted(r, 'shadersLength < shaderCount && "Exceeded max shader count"');
});

test('argument checks: count, and the stage flag must be a boolean', async () => {
  assertAborted(await run('args'), 'argc == lengthof(args)');
  assertAborted(await run('stage-type'), 'status == napi_ok');
});

test('without a GL context compileShader stops with a check instead of calling GL', async () => {
  assertAborted(await run('good', { SDL_VIDEODRIVER: 'no-such-driver' }), 'glCreateShader != NULL && "OpenGL not initialized"');
});
