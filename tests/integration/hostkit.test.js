'use strict';
// The host kit against the real addon (with the flat-colour test shaders of tests/shaders): command
// results read back, text aligned by the kit on screen.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { startXvfb, assertOk } = require('./harness');
const { startInteractive, findWindow } = require('./window-helpers');
const { screenshot } = require('./render-helpers');

// The host: the kit's graphics with the test shaders, answering one request per line.
function kitHost({ shaderDir }) {
  const { startScene } = require('./kit-scene');
  const s = startScene({ shaderDir });
  const { kit, buffers, gfx } = s;
  const cmd = s.commands;
  const run = (write) => { const at = write(); cmd.tick(); return at.map((i) => cmd.result(i)); };
  serveRequests({
    // A 0.3 s tone in sound 3 played, then its source paused, turned down and stopped; logs and each
    // face of text; the glyph batches' blocks are the six after the table's last.
    commands() {
      const pcm = Buffer.alloc(13230);
      for (let i = 0; i < 6615; ++i) pcm.writeInt16LE(Math.round(8000 * Math.sin(i * 0.1)), i * 2);
      const out = { load: kit.addon.initALBuffer(3, pcm, kit.addon.AL_FORMAT_MONO16, 22050), exports: Object.getOwnPropertyNames(require('tessimarke')).sort() };
      out.play = run(() => [cmd.play(3, { gain: 0.5, pitch: 1.2, x: 1, z: -1 })]);
      out.source = run(() => [cmd.pause(out.play[0]), cmd.gain(out.play[0], 0.25), cmd.resumeAll(), cmd.stop(out.play[0])]);
      out.log = run(() => [cmd.log('hostkit: first line\n'), cmd.log('hostkit: ünïcödé λ 漢字\n')]);
      out.text = run(() => [cmd.textColor(1, 0.5, 0, 1), cmd.text('plain sans', 100, 100, { size: 32 }), cmd.text('mono', 100, 150, { font: 'mono' }),
        cmd.text('outlined', 100, 200, { size: 40, outline: true }), cmd.text('squeezed into forty pixels', 100, 250, { maxWidth: 40 }),
        cmd.text('Ω', 100, 300, { font: 'fallback' })]);
      gfx.render();
      const last = Math.max(...gfx.table), probe = buffers.nextBuffer(4);
      out.glyphs = Array.from({ length: probe.id - last - 1 }, (_, k) => last + 1 + k).filter((id) => kit.addon.getBuffer(id).byteLength >= 2400000)
        .map((id) => buffers.lenBuffer(id));
      return out;
    },
    // Text right-aligned on x 1300 and centred on x 700, drawn twice so the glyphs come from the atlas.
    text() {
      gfx.clearAll();
      const widths = {};
      for (let frame = 0; frame < 2; ++frame) {
        cmd.textColor(1, 1, 1);
        widths.right = kit.drawText(cmd, 'Right aligned', 1300, 650, { size: 40, align: 'right' }).width;
        widths.center = kit.drawText(cmd, 'Centred', 700, 750, { size: 40, align: 'center', font: 'mono' }).width;
        cmd.tick();
        gfx.render();
      }
      return widths;
    },
    quit: () => kit.addon.quit(),
  });
}

let xs, host, id;
test.before(async () => {
  xs = await startXvfb();
  host = startInteractive('run.js', [kitHost.toString(), JSON.stringify({ shaderDir: path.join(__dirname, '..', 'shaders') })],
    { display: xs.display, audio: 'null' });
  await host.next();
  id = await findWindow(xs.display);
});
test.after(async () => {
  xs.stop();
  assert.doesNotMatch((await host.done).stderr, /capacity modified|GL ERROR/);
});

test('text aligned by the kit on the addon\'s measures lands where it says', async () => {
  const widths = await host.request({ op: 'text' });
  const shot = await screenshot(xs.display, id);
  const inkColumns = (y0, y1) => [...Array(shot.width).keys()].filter((cx) => [...Array(y1 - y0).keys()].some((k) => shot.pixel(cx, y0 + k)[0] > 128));
  const right = inkColumns(610, 662), centred = inkColumns(710, 762);
  assert.ok(Math.abs(right.at(-1) - 1300) <= 4, `right-aligned ink ends at ${right.at(-1)}`);
  assert.ok(Math.abs(right[0] - (1300 - widths.right)) <= 6, `and starts one measured width before: ${right[0]}, ${widths.right}`);
  assert.ok(Math.abs((centred[0] + centred.at(-1)) / 2 - 700) <= 4, `centred ink spans ${centred[0]}..${centred.at(-1)}`);
});

test('commands on a playing source, logs and every face of text run by tick, each result read back by its index', async () => {
  const out = await host.request({ op: 'commands' });
  // require('tessimarke') is the addon's 26 exports, as its typings declare them.
  const typed = fs.readFileSync(path.join(__dirname, '..', '..', 'lib', 'index.d.ts'), 'utf8');
  assert.deepEqual(out.exports, [...typed.matchAll(/^export (?:function|const) (\w+)/gm)].map((m) => m[1]).sort());
  assert.equal(out.exports.length, 26);
  assert.ok(out.play[0] > 0, 'play got a source');
  assert.deepEqual([out.load, out.source, out.log, out.text], [0, [0, 0, 0, 0], [0, 0], [0, 0, 0, 0, 0, 0]]);
  // The plain batch got the four plain runs; the outlined batch exactly "outlined": 8 glyphs, 16
  // triangles, so 9, 6 and 12 floats per triangle in its three blocks.
  const [p, t, c, ...outlined] = out.glyphs;
  assert.ok(p > 0 && p / 9 === t / 6 && p / 9 === c / 12, String(out.glyphs));
  assert.deepEqual(outlined, [144, 96, 192]);
  await host.request({ op: 'quit' });
  assert.match(assertOk(await host.done).stdout, /^hostkit: first line\nhostkit: ünïcödé λ 漢字$/m);
});
