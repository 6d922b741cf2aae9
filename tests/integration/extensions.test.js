'use strict';
// The extensions from a real host under a private X server: window title and size measured from
// outside, the render scale on screen and its frame-time figure, the opt-in wheel record; the
// listener and music through OpenAL Soft's wave writer; the sprite atlas on screen.
const test = require('node:test');
const assert = require('node:assert/strict');
const { startXvfb, assertOk } = require('./harness');
const { startInteractive, findWindow, windowInfo, xdotool, x } = require('./window-helpers');
const { screenshot, assertPixel } = require('./render-helpers');

let xs;
test.before(async () => { xs = await startXvfb(); });
test.after(() => xs.stop());

const LP = { LP_NUM_THREADS: '0' };

// The id of the window titled exactly `title`.
async function windowNamed(title) {
  const out = await x(xs.display, 'xdotool', ['search', '--name', `^${title}$`]);
  return out.trim().split('\n').filter(Boolean).pop();
}

test('window: title and size from outside, render scale on screen, after quit every call answers', { timeout: 240000 }, async (t) => {
  const host = startInteractive('extensions.js', [], { display: xs.display, audio: 'null', env: LP });
  await host.next();
  assert.deepEqual(await host.request({ op: 'setup' }), [1400, 800]);
  const id = await findWindow(xs.display);

  assert.equal(await host.request({ op: 'title', title: 'Arena 3' }), true);
  assert.equal(await windowNamed('Arena 3'), id);
  assert.equal((await windowInfo(xs.display, id)).title, 'Arena 3');

  const sized = await host.request({ op: 'size', width: 700, height: 400 });
  assert.equal(sized.asked, true);
  assert.deepEqual(sized.seen.at(-1), [700, 400]);
  assert.deepEqual(sized.size, [700, 400]);
  const info = await windowInfo(xs.display, id);
  assert.deepEqual([info.width, info.height], [700, 400]);
  assert.ok(host.takeLines().includes('resized 700x400'));

  // Out of range: the addon answers -1 and changes nothing.
  for (const [name, args] of [['setWindowSize', [0, 400]], ['setWindowSize', [700, 16385]], ['setWindowSize', ['NaN', 5]],
    ['setRenderScale', [0.2]], ['setRenderScale', [1.5]], ['setRenderScale', ['NaN']],
    ['setWindowTitle', ['x'.repeat(1025)]], ['setWindowTitle', ['a\0b']]]) {
    assert.equal(await host.request({ op: 'raw', name, args }), -1, `${name}(${args})`);
  }
  assert.equal(await host.request({ op: 'raw', name: 'enableEvent', args: [1024, true] }), 0);

  // Half scale: the scene still covers the whole window, the interface square is drawn at the
  // window's own pixels. Full scale for comparison.
  const figures = {};
  for (const scale of [1, 0.5]) {
    const f = await host.request({ op: 'frames', scale, count: 6, ssao: 3 });
    figures[scale] = f.ms;
    const shot = await screenshot(xs.display, id);
    assert.equal(shot.width, 700);
    assertPixel(shot, 40, 40, [0, 0, 255], 2, `interface square at scale ${scale}`);
    assertPixel(shot, 61, 40, shot.pixel(75, 40), 40, `beside the square at scale ${scale}`);
    const box = shot.pixel(...f.box), floor = shot.pixel(...f.floor);
    assert.ok(box[0] > box[1] + 40, `box red at scale ${scale}: ${box}`);
    assert.ok(Math.abs(floor[0] - floor[1]) < 25 && floor[0] > 40, `floor grey at scale ${scale}: ${floor}`);
  }
  t.diagnostic(`frame time at 700x400, ssao 3: scale 1 ${figures[1].toFixed(1)} ms, scale 0.5 ${figures[0.5].toFixed(1)} ms, ratio ${(figures[0.5] / figures[1]).toFixed(2)}`);

  const end = await host.request({ op: 'quit' });
  assert.deepEqual(end.after, { title: 1, size: 1, scale: 0, wheel: 1 });
  assertOk(await host.done);
});

test('wheel: the log line by default, records once enabled, the log line again once disabled', { timeout: 120000 }, async () => {
  const host = startInteractive('extensions.js', [], { display: xs.display, audio: 'null', env: LP });
  await host.next();
  await host.request({ op: 'setup' });
  const id = await findWindow(xs.display);
  await xdotool(xs.display, 'mousemove', '--window', id, '100', '100');
  const pollFor = async (type) => {
    for (let i = 0; i < 200; ++i) {
      const events = (await host.request({ op: 'poll' })).filter((e) => e.type === type);
      if (events.length) return events;
    }
    throw new Error(`no ${type} event`);
  };
  await pollFor('mouseMove');
  host.takeLines();

  await xdotool(xs.display, 'click', '4', 'mousemove', '--window', id, '101', '100');
  await pollFor('mouseMove');
  assert.ok(host.takeLines().includes('got other SDL event: 1027'));

  await host.request({ op: 'wheel', on: true });
  await xdotool(xs.display, 'click', '4', 'click', '5', 'click', '5');
  const wheel = [];
  while (wheel.length < 3) wheel.push(...await pollFor('mouseWheel'));
  assert.deepEqual(wheel.map(({ x: wx, y, preciseX, preciseY, flipped }) => [wx, y, preciseX, preciseY, flipped]),
    [[0, 1, 0, 1, false], [0, -1, 0, -1, false], [0, -1, 0, -1, false]]);
  assert.ok(!host.takeLines().includes('got other SDL event: 1027'));

  await host.request({ op: 'wheel', on: false });
  await xdotool(xs.display, 'click', '4', 'mousemove', '--window', id, '102', '100');
  await pollFor('mouseMove');
  assert.ok(host.takeLines().includes('got other SDL event: 1027'));
  await host.request({ op: 'quit' });
  assertOk(await host.done);
});
