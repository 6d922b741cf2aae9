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
