'use strict';
// The window and GL start-up seen from outside: the start-up lines and their streams, the window
// found by title with its size, the DPI lines, the exported hybrid-graphics symbols, the fatal
// paths, setBuffers and its viewportSize pair, and fullscreen under a window manager.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
const { startXvfb, runHost, assertAborted, assertOk, addonPath, isolatedAddon } = require('./harness');
const { startInteractive, findWindow, windowInfo, x } = require('./window-helpers');

const STARTUP_OUT = [
  'SDL2 initialized OK',
  'Vsync unchanged (on start)',
  'USER32.dll not found?',
  'SHCORE.dll not found, skipping DPI awareness',
  'System not DPI aware, or prior to Win 8.1',
  'MakeCurrent status: OK',
];

// The lines of `text` that match one of `patterns`, in order.
const linesMatching = (text, patterns) => text.split('\n').filter((l) => patterns.some((p) => p.test(l)));

test('start-up: SDL, window, DPI and GL lines in order on standard output; window found from outside', async () => {
  const xs = await startXvfb();
  try {
    const host = startInteractive('window-driver.js', [], { display: xs.display, audio: 'null' });
    await host.next();
    const id = await findWindow(xs.display);
    assert.ok(id, 'no window titled Tessimarke');
    const info = await windowInfo(xs.display, id);
    assert.equal(info.title, 'Tessimarke');
    assert.equal(info.width, 1400);
    assert.equal(info.height, 800);
    // The icon from app/icons/icon.png (64 x 64) is set on the window.
    const icon = await x(xs.display, 'xprop', ['-id', id, '_NET_WM_ICON']);
    assert.match(icon, /^_NET_WM_ICON\(CARDINAL\) = \s*Icon \(64 x 64\):/);
    await host.request({ op: 'quit' });
    const r = assertOk(await host.done);

    const out = r.stdout.split('\n');
    const first = out.indexOf('SDL2 initialized OK');
    assert.ok(first > 0, r.stdout);
    assert.deepEqual(out.slice(first, first + STARTUP_OUT.length), STARTUP_OUT);
    const rest = out.slice(first + STARTUP_OUT.length, first + STARTUP_OUT.length + 6);
    assert.match(rest[0], /^Window display mode: \d+x\d+ \d+hz$/);
    assert.equal(rest[1], 'Display display mode: 1920x1080 0hz');
    assert.match(rest[2], /^GLEW OK; version: \d+\.\d+\.\d+$/);
    assert.equal(rest[3], 'OpenGL 4.0: OK');
    assert.match(rest[4], /^Textures per shader: \d+; total: \d+$/);
    // Shutdown: SDL closes after audio.
    const quitting = out.indexOf('Quitting Native');
    assert.ok(quitting > first && out.indexOf('Closing SDL') > quitting);
    // None of these lines is an error; nothing about the window reached standard error.
    assert.doesNotMatch(r.stderr, /Error creating|Error loading icon|GLEW|GL ERROR|GL message/);
  } finally {
    xs.stop();
  }
});

test('quit ends SDL cleanly after GL work, run after run (no deadlock closing the display)', async () => {
  const xs = await startXvfb();
  try {
    for (let round = 0; round < 10; ++round) {
      const runs = await Promise.all([0, 1].map(() => runHost('window-setup.js', ['gl'], { display: xs.display, audio: 'null', timeout: 20000 })));
      for (const r of runs) {
        assert.ok(!r.timedOut, `host hung at quit in round ${round}:\n${r.stdout}`);
        assertOk(r);
        assert.match(r.stdout, /Closing SDL\n/);
      }
    }
  } finally {
    xs.stop();
  }
});

test('the two hybrid-graphics symbols are exported data in the dynamic symbol table', () => {
  const out = execFileSync('nm', ['-D', '--defined-only', addonPath], { encoding: 'utf8' });
  for (const name of ['NvOptimusEnablement', 'AmdPowerXpressRequestHighPerformance']) {
    assert.match(out, new RegExp(`^[0-9a-f]+ [DdBbGg] ${name}$`, 'm'), `${name} not exported`);
  }
});

test('without a display the GL start-up is fatal: GLEW error line, then the check', async () => {
  const r = await runHost('window-setup.js', ['plain'], { audio: 'null' });
  assert.match(r.stderr, /^Error initializing GLEW: .+$/m);
  assertAborted(r, '!"Failed to initialize GLEW"');
});

