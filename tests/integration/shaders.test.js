'use strict';
// The shader registry: compile results, checkShaders and its lines from a real host; programs asked
// for as the pipeline builders ask, and GL debug output, in the harness tests/harness/shader-programs
// (the real registry with a GL context of its own). Its failed checks are in the abort table.
const test = require('node:test');
const assert = require('node:assert/strict');
const path = require('node:path');
const { spawnSync } = require('node:child_process');
const { startXvfb, runFn, assertOk, buildDir, hostEnv, assertNoSanitizerReport } = require('./harness');

let xs;
test.before(async () => { xs = await startXvfb(); });
test.after(() => xs.stop());

const V = '#version 400 core\nlayout(location = 0) in vec3 p;\nvoid main() { gl_Position = vec4(p, 1.0); }\n';
const F = '#version 400 core\nout vec4 c;\nvoid main() { c = vec4(1.0); }\n';
const BROKEN = '#version 400 core\nout vec4 c;\nvoid main() { c = vec4(undeclared); }\n';
// Runs calls [name, isVertex, source] or 'check' in a host; returns their results, standard error and
// its compile lines.
async function compile(calls, env) {
  const r = assertOk(await runFn((cs) => {
    const results = cs.map((c) => (c === 'check' ? addon.checkShaders() : addon.compileShader(...c)));
    addon.quit();
    return results;
  }, calls, { display: xs.display, audio: 'null', env }));
  return [r.results[0], r.stderr, r.stderr.split(/(?=Unable to compile shader )/).filter((l) => l.startsWith('Unable to compile shader '))];
}

test('checkShaders: 0 with no shaders, also without a GL context, and with good ones (a name in both stages, a non-ASCII name)', async () => {
  assert.deepEqual((await compile(['check', 'check'], { SDL_VIDEODRIVER: 'no-such-driver' }))[0], [0, 0]);
  const [results, stderr] = await compile([['solid', true, V], ['solid', false, F], ['été', false, F], 'check', 'check']);
  assert.deepEqual(results, [0, 0, 0, 0, 0]);
  assert.doesNotMatch(stderr, /Unable to compile|GL ERROR/);
});

test('a shader that fails to compile: its line and 1 at every check, from the registry once its object is deleted', async () => {
  // A shader compiled after the failure may get the deleted object's number; it stays good.
  const [results, stderr, lines] = await compile([['solid', true, V], ['bad', false, BROKEN], ['solid', false, F], 'check', 'check',
    ['later', false, F], 'check']);
  assert.deepEqual(results, [0, 0, 0, 1, 1, 0, 1]);
  // The driver's log follows the name and stage, with no newline of its own.
  assert.match(lines[0], /^Unable to compile shader bad \(fragment\): \S.*undeclared/s);
  assert.deepEqual(lines.slice(1), Array(2).fill('Unable to compile shader bad (fragment): shader object deleted after its failed compile\n'));
  // The driver reports the error through debug output while compiling, in the callback's format:
  // type and severity in hexadecimal, the message indented on its own line. Checking raises none.
  assert.match(stderr, /^GL ERROR: type:824c severity:9146\n {2}0:3\(\d+\): error: .*undeclared/m);
  assert.doesNotMatch(stderr.slice(stderr.indexOf('Unable to compile shader')), /GL ERROR/);
  const [, , two] = await compile([['one', true, 'not glsl'], ['two', false, BROKEN], 'check']);
  assert.deepEqual(two.map((l) => /^Unable to compile shader (\w+ \(\w+\)): /.exec(l)[1]), ['one (vertex)', 'two (fragment)']);
});

// The harness in one mode: its exit status, "@name value" facts and standard error.
function programs(mode) {
  const r = spawnSync(path.join(buildDir, 'shader_programs'), [mode], { encoding: 'utf8', timeout: 30000,
    env: hostEnv({ display: xs.display, audio: 'null' }) });
  assertNoSanitizerReport(r.stderr, `shader_programs ${mode}`);
  assert.equal(r.status, 0, r.stdout + r.stderr);
  return { facts: Object.fromEntries(r.stdout.split('\n').map((l) => /^@(\w+) (.*)$/.exec(l)).filter(Boolean).map((m) => [m[1], m[2]])),
    stdout: r.stdout, stderr: r.stderr };
}

test('programs: the same pair twice is one entry and one GL program; crossed pairs are distinct; a failed stage is left out; GL debug output', () => {
  const shared = programs('shared');
  assert.deepEqual(shared.facts, { ...shared.facts, same: '1', objects: '1 3', distinct: '1 1', linked: '1' });
  assert.doesNotMatch(shared.stderr, /GL ERROR/);
  // A program over a shader that failed and was deleted is made without it: GL raises nothing.
  const broken = programs('broken');
  assert.equal(broken.facts.check, '1');
  assert.match(broken.stdout, /^@program bad bad \d+ bad bad$/m);
  assert.doesNotMatch(broken.stderr, /glAttachShader/);
  // GL debug output: notifications are dropped, other messages printed with type and severity.
  assert.equal(programs('debug').stderr, 'GL message: type:8250 severity:9147\n  a performance note\nGL ERROR: type:824c severity:9146\n  an error\n');
});
