'use strict';
// Programs from the real shader registry, asked for as the pipeline builders ask (harness
// tests/harness/shader-programs, which opens its own GL context on a private X server).
const test = require('node:test');
const assert = require('node:assert/strict');
const path = require('node:path');
const { spawnSync } = require('node:child_process');
const { startXvfb, buildDir, hostEnv, assertAborted, assertNoSanitizerReport } = require('./harness');

let xs;
test.before(async () => { xs = await startXvfb(); });
test.after(() => xs.stop());

function run(mode) {
  const r = spawnSync(path.join(buildDir, 'shader_programs'), [mode], {
    encoding: 'utf8', timeout: 30000, env: hostEnv({ display: xs.display, audio: 'null' }),
  });
  assertNoSanitizerReport(r.stderr, `shader_programs ${mode}`);
  return { code: r.status, signal: r.signal, stdout: r.stdout, stderr: r.stderr };
}
const fact = (r, name) => (new RegExp(`^@${name} (.*)$`, 'm').exec(r.stdout) || [])[1];

// The name hash written out independently: signed bytes widened to 16 bits.
function nameHash(name) {
  let h = 5381;
  for (const b of Buffer.from(name, 'utf8')) h = (Math.imul(h, 33) + (b < 0x80 ? b : 0xff00 + b)) >>> 0;
  return h;
}

test('the same pair twice is the same entry and no new GL program; crossed pairs are distinct', () => {
  const r = run('shared');
  assert.equal(r.code, 0, r.stdout + r.stderr);
  assert.equal(fact(r, 'same'), '1');
  assert.equal(fact(r, 'objects'), '1 3');
  assert.equal(fact(r, 'distinct'), '1 1');
  assert.equal(fact(r, 'linked'), '1');
  assert.doesNotMatch(r.stderr, /GL ERROR/);
});

test('a missing vertex shader logs its plain name hash, then fails its check', () => {
  const r = run('missing-vertex');
  assert.match(r.stderr, new RegExp(`^Vertex shader not found: ${nameHash('gbuff')}\\n`, 'm'));
  assert.equal(assertAborted(r, 'v != NULL && "Vertex shader not found"'), 'gfx');
});

test('a missing fragment shader logs its plain name hash, then fails its check', () => {
  const r = run('missing-fragment');
  assert.match(r.stderr, new RegExp(`^Fragment shader not found: ${nameHash('gbuff')}\\n`, 'm'));
  assert.equal(assertAborted(r, 'f != NULL && "Fragment shader not found"'), 'gfx');
});

test('the eleventh distinct pair exceeds the program table', () => {
  const r = run('full');
  assert.equal((r.stdout.match(/^@program /gm) || []).length, 10);
  assertAborted(r, 'programsLength < programCount && "Exceeded max program count"');
});

test('a program over a shader that failed and was deleted is made without that stage', () => {
  const r = run('broken');
  assert.equal(r.code, 0, r.stdout + r.stderr);
  assert.equal(fact(r, 'check'), '1');
  assert.match(r.stdout, /^@program bad bad \d+ bad bad$/m);
  // The deleted object is never attached, so GL raises nothing about it.
  assert.doesNotMatch(r.stderr, /glAttachShader/);
});

test('GL debug output: notifications are dropped, other messages printed with type and severity', () => {
  const r = run('debug');
  assert.equal(r.code, 0, r.stdout + r.stderr);
  assert.equal(r.stderr, 'GL message: type:8250 severity:9147\n  a performance note\nGL ERROR: type:824c severity:9146\n  an error\n');
});
