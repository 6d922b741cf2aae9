'use strict';
// The README's minimal host, taken from the README itself and run as a user would run it (from the
// repository root): it must draw its cube, its floor and its line of text, take a key, and end
// cleanly when the window is closed.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { startXvfb, hostEnv, assertNoSanitizerReport, timeScale } = require('./harness');
const { startGame, closeWindow, findWindow, xdotool } = require('./window-helpers');
const { waitForText } = require('./render-helpers');

const root = path.resolve(__dirname, '..', '..');

// The first js code block after the "A minimal host" heading.
function readmeHost() {
  const readme = fs.readFileSync(path.join(root, 'README.md'), 'utf8');
  const at = readme.indexOf('### A minimal host');
  assert.ok(at >= 0, 'the README has a minimal host');
  const block = /```js\n([\s\S]*?)```/.exec(readme.slice(at));
  assert.ok(block, 'with a js code block');
  return block[1];
}

test('the README\'s minimal host runs: cube, floor and text on screen; closing the window ends it', async () => {
  const source = readmeHost();
  const lines = source.trimEnd().split('\n').length;
  assert.ok(lines <= 50, `about 40 lines, got ${lines}`);
  const xs = await startXvfb({ wm: true });
  try {
    const env = hostEnv({ display: xs.display, audio: 'null' });
    const game = startGame(['-'], { cwd: root, env, source, limit: 120000 * timeScale });
    game.ready.catch(() => {});  // a game says nothing of its own start-up
    const id = await findWindow(xs.display, 'Hello');
    const { shot, ink } = await waitForText(xs.display, id, 60000 * timeScale);
    await xdotool(xs.display, 'key', '--window', id, 'space');
    const { code, signal, stdout, stderr } = await closeWindow(xs.display, id, game.done);
    assertNoSanitizerReport(stderr, 'the README host');
    assert.equal(signal, null, stderr);
    assert.equal(code, 0, stderr);
    assert.equal(stderr, '', 'quiet: no line of the addon\'s own');
    assert.equal(stdout, '');

    const [r, g, b] = shot.pixel(700, 420);
    assert.ok(r > g && g > b && r - b > 60, `the cube is orange at the middle: ${[r, g, b]}`);
    const sky = shot.pixel(1300, 40);
    assert.ok(sky[2] > sky[0] && sky[2] > 120, `sky above: ${sky}`);
    const floor = shot.pixel(700, 700);
    assert.ok(Math.abs(floor[0] - floor[2]) < 40 && floor[0] > 100, `grey floor below: ${floor}`);
    assert.ok(ink > 300, `white text at the top left: ${ink} pixels`);
  } finally {
    xs.stop();
  }
});
