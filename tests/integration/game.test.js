'use strict';
// The game object as a new user meets it: the first-game guide's final code runs as written and says
// nothing but its own line; a throw in the game's code ends with exit code 1 after the error screen
// (or at once with onError 'exit'), never an abort.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { root, startXvfb, runHost } = require('./harness');
const { findWindow, x } = require('./window-helpers');

let xs;
test.before(async () => { xs = await startXvfb({ wm: true }); });
test.after(() => xs.stop());

// A folder whose scripts find the package as `tessimarke`, the way an installed one would.
function gameDir(files) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tm-game-'));
  fs.mkdirSync(path.join(dir, 'modules'));
  fs.symlinkSync(root, path.join(dir, 'modules', 'tessimarke'));
  // npm puts the package's own dependencies beside it, where the game's code finds them too.
  fs.symlinkSync(path.join(root, 'node_modules', 'gl-matrix'), path.join(dir, 'modules', 'gl-matrix'));
  for (const [name, text] of Object.entries(files)) fs.writeFileSync(path.join(dir, name), text);
  return dir;
}
const run = (dir, script, args, more = {}) => runHost(path.join(dir, script), args, {
  display: xs.display, cwd: dir, timeout: 120000, ...more,
  env: { NODE_PATH: path.join(dir, 'modules'), LP_NUM_THREADS: '0', CI: '', ...(more.env || {}) },
});

test('the first-game guide\'s final code runs as written, quietly', { timeout: 180000 }, async () => {
  const guide = fs.readFileSync(path.join(root, 'docs', 'first-game.md'), 'utf8');
  const code = /```js file=main\.js\n([\s\S]*?)```/.exec(guide)[1];
  const dir = gameDir({ 'main.js': code });
  const r = await run(dir, 'main.js', ['30']);
  assert.equal(r.code, 0, r.stderr);
  assert.equal(r.stdout, 'first game: score 0 after 30 frames\n');
  assert.equal(r.stderr, '');
});

const THROWING = (onError) => `
const kit = require('tessimarke/host');
const game = kit.createGame({ title: 'Thrower', width: 320, height: 240${onError ? `, onError: '${onError}'` : ''} });
let steps = 0;
game.run({ update: () => { if (++steps === 3) throw new Error('boom at step 3'); }, draw: () => game.text('hello', 10, 30) });
console.log('after run', steps);
`;

test('a throw in update: the error screen until Escape, then exit code 1; at once with onError exit', { timeout: 180000 }, async () => {
  const dir = gameDir({ 'screen.js': THROWING(''), 'exit.js': THROWING('exit') });
  const exit = await run(dir, 'exit.js', []);
  assert.equal(exit.code, 1, exit.stderr);
  assert.match(exit.stderr, /^Error: boom at step 3\n {4}at /);
  assert.doesNotMatch(exit.stderr, /Assertion failed/);
  assert.equal(exit.stdout, 'after run 3\n');

  // With a window manager and no CI, the error stays on screen until Escape.
  const screen = run(dir, 'screen.js', [], { onLine: () => {} });
  const id = await findWindow(xs.display, 'Thrower');
  let ended = null;
  screen.then((r) => { ended = r; });
  while (!ended) {
    await x(xs.display, 'xdotool', ['windowactivate', '--sync', id], 5000).catch(() => {});
    await x(xs.display, 'xdotool', ['key', 'Escape'], 5000).catch(() => {});
    await Promise.race([screen, new Promise((r) => setTimeout(r, 2000))]);
  }
  assert.equal(ended.code, 1, ended.stderr);
  assert.match(ended.stderr, /Error: boom at step 3/);
});