test('a failed SDL start-up logs both lines and skips the window; start-up goes on', async () => {
  const r = await runHost('window-setup.js', ['plain'], { audio: 'null', env: { SDL_VIDEODRIVER: 'no-such-driver' } });
  assert.match(r.stderr, /^Error initializing SDL: .+$/m);
  assert.match(r.stdout, /^Error initializing SDL$/m);
  assert.doesNotMatch(r.stdout, /SDL2 initialized OK|MakeCurrent|GLEW OK/);
  assertOk(r);
});

test('a missing icon file is logged and start-up goes on', async () => {
  const xs = await startXvfb();
  const cwd = fs.mkdtempSync(path.join(os.tmpdir(), 'tm-noicon-'));
  // Neither the working directory nor the addon's own package holds the icon.
  const pkg = isolatedAddon();
  try {
    const r = await runHost('window-setup.js', ['plain'], { display: xs.display, audio: 'null', cwd, env: pkg.env });
    assertOk(r);
    assert.match(r.stderr, /^Error loading icon file: .*app\/icons\/icon\.png.*$/m);
    assert.match(r.stdout, /^GLEW OK; version: /m);
  } finally {
    xs.stop();
    fs.rmSync(cwd, { recursive: true });
    fs.rmSync(pkg.dir, { recursive: true });
  }
});

test('setBuffers logs ten ids and carries 1400 x 800 into the host pair', async () => {
  const xs = await startXvfb();
  try {
    const r = assertOk(await runHost('window-setup.js', ['normal'], { display: xs.display, audio: 'null' }));
    const [result] = r.results;
    assert.deepEqual(result.viewport, [1400, 800]);
    const ids = result.table.slice(0, 10).join(' ');
    assert.ok(r.stdout.includes(`bufferIDs:\n  ${ids} \n`), r.stdout);
  } finally {
    xs.stop();
  }
});

test('setBuffers: a short table logs zeros past its end and leaves the pair native', async () => {
  const r = assertOk(await runHost('window-setup.js', ['short'], { audio: 'null', env: { SDL_VIDEODRIVER: 'no-such-driver' } }));
  assert.ok(r.stdout.includes('bufferIDs:\n  0 0 0 0 0 0 0 0 0 0 \n'), r.stdout);
  // The fill lengths of the fixed blocks were not overwritten by the pair.
  assert.deepEqual(r.results[0].header, [64, 0]);
});

test('setBuffers: a table whose entry 0 names a block too small for the pair leaves the pair native', async () => {
  const r = assertOk(await runHost('window-setup.js', ['tiny'], { audio: 'null', env: { SDL_VIDEODRIVER: 'no-such-driver' } }));
  assert.deepEqual(r.results[0].tiny, [7, 7, 7, 7]);
});

test('setBuffers with an id of 256 fails its check', async () => {
  const r = await runHost('window-setup.js', ['id256'], { audio: 'null', env: { SDL_VIDEODRIVER: 'no-such-driver' } });
  assert.equal(assertAborted(r, 'id < bufferCount'), 'gfx');
});

test('setBuffers with no argument fails the count check', async () => {
  const r = await runHost('window-setup.js', ['noargs'], { audio: 'null', env: { SDL_VIDEODRIVER: 'no-such-driver' } });
  assert.equal(assertAborted(r, 'argc == lengthof(args)'), 'gfx');
});

// Fullscreen: command 8 twice, the X window measured from outside after each.
async function toggleTwice(xs, env = {}) {
  const host = startInteractive('window-driver.js', [], { display: xs.display, audio: 'null', env });
  await host.next();
  await host.request({ op: 'setup' });
  const id = await findWindow(xs.display);
  const before = await windowInfo(xs.display, id);
  host.takeLines();
  const [enter] = await host.request({ op: 'commands', words: [8] });
  // The window manager answers asynchronously: pump until the size change arrives.
  const afterEnter = await host.request({ op: 'poll', until: 512 });
  const entered = await windowInfo(xs.display, id);
  const enterLines = host.takeLines();
  await host.request({ op: 'reset' });
  const [leave] = await host.request({ op: 'commands', words: [8] });
  await host.request({ op: 'poll', until: 512 });
  let left = await windowInfo(xs.display, id);
  for (let i = 0; i < 200 && (left.width !== before.width || left.height !== before.height); ++i) {
    await host.request({ op: 'poll', count: 1 });
    left = await windowInfo(xs.display, id);
  }
  const leaveLines = host.takeLines();
  const viewport = await host.request({ op: 'viewport' });
  await host.request({ op: 'quit' });
  const r = assertOk(await host.done);
  return { r, before, entered, left, enter, leave, enterLines, leaveLines, afterEnter, viewport };
}

