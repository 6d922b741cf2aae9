'use strict';
// Games as a player runs them on a small screen with a window manager: the game object (the README's
// minimal host and npm start are the package test's), the demo, the arena.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { execFileSync, spawnSync } = require('node:child_process');
const { root, startXvfb, runHost, hostEnv } = require('./harness');
const { findWindow, windowInfo, closeWindow, startGame, xdotool, xclipIn } = require('./window-helpers');
const { decodePpm } = require('./render-helpers');
const { runEmulated, emulatedReport } = require('./usb-helpers');

let xs;
test.before(async () => {
  xs = await startXvfb({ wm: true, screen: '1024x768x24' });
  execFileSync(path.join(root, 'scripts', 'demo-assets.sh'));
});
test.after(() => xs.stop());

// A folder of scripts (name -> source) that find the package and its dependency as an installed one would.
function gameDir(files) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tm-game-'));
  fs.mkdirSync(path.join(dir, 'modules'));
  fs.symlinkSync(root, path.join(dir, 'modules', 'tessimarke'));
  fs.symlinkSync(path.join(root, 'node_modules', 'gl-matrix'), path.join(dir, 'modules', 'gl-matrix'));
  for (const [name, text] of Object.entries(files)) fs.writeFileSync(path.join(dir, name), text);
  return dir;
}
const gameEnv = (dir, env = {}) => ({ NODE_PATH: path.join(dir, 'modules'), LP_NUM_THREADS: '0', CI: '', ...env });
const run = (dir, script, { args = [], env, ...more } = {}) => runHost(path.join(dir, script), args, { display: xs.display, cwd: dir, timeout: 120000, env: gameEnv(dir, env), ...more });

test('the first-game guide\'s final code runs as written, quietly', { timeout: 180000 }, async () => {
  const code = /```js file=main\.js\n([\s\S]*?)```/.exec(fs.readFileSync(path.join(root, 'docs', 'first-game.md'), 'utf8'))[1];
  const r = await run(gameDir({ 'main.js': code }), 'main.js', { args: ['30'] });
  assert.deepEqual([r.code, r.stdout, r.stderr], [0, 'first game: score 0 after 30 frames\n', '']);
});

test('a throw in update: the error screen until Escape, then exit code 1; at once with onError exit', { timeout: 180000 }, async () => {
  const throwing = (onError) => `const kit = require('tessimarke/host');
    const game = kit.createGame({ title: 'Thrower', width: 320, height: 240${onError ? `, onError: '${onError}'` : ''} });
    let steps = 0;
    game.run({ update: () => { if (++steps === 3) throw new Error('boom at step 3'); }, draw: () => game.text('hello', 10, 30) });
    console.log('after run', steps);\n`;
  const dir = gameDir({ 'screen.js': throwing(''), 'exit.js': throwing('exit') });
  const exit = await run(dir, 'exit.js');
  assert.deepEqual([exit.code, exit.stdout, /^Error: boom at step 3\n {4}at /.test(exit.stderr), /Assertion failed/.test(exit.stderr)], [1, 'after run 3\n', true, false], exit.stderr);
  // With a window manager and no CI, the error stays on screen until Escape.
  const screen = run(dir, 'screen.js', { onLine: () => {} });
  const id = await findWindow(xs.display, 'Thrower');
  let ended = null;
  for (screen.then((r) => { ended = r; }); !ended; await Promise.race([screen, new Promise((r) => setTimeout(r, 2000))])) {
    await xdotool(xs.display, 'windowactivate', '--sync', id).catch(() => {});
    await xdotool(xs.display, 'key', 'Escape').catch(() => {});
  }
  assert.ok(ended.code === 1 && /Error: boom at step 3/.test(ended.stderr), ended.stderr);
});

test('the window asked for is centred and fully visible on the small display, shrunk when it cannot fit', { timeout: 180000 }, async () => {
  for (const [w, h] of [[640, 480], [1400, 900]]) {
    const dir = gameDir({ 'fit.js': `const kit = require('tessimarke/host');
      const game = kit.createGame({ title: 'Fit ${w}', width: ${w}, height: ${h} });
      game.run({ draw: () => game.text('fits', 10, 30) });\n` });
    const g = startGame(['fit.js'], { cwd: dir, env: hostEnv({ display: xs.display, env: gameEnv(dir) }) });
    g.ready.catch(() => {});  // a quiet game never prints the ready line
    const id = await findWindow(xs.display, `Fit ${w}`);
    let info = await windowInfo(xs.display, id);
    // Until the manager has framed and placed it: then inside the screen with room above for the title bar.
    for (let i = 0; i < 600 && (info.x <= 0 || info.y <= 0); ++i) info = await new Promise((r) => setTimeout(r, 100)).then(() => windowInfo(xs.display, id));
    assert.ok(info.title === `Fit ${w}` && info.x >= 0 && info.y >= 16 && info.x + info.width <= 1024 && info.y + info.height <= 768, JSON.stringify(info));
    assert.deepEqual([info.width, info.height], w === 640 ? [640, 480] : [Math.min(info.width, 1024 - 16), Math.min(info.height, 768 - 64)]);
    assert.equal((await closeWindow(xs.display, id, g.done)).code, 0);
  }
});

