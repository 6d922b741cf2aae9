'use strict';
// The demo game run headless for a few hundred frames under a private X server, driven from
// outside with xdotool and xclip while it runs: it must end cleanly with no GL error and no failed
// check, print its frame-time figures, take the quality keys, the text field and a paste, and write
// a screenshot in which the 3D view and the panel are not flat and the panel's text lies where the
// demo says it put it.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { execFileSync, spawnSync } = require('node:child_process');
const { startXvfb, runHost, buildDir, hostEnv, sanitized } = require('./harness');
const { findWindow, xdotool, xclipIn } = require('./window-helpers');
const { decodePpm } = require('./render-helpers');
const { runEmulated, emulatedReport } = require('./usb-helpers');

const root = path.resolve(__dirname, '..', '..');
const FRAMES = 200;

let xs;
let run;
let shot;
let layout;
let state;
const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tm-demo-'));
const png = path.join(dir, 'demo.png');

test.before(async () => {
  xs = await startXvfb();
  execFileSync(path.join(root, 'scripts', 'demo-assets.sh'));
  let driven = null;
  run = await runHost(path.relative(path.join(root, 'tests', 'hosts'), path.join(root, 'app', 'main.js')),
    ['--frames', FRAMES, '--screenshot', png], {
      display: xs.display, audio: 'null', timeout: 240000,
      // Once the window is up, the keys: the three quality levels, F3 on and off, then the field.
      onLine: (line) => {
        if (line !== 'Native ready' || driven) return;
        driven = (async () => {
          const id = await findWindow(xs.display);
          await xdotool(xs.display, 'windowfocus', '--sync', id);
          await xclipIn(xs.display, ' and pasted');
          await xdotool(xs.display, 'key', '--window', id, '1', '2', '3', 'F3', 'F3', 'Tab');
          await xdotool(xs.display, 'type', '--window', id, 'typed');
          await xdotool(xs.display, 'key', '--window', id, 'ctrl+v');
        })();
      },
    });
  await driven;
  const line = (prefix) => {
    const found = run.stdout.split('\n').find((l) => l.startsWith(prefix));
    assert.ok(found, `a line starting "${prefix}"\n${run.stdout.slice(-2000)}`);
    return JSON.parse(found.slice(prefix.length));
  };
  layout = line('demo: layout ');
  state = line('demo: state ');
  shot = decodePpm(execFileSync('convert', [png, '-depth', '8', 'ppm:-'], { maxBuffer: 64 << 20 }));
});
test.after(() => { xs.stop(); fs.rmSync(dir, { recursive: true, force: true }); });

const luma = ([r, g, b]) => 0.299 * r + 0.587 * g + 0.114 * b;

// Luma statistics over the rectangle [x0, x1) x [y0, y1), every `step` pixels.
function stats(x0, y0, x1, y1, step = 1) {
  let min = 255, max = 0, sum = 0, sq = 0, n = 0;
  for (let y = y0; y < y1; y += step) {
    for (let x = x0; x < x1; x += step) {
      const l = luma(shot.pixel(x, y));
      min = Math.min(min, l); max = Math.max(max, l); sum += l; sq += l * l; ++n;
    }
  }
  const mean = sum / n;
  return { min, max, mean, sd: Math.sqrt(Math.max(0, sq / n - mean * mean)) };
}

test('the demo runs its frames and ends cleanly: no GL error, no failed check, frame-time figures', () => {
  assert.equal(run.code, 0, run.stderr.slice(-3000));
  assert.equal(run.signal, null);
  assert.doesNotMatch(run.stderr, /GL ERROR|GL message|Assertion failed|Unable to compile shader|init error/);
  assert.match(run.stdout, new RegExp(`^demo: ${FRAMES} frames in [0-9.]+ s; frame time mean [0-9.]+ ms, median [0-9.]+ ms, ` +
    '95th percentile [0-9.]+ ms, max [0-9.]+ ms \\([0-9.]+ fps\\)$', 'm'));
  assert.match(run.stdout, new RegExp(`^demo: screenshot written to ${png.replace(/[.]/g, '\\.')}$`, 'm'));
  assert.doesNotMatch(run.stdout, /sound .* missing/);
  assert.match(run.stdout, /^Quitting Native$/m);
});

test('keys, typing and a paste reached the demo while it ran', () => {
  assert.deepEqual(state.quality, { shadow: 3, ssao: 3, aa: 2 });
  assert.equal(state.debugView, false);
  assert.equal(state.focused, true);
  assert.equal(state.field, 'typed and pasted');
});

test('the screenshot: a window-sized image whose 3D view and panel are not flat', () => {
  assert.deepEqual([shot.width, shot.height], [1400, 800]);
  const view = stats(660, 40, 1380, 780, 4);
  assert.ok(view.sd > 12 && view.max - view.min > 80, `3D view varies: ${JSON.stringify(view)}`);
  const panel = stats(16, 16, 616, 620, 2);
  assert.ok(panel.sd > 12 && panel.max - panel.min > 150, `panel varies: ${JSON.stringify(panel)}`);
  // The panel is dark where it has no text: a band between the outlined line and the help lines.
  const gap = stats(24, 392, 600, 404);
  assert.ok(gap.max < 70 && gap.max - gap.min < 40, `empty panel band is dark and even: ${JSON.stringify(gap)}`);
});

