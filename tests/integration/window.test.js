'use strict';
// The window seen from outside: found by title with its size and icon, a missing icon, quit after GL work, the exported
// hybrid-graphics symbols, setBuffers' viewport pair, and fullscreen under a window manager. The start-up lines are the
// bridge test's golden table.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const { execFileSync } = require('node:child_process');
const { startXvfb, runFn, assertOk, addonPath, isolatedAddon } = require('./harness');
const { startHost, setupWindow, poll, resetQueue, findWindow, windowInfo, x } = require('./window-helpers');

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
const size = (info) => [info.width, info.height];
let xs;
test.before(async () => { xs = await startXvfb(); });
test.after(() => xs.stop());

test('the window: titled Tessimarke, 1400 x 800, with the 64 x 64 icon; a missing icon is logged and start-up goes on', async () => {
  const host = await startHost({ display: xs.display, audio: 'null' });
  const id = await findWindow(xs.display), info = await windowInfo(xs.display, id);
  assert.deepEqual([info.title, ...size(info)], ['Tessimarke', 1400, 800]);
  assert.match(await x(xs.display, 'xprop', ['-id', id, '_NET_WM_ICON']), /^_NET_WM_ICON\(CARDINAL\) = \s*Icon \(64 x 64\):/);
  await host.quit();
  assert.doesNotMatch(assertOk(await host.done).stderr, /Error creating|Error loading icon|GLEW|GL ERROR|GL message/);
  // Neither the working directory nor the addon's own package (the same folder) holds the icon.
  const pkg = isolatedAddon();
  const r = await runFn(() => addon.quit(), null, { display: xs.display, audio: 'null', cwd: pkg.dir, env: pkg.env })
    .finally(() => fs.rmSync(pkg.dir, { recursive: true }));
  assert.match(assertOk(r).stderr, /^Error loading icon file: .*app\/icons\/icon\.png.*$/m);
  assert.match(r.stdout, /^GLEW OK; version: /m);
});

test('quit ends SDL cleanly after GL work, run after run (no deadlock closing the display)', async () => {
  for (let round = 0; round < 10; ++round) {
    const runs = await Promise.all([0, 1].map(() => runFn((v) => {
      createFixed();
      addon.compileShader('solid', true, v);
      for (let i = 0; i < 20; ++i) addon.poll();
      addon.quit();
    }, '#version 400 core\nvoid main() { gl_Position = vec4(1.0); }\n', { display: xs.display, audio: 'null', timeout: 20000 })));
    for (const r of runs) assert.match(assertOk(r).stdout, /Closing SDL\n/, `host hung at quit in round ${round}:\n${r.stdout}`);
  }
});

test('the two hybrid-graphics symbols are exported data in the dynamic symbol table', () => {
  const out = execFileSync('nm', ['-D', '--defined-only', addonPath], { encoding: 'utf8' });
  for (const name of ['NvOptimusEnablement', 'AmdPowerXpressRequestHighPerformance']) assert.match(out, new RegExp(`^[0-9a-f]+ [DdBbGg] ${name}$`, 'm'), name);
});

test('setBuffers: a table shorter than its entries, or a pair block too small, leaves the pair native', async () => {
  const r = assertOk(await runFn(() => {
    const f = createFixed();
    f.header[0] = 64;
    // One byte: entry 0 reads 0 (as does every entry past the block), which names a fixed block,
    // whose fill length the pair must not overwrite.
    const [short, shortId] = addon.nextBuffer(1);
    new Uint8Array(short)[0] = 9;
    addon.setBuffers(shortId);
    const [tiny, tinyId] = addon.nextBuffer(4), [table, tableId] = addon.nextBuffer(58);
    new Uint8Array(tiny).fill(7);
    new Uint16Array(table)[0] = tinyId;
    addon.setBuffers(tableId);
    addon.quit();
    return [f.header[0], f.header[1], ...new Uint8Array(tiny)];
  }, null, { audio: 'null', env: { SDL_VIDEODRIVER: 'no-such-driver' } }));
  assert.deepEqual([r.stdout.includes('bufferIDs:\n  0 0 0 0 0 0 0 0 0 0 \n'), r.results[0]], [true, [64, 0, 7, 7, 7, 7]], r.stdout);
});