test('screenshots are read back by the addon with no outside program, refusals named; a game runs once', { timeout: 180000 }, async () => {
  const dir = gameDir({ 'shot.js': `const kit = require('tessimarke/host');
    const game = kit.createGame({ title: 'Shot', width: 320, height: 200 });
    const beep = game.sound({ pcm: Buffer.alloc(4410), format: 'mono16', sampleRate: 22050 });
    const refused = (f) => { try { f(); } catch (e) { console.log(e.code, e.message); } };
    let voice = null;
    game.run({ frames: 3, draw: () => {
      game.gfx.ui.clear();
      game.gfx.ui.rect(0, 0, 160, 100, 1, 0, 0, 1);
      game.gfx.ui.rect(160, 100, 320, 200, 0, 0, 1, 1);
      if (game.loop.frame === 0) voice = beep.play({ at: [1, 0, 0] }).gain(0.5);
      if (game.loop.frame === 1) { console.log(game.screenshot('in-run.png')); refused(() => game.screenshot('a\\0b.png')); }
      if (game.loop.frame === 2) { console.log('voice', voice.source > 0); voice.stop(); refused(() => kit.screenshot('/nonexistent/x.png')); }
    } });
    refused(() => game.screenshot('late.png'));
    refused(() => game.run({}));\n` });
  // No outside program can be reached: the search path holds only Node.
  fs.mkdirSync(path.join(dir, 'bin'));
  fs.symlinkSync(process.execPath, path.join(dir, 'bin', 'node'));
  const r = await run(dir, 'shot.js', { env: { PATH: path.join(dir, 'bin') } });
  assert.equal(r.code, 0, r.stderr);
  assert.deepEqual(r.stdout.split('\n'), [path.join(dir, 'in-run.png'),
    `ERR_STATE screenshot ${path.join(dir, 'a\0b.png')}: the path is empty, holds a NUL or is over 4096 bytes`, 'voice true',
    'ERR_FILE screenshot /nonexistent/x.png could not be written',
    `ERR_STATE screenshot ${path.join(dir, 'late.png')}: there is no window (before the addon opened one, or after quit)`,
    'ERR_STATE game.run: the game has run already (its window is closed when run returns)', '']);
  const shot = decodePpm(execFileSync('convert', [path.join(dir, 'in-run.png'), 'ppm:-']));
  assert.deepEqual([shot.width, shot.height, shot.pixel(40, 40), shot.pixel(280, 160)], [320, 200, [255, 0, 0], [0, 0, 255]]);
});

test('a frame budget moves the render scale: down to its floor when frames are slow, never up past 1', { timeout: 180000 }, async () => {
  const script = (target) => `const kit = require('tessimarke/host');
    const game = kit.createGame({ title: 'Budget', width: 160, height: 120, frameBudget: { target: ${target}, min: 0.5 } });
    game.run({ frames: 80, realTime: true, draw: () => { game.gfx.clearAll(); kit.sphere(game.gfx.solid, null, {}); } });
    console.log(game.scale);\n`;
  const dir = gameDir({ 'slow.js': script(1e-6), 'fast.js': script(1e6) });
  for (const [file, scale] of [['slow.js', '0.5\n'], ['fast.js', '1\n']]) assert.deepEqual(await run(dir, file).then((r) => [r.code, r.stdout, r.code ? r.stderr : '']), [0, scale, '']);
});

const script = (...p) => path.relative(path.join(root, 'tests', 'hosts'), path.join(root, ...p));
const ERRORS = /GL ERROR|GL message|Assertion failed|Unable to compile shader|init error/;
const lineOf = (stdout, prefix) => JSON.parse(stdout.split('\n').find((l) => l.startsWith(prefix)).slice(prefix.length));
const assertClean = (r) => assert.ok(r.code === 0 && !ERRORS.test(r.stderr), `code ${r.code}\n${r.stderr.slice(-3000)}`);

test('the demo takes the quality keys, typing and a paste, quits on Escape, and prints its state and figures', { timeout: 300000 }, async () => {
  let ended = false, clipboard = null, driven = null;
  // Once the window is up: quality keys, F3 twice, typing and a paste into the field; then Escape until the demo ends.
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

test('a wrong option is named and ends the demo or the arena before the window opens', () => {
  for (const [file, args, message] of [['app/main.js', ['--frames', '0'], /^demo: --frames needs a whole number of frames, got 0$/m],
    ['app/main.js', ['--screenshot'], /^demo: --screenshot needs a file name$/m],
    ['app/main.js', ['--fast'], /^demo: unknown option --fast \(options: --frames N, --screenshot FILE\)$/m],
    ['examples/arena/main.js', ['--fast'], /^arena: unknown option --fast \(options: --frames N, --screenshot FILE\)$/m]]) {
    const r = spawnSync(process.execPath, [path.join(root, file), ...args], { cwd: root, env: hostEnv(), encoding: 'utf8', timeout: 120000 });
    assert.ok(r.status === 2 && message.test(r.stderr) && !/SDL2 initialized/.test(r.stdout), `${file} ${args}: ${r.status}\n${r.stderr}`);
  }
});
