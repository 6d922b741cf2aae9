'use strict';
// The demo and the arena example on a small screen: the demo driven until Escape ends it, with the
// emulated adapter, and by npm start without a display; the arena a few frames; wrong options refused.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { execFileSync, spawnSync } = require('node:child_process');
const { startXvfb, runHost, buildDir, hostEnv, sanitized, root } = require('./harness');
const { findWindow, xdotool, xclipIn } = require('./window-helpers');
const { runEmulated, emulatedReport } = require('./usb-helpers');

const script = (...p) => path.relative(path.join(root, 'tests', 'hosts'), path.join(root, ...p));
const ERRORS = /GL ERROR|GL message|Assertion failed|Unable to compile shader|init error/;
const lineOf = (stdout, prefix) => JSON.parse(stdout.split('\n').find((l) => l.startsWith(prefix)).slice(prefix.length));
const assertClean = (r) => assert.ok(r.code === 0 && !ERRORS.test(r.stderr), `code ${r.code}\n${r.stderr.slice(-3000)}`);

let xs;
test.before(async () => {
  xs = await startXvfb({ screen: '640x420x24' });
  execFileSync(path.join(root, 'scripts', 'demo-assets.sh'));
});
test.after(() => xs.stop());

test('the demo takes the quality keys, typing and a paste, quits on Escape, and prints its state and figures', { timeout: 300000 }, async () => {
  let ended = false, clipboard = null, driven = null;
  // Once the window is up: the three quality levels, F3 on and off, the field, a paste; then Escape
  // (out of the field, then quit) until the demo ends.
  const run = runHost(script('app', 'main.js'), [], {
    display: xs.display, audio: 'null', timeout: 240000,
    onLine: (line) => {
      if (line !== 'Native ready' || driven) return;
      driven = (async () => {
        const id = await findWindow(xs.display);
        await xdotool(xs.display, 'windowfocus', '--sync', id);
        clipboard = await xclipIn(xs.display, ' and pasted');
        await xdotool(xs.display, 'key', '--window', id, '1', '2', '3', 'F3', 'F3', 'Tab');
        await xdotool(xs.display, 'type', '--window', id, 'typed');
        await xdotool(xs.display, 'key', '--window', id, 'ctrl+v');
        while (!ended) {
          await xdotool(xs.display, 'key', '--window', id, 'Escape').catch(() => {});
          await Promise.race([run, new Promise((r) => setTimeout(r, 3000))]);
        }
      })();
    },
  });
  const r = await run;
  ended = true;
  await driven;
  clipboard.kill();
  assertClean(r);
  assert.deepEqual(lineOf(r.stdout, 'demo: state '), { quality: { shadow: 3, ssao: 3, aa: 2 }, debugView: false, field: 'typed and pasted',
    focused: false, adapter: 0, lastReport: Array(37).fill(0), controllers: 0 });
  assert.match(r.stdout, /^demo: \d+ frames in [0-9.]+ s; frame time mean [0-9.]+ ms, median [0-9.]+ ms, 95th percentile [0-9.]+ ms, max [0-9.]+ ms \([0-9.]+ fps\)$/m);
  assert.ok(!/sound .* missing/.test(r.stdout) && /^Quitting Native$/m.test(r.stdout));
});

test('with the adapter connected the demo reads one report a frame and shows the latest', async () => {
  const r = await runEmulated('adapter', script('app', 'main.js'), ['--frames', 12], { display: xs.display });
  assertClean(r);
  const state = lineOf(r.stdout, 'demo: state ');
  assert.deepEqual([state.adapter, state.lastReport], [12, emulatedReport(12)]);
});

test('the arena runs its frames: one fixed step each, its result and screenshot lines, its music found', async () => {
  const png = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'tm-arena-')), 'arena.png');
  const r = await runHost(script('examples', 'arena', 'main.js'), ['--frames', 5, '--screenshot', png], { display: xs.display, audio: 'null', timeout: 120000 });
  assertClean(r);
  assert.deepEqual(lineOf(r.stdout, 'arena: result '), { score: 0, position: [0, 0], timeLeft: 59.917, paused: false, over: false, frames: 5, steps: 5 });
  assert.ok(r.stdout.includes(`arena: screenshot written to ${png}\n`) && !r.stdout.includes('arena: no music'));
  assert.ok(fs.statSync(png).size > 1000);
});

// npm start runs the plain build (it builds it first); the sanitized run leaves it to the plain one.
test('npm start without a display: a private X server, the default screenshot, figures, sound to nothing', {
  skip: sanitized && 'npm start uses the plain build',
}, () => {
  const env = { ...process.env, TESSIMARKE_BUILD_DIR: path.relative(root, buildDir) };
  for (const name of ['DISPLAY', 'ALSOFT_DRIVERS', 'ALSOFT_CONF', 'TESSIMARKE_ADDON']) delete env[name];
  const shot = path.join(buildDir, 'demo-screenshot.png');
  fs.rmSync(shot, { force: true });
  const r = spawnSync('bash', [path.join(root, 'scripts', 'start.sh'), '--frames', '3'], { cwd: root, env, encoding: 'utf8', timeout: 600000 });
  assertClean({ code: r.status, stderr: r.stdout.slice(-2000) + r.stderr });
  for (const line of [/^start: no display; running the demo headless on a private X server \(:\d+\)$/m, /^Opened "No Output"$/m, /^demo: 3 frames in /m,
    new RegExp(`^demo: screenshot written to ${shot.replace(/[.]/g, '\\.')}$`, 'm')]) assert.match(r.stdout, line);
  assert.ok(fs.statSync(shot).size > 1000);
});

test('a wrong option is named and ends the demo or the arena before the window opens', () => {
  for (const [file, args, message] of [['app/main.js', ['--frames', '0'], /^demo: --frames needs a whole number of frames, got 0$/m],
    ['app/main.js', ['--screenshot'], /^demo: --screenshot needs a file name$/m],
    ['app/main.js', ['--fast'], /^demo: unknown option --fast \(options: --frames N, --screenshot FILE\)$/m],
    ['examples/arena/main.js', ['--fast'], /^arena: unknown option --fast \(options: --frames N, --screenshot FILE\)$/m]]) {
    const r = spawnSync(process.execPath, [path.join(root, file), ...args], { cwd: root, env: hostEnv(), encoding: 'utf8', timeout: 120000 });
    assert.ok(r.status === 2 && message.test(r.stderr) && !/SDL2 initialized/.test(r.stdout), `${file} ${args}: ${r.status}\n${r.stderr}`);
  }
});
