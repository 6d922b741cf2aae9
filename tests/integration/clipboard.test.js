'use strict';
// copy and paste through SDL's clipboard, with xclip as the other program on the X display.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { startXvfb, runHost, assertAborted, assertOk, root } = require('./harness');
const { startInteractive, xclipOut, xclipIn } = require('./window-helpers');

let xs;
test.before(async () => { xs = await startXvfb(); });
test.after(() => xs.stop());
const TEXT = 'Grüße aus Tessimarke: ✓ 😀 — ½';

test('copy then paste round-trips multi-byte UTF-8; copy("") empties it; paste ignores arguments', async () => {
  const r = assertOk(await runHost('clipboard-run.js', ['roundtrip'], { display: xs.display, audio: 'null' }));
  assert.deepEqual(r.results, [[0, 'héllo wörld ✓ 😀 Ω', 'héllo wörld ✓ 😀 Ω'], [0, '']]);
});

test('text set with copy is read by xclip while the host keeps pumping', async () => {
  const host = startInteractive('window-driver.js', [], { display: xs.display, audio: 'null' });
  await host.next();
  await host.request({ op: 'setup' });
  assert.equal(await host.request({ op: 'copy', text: TEXT }), 0);
  // SDL answers another program's request only while it pumps events.
  await host.request({ op: 'pumpStart' });
  const read = await xclipOut(xs.display);
  await host.request({ op: 'pumpStop' });
  assert.equal(read.toString('utf8'), TEXT);
  await host.request({ op: 'quit' });
  assertOk(await host.done);
});

test('text set by xclip is what paste returns; an image on the clipboard pastes as ""', async () => {
  const host = startInteractive('window-driver.js', [], { display: xs.display, audio: 'null' });
  await host.next();
  await host.request({ op: 'setup' });
  const owner = await xclipIn(xs.display, TEXT);
  try {
    assert.equal(await host.request({ op: 'paste' }), TEXT);
  } finally {
    owner.kill();
  }
  const png = fs.readFileSync(path.join(root, 'app', 'icons', 'icon.png'));
  const imageOwner = await xclipIn(xs.display, png, 'image/png');
  try {
    assert.equal(await host.request({ op: 'paste' }), '');
  } finally {
    imageOwner.kill();
  }
  await host.request({ op: 'quit' });
  assertOk(await host.done);
});

test('copy without a string argument fails status == napi_ok', async () => {
  assert.equal(assertAborted(await runHost('clipboard-run.js', ['noargs'], { display: xs.display, audio: 'null' }), 'status == napi_ok'), 'gfx');
  assertAborted(await runHost('clipboard-run.js', ['number'], { display: xs.display, audio: 'null' }), 'status == napi_ok');
});