// Command 8 twice on a display (options of startXvfb) with a window manager, the window measured from outside after
// each (once it has the size asked for, if given: the manager answers in its own time). Returns the window before; for
// entering and leaving, the command's result, the records queued, the window and the lines logged; the pair at the end.
async function toggleTwice(display, env, fullSize = [1920, 1080]) {
  const xs = await startXvfb({ wm: true, ...display });
  try {
    const host = await startHost({ display: xs.display, audio: 'null', env });
    await host.run(setupWindow, {});
    const id = await findWindow(xs.display);
    const measure = async (want) => {
      let info = await windowInfo(xs.display, id);
      for (let i = 0; i < 600 && want && (info.width !== want[0] || info.height !== want[1]); ++i) {
        info = await poll(host).then(() => sleep(100)).then(() => windowInfo(xs.display, id));
      }
      return info;
    };
    const t = { before: await measure() };
    host.takeLines();
    for (const [step, want] of [['enter', fullSize], ['leave', [1400, 800]]]) {
      await resetQueue(host);
      const result = (await host.run((w, s) => runCommands(s.f, w), [8]))[0];
      // The window manager answers in its own time: pump until the size change arrives.
      const records = await poll(host, (rs) => rs.some((r) => r.type === 512));
      t[step] = { result, records, size: await measure(want), lines: host.takeLines().filter((l) => l && !l.startsWith('@')) };
    }
    t.viewport = await host.run((_, s) => Array.from(s.vp));
    await host.quit();
    assertOk(await host.done);
    return t;
  } finally {
    xs.stop();
  }
}

test('fullscreen under a window manager: command 8 enters, a second returns the window to its size', async () => {
  const { before, enter, leave, viewport } = await toggleTwice(), last = enter.records.filter((r) => r.type === 512).at(-1);
  assert.deepEqual([enter.result, leave.result, size(before), size(leave.size), viewport, [...size(enter.size), enter.size.x, enter.size.y],
    [last.kind, last.width, last.height]], [0, 0, [1400, 800], [1400, 800], [1400, 800], [1920, 1080, 0, 0], [6, 1920, 1080]]);
  // SDL reports no display DPI through XRandR here, so the mode is used unscaled. Then adaptive vsync, or else its
  // fallback to none (llvmpipe here has neither).
  assert.deepEqual([enter.lines[0], leave.lines[0]], ["Current display's display mode: 1920x1080 0hz", 'Old window display mode: 1920x1080 0hz']);
  assert.ok(['Adaptive vsync unsupported|Vsync disabled', 'Adaptive vsync unsupported|Unable to disable vscync']
    .includes(enter.lines.slice(1, 3).join('|')) || enter.lines[1] === 'Adaptive vsync enabled', enter.lines.join('\n'));
  assert.match(leave.lines[1], /^Fullscreen display mode: \d+x\d+ \d+hz$/);
  // The first resize only records the size (it stands for the renderer's first one): the record on entering logs
  // nothing, the one on leaving its line. Leaving keeps the swap interval: no vsync line.
  assert.deepEqual([enter.lines.some((l) => l.startsWith('resized')), leave.lines.includes('resized 1400x800'),
    leave.lines.some((l) => /vsync|Vsync|vscync/.test(l))], [false, true, false], leave.lines.join('\n'));
});

test('fullscreen with a display DPI (XRandR off): the mode is scaled by the DPI factors', async () => {
  const { enter, leave } = await toggleTwice({ extraArgs: ['-dpi', '120'] }, { SDL_VIDEO_X11_XRANDR: '0' }, null);
  // Xvfb rounds the screen's size in millimetres, so the factors come out near 120 / 96.
  const m = /^Scaling by DPI factors: (\d+\.\d{6})x(\d+\.\d{6})$/.exec(enter.lines[0]);
  assert.ok(m && Math.abs(m[1] - 1.25) < 0.01 && Math.abs(m[2] - 1.25) < 0.01, enter.lines.join('\n'));
  const mode = /^Current display's display mode: (\d+)x(\d+) 0hz$/.exec(enter.lines[1]);
  assert.ok(mode && Math.abs(mode[1] - 1920 * m[1]) <= 2 && Math.abs(mode[2] - 1080 * m[2]) <= 2, enter.lines[1]);
  assert.deepEqual([enter.result, ...size(leave.size)], [0, 1400, 800]);
});