test('the window asked for is centred and fully visible on a small display, shrunk when it cannot fit', { timeout: 180000 }, async () => {
  const small = await startXvfb({ wm: true, screen: '1024x768x24' });
  try {
    const { windowInfo, closeWindow, startGame } = require('./window-helpers');
    const { hostEnv } = require('./harness');
    for (const [w, h] of [[640, 480], [1400, 900]]) {
      const dir = gameDir({ 'fit.js': `const kit = require('tessimarke/host');
        const game = kit.createGame({ title: 'Fit ${w}', width: ${w}, height: ${h} });
        game.run({ draw: () => game.text('fits', 10, 30) });\n` });
      const env = hostEnv({ display: small.display, env: { NODE_PATH: path.join(dir, 'modules'), LP_NUM_THREADS: '0', CI: '' } });
      const g = startGame(['fit.js'], { cwd: dir, env });
      g.ready.catch(() => {});  // a quiet game never prints the ready line
      const id = await findWindow(small.display, `Fit ${w}`);
      let info = await windowInfo(small.display, id);
      for (let i = 0; i < 600 && (info.x <= 0 || info.y <= 0); ++i) {  // until the manager has framed and placed it
        await new Promise((r) => setTimeout(r, 100));
        info = await windowInfo(small.display, id);
      }
      assert.equal(info.title, `Fit ${w}`);
      assert.ok(info.width <= Math.min(w, 1024 - 16) && info.height <= Math.min(h, 768 - 64), `size ${info.width}x${info.height}`);
      if (w === 640) assert.deepEqual([info.width, info.height], [640, 480]);
      // Inside the screen with room above for the title bar.
      assert.ok(info.x >= 0 && info.y >= 16 && info.x + info.width <= 1024 && info.y + info.height <= 768, JSON.stringify(info));
      const r = await closeWindow(small.display, id, g.done);
      assert.equal(r.code, 0, r.stderr);
    }
  } finally {
    small.stop();
  }
});

test('a screenshot is read back by the addon: the frame as PNG, with no outside program', { timeout: 180000 }, async () => {
  const dir = gameDir({ 'shot.js': `const kit = require('tessimarke/host');
    const game = kit.createGame({ title: 'Shot', width: 320, height: 200 });
    const beep = game.sound({ pcm: Buffer.alloc(4410), format: 'mono16', sampleRate: 22050 });
    let voice = null;
    game.run({ frames: 3, draw: () => {
      game.gfx.ui.clear();
      game.gfx.ui.rect(0, 0, 160, 100, 1, 0, 0, 1);
      game.gfx.ui.rect(160, 100, 320, 200, 0, 0, 1, 1);
      if (game.loop.frame === 1) console.log(game.screenshot('in-run.png'));
      if (game.loop.frame === 0) voice = beep.play({ at: [1, 0, 0] }).gain(0.5);
      if (game.loop.frame === 2) { console.log('voice', voice.source > 0); voice.stop(); }
    } });\n` });
  // No outside program can be reached: the search path holds only Node.
  const bin = path.join(dir, 'bin');
  fs.mkdirSync(bin);
  fs.symlinkSync(process.execPath, path.join(bin, 'node'));
  const r = await run(dir, 'shot.js', [], { env: { PATH: bin } });
  assert.equal(r.code, 0, r.stderr);
  assert.equal(r.stdout, `${path.join(dir, 'in-run.png')}\nvoice true\n`);
  const { decodePpm } = require('./render-helpers');
  const { execFileSync } = require('node:child_process');
  const shot = decodePpm(execFileSync('convert', [path.join(dir, 'in-run.png'), 'ppm:-']));
  assert.deepEqual([shot.width, shot.height], [320, 200]);
  assert.deepEqual(shot.pixel(40, 40), [255, 0, 0]);
  assert.deepEqual(shot.pixel(280, 160), [0, 0, 255]);
});

test('a frame budget moves the render scale: down to its floor when frames are slow, never up past 1', { timeout: 180000 }, async () => {
  const script = (target) => `const kit = require('tessimarke/host');
    const game = kit.createGame({ title: 'Budget', width: 160, height: 120, frameBudget: { target: ${target}, min: 0.5 } });
    game.run({ frames: 80, realTime: true, draw: () => { game.gfx.clearAll(); kit.sphere(game.gfx.solid, null, {}); } });
    console.log(game.scale);\n`;
  const dir = gameDir({ 'slow.js': script(1e-6), 'fast.js': script(1e6) });
  for (const [file, scale] of [['slow.js', '0.5'], ['fast.js', '1']]) {
    const r = await run(dir, file, []);
    assert.equal(r.code, 0, r.stderr);
    assert.equal(r.stdout, `${scale}\n`, file);
  }
});
