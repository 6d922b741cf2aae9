'use strict';
// The game object as a new user meets it (the README's minimal host is the package test's): the
// first-game guide as written, a throw in the game's code, the window fitting the display,
// screenshots read back by the addon, a frame budget moving the render scale.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
const { root, startXvfb, runHost, hostEnv } = require('./harness');
const { findWindow, windowInfo, closeWindow, startGame, xdotool } = require('./window-helpers');
const { decodePpm } = require('./render-helpers');

let xs;
test.before(async () => { xs = await startXvfb({ wm: true }); });
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

test('the window asked for is centred and fully visible on a small display, shrunk when it cannot fit', { timeout: 180000 }, async () => {
  const small = await startXvfb({ wm: true, screen: '1024x768x24' });
  try {
    for (const [w, h] of [[640, 480], [1400, 900]]) {
      const dir = gameDir({ 'fit.js': `const kit = require('tessimarke/host');
        const game = kit.createGame({ title: 'Fit ${w}', width: ${w}, height: ${h} });
        game.run({ draw: () => game.text('fits', 10, 30) });\n` });
      const g = startGame(['fit.js'], { cwd: dir, env: hostEnv({ display: small.display, env: gameEnv(dir) }) });
      g.ready.catch(() => {});  // a quiet game never prints the ready line
      const id = await findWindow(small.display, `Fit ${w}`);
      let info = await windowInfo(small.display, id);
      // Until the manager has framed and placed it: then inside the screen with room above for the title bar.
      for (let i = 0; i < 600 && (info.x <= 0 || info.y <= 0); ++i) info = await new Promise((r) => setTimeout(r, 100)).then(() => windowInfo(small.display, id));
      assert.ok(info.title === `Fit ${w}` && info.x >= 0 && info.y >= 16 && info.x + info.width <= 1024 && info.y + info.height <= 768, JSON.stringify(info));
      assert.deepEqual([info.width, info.height], w === 640 ? [640, 480] : [Math.min(info.width, 1024 - 16), Math.min(info.height, 768 - 64)]);
      assert.equal((await closeWindow(small.display, id, g.done)).code, 0);
    }
  } finally {
    small.stop();
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
