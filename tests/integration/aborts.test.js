'use strict';
// Every host mistake that ends the process in a failed check, and the exact text of that check: each row runs in a
// child host (the shader-program rows in the tests/harness/shader-programs program) and must end in SIGABRT with the
// expression and module of its row, or, for a row whose expectation is { value }, exit cleanly with that value.
const test = require('node:test');
const assert = require('node:assert/strict');
const path = require('node:path');
const { spawnSync } = require('node:child_process');
const { startXvfb, runFn, hostEnv, buildDir, assertAborted, assertOk, assertNoSanitizerReport } = require('./harness');

let xs;
test.before(async () => { xs = await startXvfb(); });
test.after(() => xs.stop());

const ARGC = 'argc == lengthof(args)', OK = 'status == napi_ok', ID = 'id < bufferCount', AL_ID = 'id < alBufferCount';
const ARENA = 'shaderStringIndex < shaderStringSize && "Need more memory allocated for shaders, exceeded shaderStringSize"';
const V = '#version 400 core\nlayout(location = 0) in vec3 p;\nvoid main() { gl_Position = vec4(p, 1.0); }\n';
const OGG = '/nonexistent.ogg', MONO16 = 0x1101, PCM = { $buffer: 2 };
const tickFn = 'Got error calling tickFn: 10\nAssertion failed: status == napi_ok, module native, line \\d+\\n$';
const arena = (n) => addon.compileShader('a', false, 'x'.repeat(n));

// A call of one export with the fixed buffers made first; { $buffer: n } stands for an n-byte Buffer.
function call([name, ...args]) {
  createFixed();
  return addon[name](...args.map((a) => (a && a.$buffer !== undefined ? Buffer.alloc(a.$buffer) : a)));
}

