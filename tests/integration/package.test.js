'use strict';
// The README's "Use it in your own game" as written: packed, installed and built in a new project (or
// the apt-get line named), and its minimal host run there (slow: the addon is compiled there); npm start.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const crypto = require('node:crypto');
const { spawnSync } = require('node:child_process');
const { root, startXvfb, hostEnv, timeScale, buildDir, sanitized } = require('./harness');
const { startGame, closeWindow, findWindow, xdotool } = require('./window-helpers');
const { screenshot } = require('./render-helpers');
const { readWav, peak } = require('./audio-helpers');

test('the README\'s own-game steps: packed, installed and built in a new project, the minimal host runs there: cube, floor, text and sound', async () => {
  const readme = fs.readFileSync(path.join(root, 'README.md'), 'utf8');
  const blocks = (heading, lang) => [...readme.slice(readme.indexOf(heading)).matchAll(new RegExp('```' + lang + '\\n([\\s\\S]*?)```', 'g'))].map((m) => m[1]);
  const steps = blocks('## Use it in your own game', 'sh')[1];  // the first is the apt-get line
  assert.ok(steps && steps.includes('npm install'), 'the README has the install steps');
  // A fixed place per checkout, so that compiler caching carries over from one run to the next.
  const parent = path.join(os.tmpdir(), `tm-own-game-${crypto.createHash('sha1').update(root).digest('hex').slice(0, 8)}`);
  fs.rmSync(parent, { recursive: true, force: true });
  fs.mkdirSync(path.join(parent, 'bin'), { recursive: true });
  const env = { ...process.env, npm_config_prefer_offline: 'true', npm_config_audit: 'false', npm_config_fund: 'false' };
  for (const name of ['TESSIMARKE_ADDON', 'TESSIMARKE_BUILD_DIR', 'DISPLAY']) delete env[name];
  const install = spawnSync('bash', ['-euo', 'pipefail', '-c', steps.replaceAll('/path/to/tessimarke', root)], { cwd: parent, env, encoding: 'utf8', timeout: 900000 });
  assert.equal(install.status, 0, install.stdout.slice(-3000) + install.stderr.slice(-3000));
  const game = path.join(parent, 'my-game'), installed = path.join(game, 'node_modules', 'tessimarke');
  // Only the addon was built, beside its dependency, and the tarball carried no tests.
  assert.deepEqual(['build/tessimarke.node', '../gl-matrix', 'build/unit_tests', 'tests'].map((f) => fs.existsSync(path.join(installed, f))), [true, true, false, false]);
  // Without a Debian package the addon needs, the install script names it and the apt-get line.
  fs.writeFileSync(path.join(parent, 'bin', 'dpkg-query'), '#!/bin/sh\ncase "$*" in *libglew-dev*) exit 1;; esac\nexec /usr/bin/dpkg-query "$@"\n', { mode: 0o755 });
  const refused = spawnSync('bash', [path.join(installed, 'scripts', 'install.sh')], { env: { ...env, PATH: `${path.join(parent, 'bin')}:${env.PATH}` }, encoding: 'utf8' });
  assert.ok(refused.status === 1 && /needs these Debian packages, which are not installed: libglew-dev\n/.test(refused.stderr)
    && /^ {2}sudo apt-get update && sudo apt-get install -y --no-install-recommends libglew-dev$/m.test(refused.stderr), refused.stderr);

  const hello = blocks('### A minimal host', 'js')[0];
  assert.ok(hello.trimEnd().split('\n').length <= 50, 'about 40 lines');
  fs.writeFileSync(path.join(game, 'hello.js'), hello);
  const xs = await startXvfb({ wm: true });
  const wave = path.join(parent, 'out.wav');
  try {
    const { TESSIMARKE_ADDON, TESSIMARKE_BUILD_DIR, ...runEnv } = hostEnv({ display: xs.display, audio: { wave } });  // the installed addon
    const run = startGame(['hello.js'], { cwd: game, env: runEnv });
    run.ready.catch(() => {});  // a game says nothing of its own start-up
    const id = await findWindow(xs.display, 'Hello');
    // Screenshots until the line of text shows (over 300 white pixels in x 40-400, y 30-70): the glyphs reach the
    // atlas a frame after their first use, and software GL on a loaded machine takes seconds a frame.
    let shot, ink = 0;
    for (const until = Date.now() + 60000 * timeScale; ink <= 300 && Date.now() < until; await new Promise((r) => setTimeout(r, 500))) {
      shot = await screenshot(xs.display, id), ink = 0;
      for (let y = 30; y < 70; ++y) for (let x = 40; x < 400; ++x) ink += shot.pixel(x, y).every((c) => c > 230);
    }
    const [r, g, b] = shot.pixel(700, 420), sky = shot.pixel(1300, 40), floor = shot.pixel(700, 700);
    assert.ok(r > g && g > b && r - b > 60, `the cube is orange at the middle: ${[r, g, b]}`);
    assert.ok(sky[2] > sky[0] && sky[2] > 120 && Math.abs(floor[0] - floor[2]) < 40 && floor[0] > 100, `sky above ${sky}, grey floor below ${floor}`);
    await xdotool(xs.display, 'key', '--window', id, 'space');
    // The chime is written to the file as it plays.
    let loudest = 0;
    for (const until = Date.now() + 60000 * timeScale; loudest <= 0.05 && Date.now() < until;) loudest = await new Promise((r) => setTimeout(r, 500)).then(() => peak(readWav(wave)));
    const { code, signal, stdout, stderr } = await closeWindow(xs.display, id, run.done);
    assert.ok(code === 0 && signal === null && !/Unable to open|Paths tried|Error loading icon|Assertion failed|GL ERROR/.test(stderr), stderr);
    // Quiet: the fonts and icon were found (their errors would show).
    assert.deepEqual([stdout, ink > 300, loudest > 0.05], ['', true, true], `text ink ${ink}, chime peak ${loudest}`);
  } finally {
    xs.stop();
  }
  fs.rmSync(parent, { recursive: true, force: true });
});

// npm start sets up and runs the plain build (never in a mutated tree: it may install and build); the sanitized run leaves it to the plain one.
test('npm start without a display: a private X server, the default screenshot, figures, sound to nothing', {
  skip: sanitized && 'npm start uses the plain build',
}, () => {
  const env = { ...process.env, TESSIMARKE_BUILD_DIR: path.relative(root, buildDir) };
  for (const name of ['DISPLAY', 'ALSOFT_DRIVERS', 'ALSOFT_CONF', 'TESSIMARKE_ADDON']) delete env[name];
  const shot = path.join(buildDir, 'demo-screenshot.png');
  fs.rmSync(shot, { force: true });
  const r = spawnSync('bash', [path.join(root, 'scripts', 'start.sh'), '--frames', '3'], { cwd: root, env, encoding: 'utf8', timeout: 600000 });
  assert.ok(r.status === 0 && !/GL ERROR|GL message|Assertion failed|Unable to compile shader|init error/.test(r.stderr), r.stdout.slice(-2000) + r.stderr);
  for (const line of [/^start: no display; running the demo headless on a private X server \(:\d+\)$/m, /^Opened "No Output"$/m, /^demo: 3 frames in /m,
    new RegExp(`^demo: screenshot written to ${shot.replace(/[.]/g, '\\.')}$`, 'm')]) assert.match(r.stdout, line);
  assert.ok(fs.statSync(shot).size > 1000);
});
