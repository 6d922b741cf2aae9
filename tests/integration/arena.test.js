'use strict';
// The arena example, a whole small game written against the public kit, run headless for a few
// hundred frames under a private X server with keys sent from outside: held Right walks the
// player into the first coin (straight to the right of the start), Escape then pauses. Its result
// line must show the coin, the walk and the pause (the clock stopped), and its screenshot the pause
// menu over a rendered arena.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { execFileSync, spawnSync } = require('node:child_process');
const { startXvfb, runHost, root } = require('./harness');
const { findWindow, xdotool } = require('./window-helpers');
const { decodePpm, assertPixel } = require('./render-helpers');

const FRAMES = 200;
const arena = path.relative(path.join(root, 'tests', 'hosts'), path.join(root, 'examples', 'arena', 'main.js'));

test('the arena: walk into a coin, pause; the result line and the screenshot show it', { timeout: 600000 }, async () => {
  const xs = await startXvfb();
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tm-arena-'));
  const png = path.join(dir, 'arena.png');
  try {
    let id = null;
    // As soon as the window shows: hold Right until the first coin, then pause.
    let driving = (async () => {
      id = await findWindow(xs.display, 'Arena');
      await xdotool(xs.display, 'windowfocus', '--sync', id);
      await xdotool(xs.display, 'keydown', '--window', id, 'Right');
    })();
    const drive = (f) => { driving = driving.then(f); };
    const run = await runHost(arena, ['--frames', FRAMES, '--screenshot', png], {
      display: xs.display, audio: 'null', timeout: 540000,
      onLine: (line) => {
        if (line === 'arena: score 1') {
          drive(async () => {
            await xdotool(xs.display, 'keyup', '--window', id, 'Right');
            await xdotool(xs.display, 'key', '--window', id, 'Escape');
          });
        }
      },
    });
    await driving;
    assert.equal(run.code, 0, run.stderr.slice(-3000));
    assert.doesNotMatch(run.stderr, /GL ERROR|Assertion failed|Unable to compile|Error/);
    // Its own title (the window was found by it), and its music found and playing.
    assert.doesNotMatch(run.stdout, /arena: no music/);
    const line = run.stdout.split('\n').find((l) => l.startsWith('arena: result '));
    assert.ok(line, run.stdout.slice(-2000));
    const result = JSON.parse(line.slice('arena: result '.length));
    assert.equal(result.frames, FRAMES);
    assert.equal(result.score, 1, 'the coin to the right, and no other');
    // It stopped at the coin: 3 m out, less the player's and the coin's radii, give or take the
    // frames before the keys arrived.
    assert.ok(result.position[0] > 1.9 && result.position[0] < 4, `walked right: ${result.position}`);
    assert.equal(result.position[1], 0);
    assert.equal(result.paused, true);
    // The clock ran only until the pause: far less than the whole run came off the minute.
    assert.ok(result.timeLeft > 60 - FRAMES / 60 + 1, `the clock stopped: ${result.timeLeft} s left`);

    const shot = decodePpm(execFileSync('convert', [png, '-depth', '8', 'ppm:-'], { maxBuffer: 64 << 20 }));
    assert.deepEqual([shot.width, shot.height], [1400, 800]);
    assertPixel(shot, 540, 300, [26, 31, 51], 3, 'the menu panel');
    assertPixel(shot, 570, 350, [242, 153, 51], 3, 'the chosen item, Resume');
    assertPixel(shot, 570, 410, [64, 71, 97], 3, 'the next item');
    // Behind the menu, the arena darkened but not flat; the top bar has the score in white.
    let min = 255, max = 0;
    for (let y = 80; y < 780; y += 10) for (let x = 20; x < 480; x += 10) {
      const [r, g, b] = shot.pixel(x, y);
      const l = 0.299 * r + 0.587 * g + 0.114 * b;
      min = Math.min(min, l); max = Math.max(max, l);
    }
    assert.ok(max - min > 30, `the arena shows behind the menu: luma ${min}..${max}`);
    let ink = 0;
    for (let y = 14; y < 44; ++y) for (let x = 20; x < 160; ++x) if (shot.pixel(x, y).every((c) => c > 200)) ++ink;
    assert.ok(ink > 100, `score text: ${ink} white pixels`);
  } finally {
    xs.stop();
    fs.rmSync(dir, { recursive: true, force: true });
  }
});

test('a wrong option is named and ends the arena before the window opens', () => {
  const r = spawnSync(process.execPath, [path.join(root, 'examples', 'arena', 'main.js'), '--fast'], { cwd: root, encoding: 'utf8', timeout: 30000 });
  assert.equal(r.status, 2, r.stderr);
  assert.match(r.stderr, /^arena: unknown option --fast \(options: --frames N, --screenshot FILE\)$/m);
  assert.doesNotMatch(r.stdout, /SDL2 initialized/);
});