test('fullscreen under a window manager: command 8 enters, a second returns the window to its size', async () => {
  const xs = await startXvfb({ wm: true });
  try {
    const t = await toggleTwice(xs);
    assert.equal(t.enter, 0);
    assert.equal(t.leave, 0);
    assert.deepEqual([t.before.width, t.before.height], [1400, 800]);
    assert.deepEqual([t.entered.width, t.entered.height, t.entered.x, t.entered.y], [1920, 1080, 0, 0]);
    assert.deepEqual([t.left.width, t.left.height], [1400, 800]);
    const sizes = t.afterEnter.records.filter((r) => r.type === 512);
    assert.deepEqual(sizes.at(-1), { ...sizes.at(-1), kind: 6, width: 1920, height: 1080 });

    const enter = t.enterLines.filter((l) => l && !l.startsWith('@'));
    // SDL reports no display DPI through XRandR here, so the mode is used unscaled.
    assert.equal(enter[0], "Current display's display mode: 1920x1080 0hz");
    // The vsync lines: adaptive vsync, or else its fallback to none (llvmpipe here has neither).
    const vsync = enter.slice(1, 3).join('|');
    assert.ok(['Adaptive vsync unsupported|Vsync disabled', 'Adaptive vsync unsupported|Unable to disable vscync']
      .includes(vsync) || enter[1] === 'Adaptive vsync enabled', enter.join('\n'));
    assert.ok(!enter.some((l) => l.startsWith('Scaling by DPI factors')));
    const leave = t.leaveLines.filter((l) => l && !l.startsWith('@'));
    assert.equal(leave[0], 'Old window display mode: 1920x1080 0hz');
    assert.match(leave[1], /^Fullscreen display mode: \d+x\d+ \d+hz$/);
    // The first resize only records the size (it stands for the renderer's first one), so the
    // size-changed record on entering logs nothing; the one on leaving logs its line.
    assert.ok(leave.includes('resized 1400x800'), leave.join('\n'));
    // Leaving keeps the swap interval: no vsync line.
    assert.ok(!leave.some((l) => /vsync|Vsync|vscync/.test(l)), leave.join('\n'));
    assert.deepEqual(t.viewport, [1400, 800]);
  } finally {
    xs.stop();
  }
});

test('fullscreen with a display DPI (XRandR off): the mode is scaled by the DPI factors', async () => {
  const xs = await startXvfb({ wm: true, extraArgs: ['-dpi', '120'] });
  try {
    const t = await toggleTwice(xs, { SDL_VIDEO_X11_XRANDR: '0' });
    const enter = t.enterLines.filter((l) => l && !l.startsWith('@'));
    // Xvfb rounds the screen's size in millimetres, so the factors come out near 120 / 96.
    const m = /^Scaling by DPI factors: (\d+\.\d{6})x(\d+\.\d{6})$/.exec(enter[0]);
    assert.ok(m, enter.join('\n'));
    const [fx, fy] = [Number(m[1]), Number(m[2])];
    assert.ok(Math.abs(fx - 1.25) < 0.01 && Math.abs(fy - 1.25) < 0.01, enter[0]);
    const w = Math.trunc(1920 * fx), h = Math.trunc(1080 * fy);
    assert.ok([-1, 0, 1].some((d) => enter[1] === `Current display's display mode: ${w + d}x${h + d} 0hz`
      || enter[1] === `Current display's display mode: ${w + d}x${h} 0hz` || enter[1] === `Current display's display mode: ${w}x${h + d} 0hz`), enter[1]);
    assert.equal(t.enter, 0);
    assert.deepEqual([t.left.width, t.left.height], [1400, 800]);
  } finally {
    xs.stop();
  }
});