// [module, call ([export, ...arguments]) or [function, argument], check text or { value }, options (env and display
// of the child; stdout, stderr: patterns its output must match)].
const CASES = [
  ['utils', ['initBuffer', 9], ARGC], ['utils', ['initBuffer', '9', 4], 't == napi_number'], ['utils', ['initBuffer', 300, 16], ID],
  ['utils', ['getBuffer', 256], ID], ['utils', ['nextBuffer'], ARGC], ['utils', ['nextBuffer', 'big'], OK],
  ['utils', [() => { createFixed({ pool: 100 }); addon.nextPool(60); console.log('after 60'); addon.nextPool(40); }],
    'lenBuffer(POOL_BUFFER) + len < bufferLength[POOL_BUFFER]', { stdout: /after 60\n/ }],
  ['utils', [() => { for (let i = 8; i < 256; i++) addon.nextBuffer(1); console.log('id 255 handed out'); addon.nextBuffer(1); }], ID,
    { stdout: /id 255 handed out\n/ }],
  // A header of 8 bytes holds the fill lengths of blocks 0 and 1 only; the command count is entry 2.
  ['utils', [() => { createFixed({ header: 8 }); addon.tick(); }], 'headerHolds(id) && "lenBuffer entry outside HEADER_BUFFER"'],
  ['native', ['startTicking', 5], 't == napi_function'], ['native', ['startTicking'], ARGC],
  // What tickFn threw is printed before the check (napi_pending_exception is status 10).
  ['native', [() => addon.startTicking(function gameStep() { throw new Error('host failure'); })], OK,
    { stderr: new RegExp(`^Error: host failure\\n {4}at gameStep \\(.*\\)\\n( {4}at .*\\n)*${tickFn}`) }],
  ['native', [() => addon.startTicking(() => { throw 'plain string'; })], OK, { stderr: new RegExp(`^plain string\\n${tickFn}`) }],
  ['native', [() => addon.startTicking(() => { throw Symbol('no string'); })], OK,
    { stderr: new RegExp(`^\\(a value that cannot be converted to a string was thrown\\)\\n${tickFn}`) }],
  ['gfx', [() => {}], '!"Failed to initialize GLEW"', { display: null, stderr: /^Error initializing GLEW: .+$/m }],
  ['gfx', ['setBuffers', 256], ID], ['gfx', ['setBuffers'], ARGC], ['gfx', ['copy', 5], OK],
  ['gfx', ['setShadowQuality'], 'argc == 1'], ['gfx', ['setSsaoQuality', 1, 2], 'argc == 1'], ['gfx', ['setAntialias', 'high'], OK],
  ['gfx', ['measureText', 'abc', 16], ARGC], ['gfx', ['measureText', 42, 16, 0], OK], ['gfx', ['measureText', 'abc', '16', 0], OK],
  // Before `ready` there is no glyph set to measure with.
  ['gfx', ['measureText', 'abc', 16, 0], { value: 0 }],
  ['gfx', ['compileShader', 'solid', true], ARGC], ['gfx', ['compileShader', 'solid', 1, V], OK],
  ['gfx', ['compileShader', 'solid', true, V], 'glCreateShader != NULL && "OpenGL not initialized"', { env: { SDL_VIDEODRIVER: 'no-such-driver' } }],
  // The same name in both stages is two entries; a third in a stage already taken collides.
  ['gfx', [(v) => { for (const vertex of [true, false, true]) addon.compileShader('solid', vertex, v); }, V], 'findShader(hash, type) == NULL && "Hash collision"'],
  // Name "a" takes 2 bytes and the source n + 1: 65532 ends the index on 65535, which fits; one more puts the
  // terminator on the arena's last byte; a source longer than the room left is cut to fit, which fills the arena too.
  ['gfx', [arena, 65532], { value: 0 }], ['gfx', [arena, 65533], ARENA], ['gfx', [arena, 70000], ARENA],
  ['gfx', [(v) => { for (let i = 0; i < 33; ++i) { addon.compileShader(`s${i}`, true, v); console.log(`compiled ${i + 1}`); } }, V],
    'shadersLength < shaderCount && "Exceeded max shader count"', { stdout: /compiled 32\n$/ }],
  ['gfx', ['shader_programs', 'missing-vertex'], 'v != NULL && "Vertex shader not found"', { stderr: /^Vertex shader not found: 259954799\n/m }],
  ['gfx', ['shader_programs', 'missing-fragment'], 'f != NULL && "Fragment shader not found"', { stderr: /^Fragment shader not found: 259954799\n/m }],
  ['gfx', ['shader_programs', 'full'], 'programsLength < programCount && "Exceeded max program count"', { stdout: /^(@program .*\n){10}$/ }],
  ['audio', ['loadAudio', 256, OGG, 2, 1], AL_ID], ['audio', ['loadAudio', 0, OGG, 2], ARGC],
  ['audio', ['loadAudio', 0, 5, 2, 1], 'vtype == napi_string && "path not string"'],
  ['audio', ['loadAudio', 0, OGG, '2', 1], 'vtype == napi_number && "wordSize not number"'],
  ['audio', ['loadAudio', 0, OGG, 2, null], 'vtype == napi_number && "channels not number"'], ['audio', ['loadAudio', '0', OGG, 2, 1], OK],
  ['audio', ['initALBuffer', 256, PCM, MONO16, 44100], AL_ID], ['audio', ['initALBuffer', 255, PCM, MONO16, 44100], { value: 0 }],
  ['audio', ['initALBuffer', 0, [1, 2], MONO16, 44100], 'isBuffer && "Isn\'t a buffer?"'],
  ['audio', ['initALBuffer', 0, PCM, 'x', 44100], 'vtype == napi_number && "format not number"'],
  ['audio', ['initALBuffer', 0, PCM, MONO16, true], 'vtype == napi_number && "sampleRate not number"'],
  ['audio', ['initALBuffer', 0, PCM, MONO16, 44100, 1], ARGC],
  // Stopping a source that does not exist fails the state query.
  ['audio', [() => runCommands(createFixed(), [3, 99999])], 'alGetError() == AL_NO_ERROR && "Failed to set sound source buffer"'],
];

// The shader-program harness: the real registry with a GL context of its own.
function shaderPrograms(mode) {
  const r = spawnSync(path.join(buildDir, 'shader_programs'), [mode], { encoding: 'utf8', timeout: 30000, env: hostEnv({ display: xs.display, audio: 'null' }) });
  assertNoSanitizerReport(r.stderr, `shader_programs ${mode}`);
  return { ...r, code: r.status };
}

for (const [module, [what, ...args], expected, { env, display, stdout, stderr } = {}] of CASES) {
  const label = typeof what === 'function' ? String(what).replace(/\s+/g, ' ').slice(0, 70)
    : `${what}(${args.map((a) => JSON.stringify(a).slice(0, 20)).join(', ')})`;
  test(`${label} -> ${typeof expected === 'string' ? expected : `returns ${expected.value}`}`, async () => {
    const r = what === 'shader_programs' ? shaderPrograms(args[0])
      : await runFn(typeof what === 'function' ? what : call, typeof what === 'function' ? args[0] : [what, ...args],
        { display: display === null ? undefined : xs.display, audio: 'null', env });
    if (typeof expected === 'string') assert.equal(assertAborted(r, expected), module);
    else assert.deepEqual(assertOk(r).results.at(-1), expected.value);
    for (const [text, pattern] of [[r.stdout, stdout], [r.stderr, stderr]]) if (pattern) assert.match(text, pattern);
  });
}