test('text is where the panel says: ink spans each line\'s measured width and nothing lies past it', () => {
  for (const name of ['title', 'quality', 'latin', 'cyrillic', 'greek', 'cjk', 'emoji', 'controls']) {
    const [x, top, width, height] = layout[name];
    const y0 = Math.round(top), y1 = Math.round(top + height);
    const background = stats(x + width + 12, y0, Math.min(x + width + 40, 610), y1);
    // Columns with ink: some pixel much brighter than the panel around it.
    const inkColumns = [];
    for (let cx = x - 10; cx < Math.min(x + width + 10, 612); ++cx) {
      let ink = false;
      for (let cy = y0; cy < y1 && !ink; ++cy) ink = luma(shot.pixel(cx, cy)) > background.max + 60;
      if (ink) inkColumns.push(cx);
    }
    assert.ok(inkColumns.length > width * 0.4, `${name}: ink in ${inkColumns.length} of ${width} columns`);
    assert.ok(Math.abs(inkColumns[0] - x) <= 6, `${name}: ink starts at ${inkColumns[0]}, layout x ${x}`);
    assert.ok(Math.abs(inkColumns.at(-1) - (x + width)) <= 8,
      `${name}: ink ends at ${inkColumns.at(-1)}, layout end ${x + width}`);
    // Bright strokes and dark panel between them: the line is not smeared into a block.
    const band = stats(x, y0, x + width, y1);
    assert.ok(band.max > 170 && band.min < 70, `${name}: contrast ${JSON.stringify(band)}`);
  }
});

test('outlined text: a white body inside an orange outline', () => {
  const [x, top, width, height] = layout.outlined;
  let white = 0, orange = 0;
  for (let y = Math.round(top); y < top + height; ++y) {
    for (let cx = x; cx < x + width; ++cx) {
      const [r, g, b] = shot.pixel(cx, y);
      if (r > 215 && g > 215 && b > 215) ++white;
      if (r > 200 && g > 60 && g < 170 && b < 90) ++orange;
    }
  }
  assert.ok(white > 300, `white body pixels: ${white}`);
  assert.ok(orange > 300, `orange outline pixels: ${orange}`);
});

test('with the adapter connected the demo reads one report a frame and shows the latest', async () => {
  const r = await runEmulated('adapter', path.relative(path.join(root, 'tests', 'hosts'), path.join(root, 'app', 'main.js')),
    ['--frames', 12], { display: xs.display });
  assert.equal(r.code, 0, r.stderr.slice(-3000));
  const line = r.stdout.split('\n').find((l) => l.startsWith('demo: state '));
  const adapterState = JSON.parse(line.slice('demo: state '.length));
  assert.equal(adapterState.adapter, 12);
  assert.deepEqual(adapterState.lastReport, emulatedReport(12));
});

// npm start runs the plain build (it builds it first); the sanitized run leaves it to the plain one.
test('npm start without a display: a private X server, the default screenshot, figures, sound to nothing', {
  skip: sanitized && 'npm start uses the plain build',
}, () => {
  const env = { ...process.env, TESSIMARKE_BUILD_DIR: path.relative(root, buildDir) };
  for (const name of ['DISPLAY', 'ALSOFT_DRIVERS', 'ALSOFT_CONF', 'TESSIMARKE_ADDON']) delete env[name];
  const shotPath = path.join(buildDir, 'demo-screenshot.png');
  fs.rmSync(shotPath, { force: true });
  const r = spawnSync('bash', [path.join(root, 'scripts', 'start.sh'), '--frames', '3'], { cwd: root, env, encoding: 'utf8', timeout: 240000 });
  assert.equal(r.status, 0, r.stdout.slice(-2000) + r.stderr.slice(-2000));
  assert.match(r.stdout, /^start: no display; running the demo headless on a private X server \(:\d+\)$/m);
  assert.match(r.stdout, /^Opened "No Output"$/m, 'OpenAL plays to its null backend');
  assert.match(r.stdout, /^demo: 3 frames in /m);
  assert.match(r.stdout, new RegExp(`^demo: screenshot written to ${shotPath.replace(/[.]/g, '\\.')}$`, 'm'));
  assert.ok(fs.statSync(shotPath).size > 1000);
  assert.doesNotMatch(r.stderr, /GL ERROR|Assertion failed/);
});

test('a wrong option is named and ends the demo before the window opens', () => {
  for (const [args, message] of [[['--frames', '0'], /--frames needs a whole number of frames, got 0/],
    [['--screenshot'], /--screenshot needs a file name/], [['--fast'], /unknown option --fast \(options: --frames N, --screenshot FILE\)/]]) {
    const r = spawnSync(process.execPath, [path.join(root, 'app', 'main.js'), ...args], { cwd: root, env: hostEnv(), encoding: 'utf8', timeout: 30000 });
    assert.equal(r.status, 2, r.stderr);
    assert.match(r.stderr, message);
    assert.doesNotMatch(r.stdout, /SDL2 initialized/);
  }
});
