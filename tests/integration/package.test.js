'use strict';
// The README's "Use it in your own game", performed as written: the package packed from this
// checkout, a new project in a folder outside it installing the tarball (which builds the addon
// there; without a Debian package it names the apt-get line), and the README's minimal host run
// from that project with nothing else set up: its text drawn from the installed package's fonts,
// its chime played (captured by the wave writer) when Space is pressed, and a clean end when the
// window is closed. Slow: the addon is compiled inside the project (ccache, when the environment
// names it as a compiler launcher, is used as here).
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const crypto = require('node:crypto');
const { spawnSync } = require('node:child_process');
const { root, startXvfb, hostEnv } = require('./harness');
const { startGame, closeWindow, findWindow, xdotool } = require('./window-helpers');
const { waitForText } = require('./render-helpers');
const { readWav, peak } = require('./audio-helpers');

const readme = fs.readFileSync(path.join(root, 'README.md'), 'utf8');

// The first code block of `lang` after `heading`.
function block(heading, lang) {
  const at = readme.indexOf(heading);
  assert.ok(at >= 0, `the README has "${heading}"`);
  const m = new RegExp('```' + lang + '\\n([\\s\\S]*?)```').exec(readme.slice(at));
  assert.ok(m, `with a ${lang} block`);
  return m[1];
}

// The steps of "Use it in your own game": its second sh block (the first is the apt-get line).
function installSteps() {
  const at = readme.indexOf('## Use it in your own game');
  assert.ok(at >= 0, 'the README has "Use it in your own game"');
  const blocks = [...readme.slice(at).matchAll(/```sh\n([\s\S]*?)```/g)].map((m) => m[1]);
  assert.ok(blocks[1] && blocks[1].includes('npm install'), 'with the install steps');
  return blocks[1].replaceAll('/path/to/tessimarke', root);
}

test('the README\'s own-game steps: packed, installed and built in a new project, the minimal host runs there with text and sound', async () => {
  // A fixed place per checkout, so that compiler caching carries over from one run to the next.
  const parent = path.join(os.tmpdir(), `tm-own-game-${crypto.createHash('sha1').update(root).digest('hex').slice(0, 8)}`);
  fs.rmSync(parent, { recursive: true, force: true });
  fs.mkdirSync(parent);
  const env = { ...process.env, npm_config_prefer_offline: 'true', npm_config_audit: 'false', npm_config_fund: 'false' };
  for (const name of ['TESSIMARKE_ADDON', 'TESSIMARKE_BUILD_DIR', 'DISPLAY']) delete env[name];
  const install = spawnSync('bash', ['-euo', 'pipefail', '-c', installSteps()],
    { cwd: parent, env, encoding: 'utf8', timeout: 900000 });
  assert.equal(install.status, 0, install.stdout.slice(-3000) + install.stderr.slice(-3000));
  const game = path.join(parent, 'my-game');
  const installed = path.join(game, 'node_modules', 'tessimarke');
  assert.ok(fs.existsSync(path.join(installed, 'build', 'tessimarke.node')), 'the addon was built in the project');
  assert.ok(fs.existsSync(path.join(game, 'node_modules', 'gl-matrix')));
  // Only the addon was built, and the tarball carried no tests.
  assert.ok(!fs.existsSync(path.join(installed, 'build', 'unit_tests')));
  assert.ok(!fs.existsSync(path.join(installed, 'tests')));
  // Without a Debian package the addon needs, the install script names it and the apt-get line.
  const fakeBin = path.join(parent, 'bin');
  fs.mkdirSync(fakeBin);
  fs.writeFileSync(path.join(fakeBin, 'dpkg-query'),
    '#!/bin/sh\ncase "$*" in *libglew-dev*) exit 1;; esac\nexec /usr/bin/dpkg-query "$@"\n', { mode: 0o755 });
  const refused = spawnSync('bash', [path.join(installed, 'scripts', 'install.sh')],
    { env: { ...env, PATH: `${fakeBin}:${env.PATH}` }, encoding: 'utf8' });
  assert.equal(refused.status, 1);
  assert.match(refused.stderr, /needs these Debian packages, which are not installed: libglew-dev\n/);
  assert.match(refused.stderr, /^ {2}sudo apt-get update && sudo apt-get install -y --no-install-recommends libglew-dev$/m);
  fs.writeFileSync(path.join(game, 'hello.js'), block('### A minimal host', 'js'));

  const xs = await startXvfb({ wm: true });
  const wave = path.join(parent, 'out.wav');
  try {
    const runEnv = hostEnv({ display: xs.display, audio: { wave } });
    delete runEnv.TESSIMARKE_ADDON;
    delete runEnv.TESSIMARKE_BUILD_DIR;
    const run = startGame(['hello.js'], { cwd: game, env: runEnv });
    run.ready.catch(() => {});  // a game says nothing of its own start-up
    const id = await findWindow(xs.display, 'Hello');
    const { ink } = await waitForText(xs.display, id);
    await xdotool(xs.display, 'key', '--window', id, 'space');
    // The chime is written to the file as it plays.
    let loudest = 0;
    for (const until = Date.now() + 30000; loudest <= 0.05 && Date.now() < until;) {
      await new Promise((r) => setTimeout(r, 500));
      loudest = peak(readWav(wave));
    }
    const { code, signal, stdout, stderr } = await closeWindow(xs.display, id, run.done);
    assert.equal(signal, null, stderr);
    assert.equal(code, 0, stderr);
    assert.doesNotMatch(stderr, /Unable to open|Paths tried|Error loading icon|Assertion failed|GL ERROR/);
    assert.equal(stdout, '', 'quiet: the fonts and icon were found (their errors would show)');
    assert.ok(ink > 300, `white text at the top left: ${ink} pixels`);
    assert.ok(loudest > 0.05, `the chime was played: peak ${loudest}`);
    assert.ok(peak(readWav(wave)) > 0.05);
  } finally {
    xs.stop();
  }
  fs.rmSync(parent, { recursive: true, force: true });
});
