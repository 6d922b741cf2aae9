'use strict';
// The SDL event pump from a real host, with input sent from outside by xdotool: key, text, mouse,
// window-size and wheel events, accumulation across polls, a full EVENT_BUFFER, and no events.
const test = require('node:test');
const assert = require('node:assert/strict');
const { startXvfb, assertOk } = require('./harness');
const { startInteractive, findWindow, xdotool, x } = require('./window-helpers');

let xs;
test.before(async () => {
  xs = await startXvfb();
  // A spare keycode bound to é, so that xdotool sends it without rebinding the keymap mid-stream.
  await x(xs.display, 'xmodmap', ['-e', 'keycode 93 = eacute']);
});
test.after(() => xs.stop());

const SDL_SCANCODE_A = 4, SDLK_a = 97, SDL_SCANCODE_B = 5, SDLK_b = 98;
const SDL_SCANCODE_LSHIFT = 225, SDLK_LSHIFT = 0x400000e1, KMOD_LSHIFT = 0x0001;
const WHEEL_LINE = 'got other SDL event: 1027';

// A host with its buffers set up and its window focused; `fn(host, id)` drives it; quits after.
async function withHost(fn, { event = 4096 } = {}) {
  const host = startInteractive('window-driver.js', [], { display: xs.display, audio: 'null' });
  await host.next();
  await host.request({ op: 'setup', event });
  const id = await findWindow(xs.display);
  await xdotool(xs.display, 'windowfocus', '--sync', id);
  // Drain what start-up and focusing queued, then start from an empty queue.
  await host.request({ op: 'poll', count: 5 });
  await host.request({ op: 'reset' });
  host.takeLines();
  try {
    await fn(host, id);
  } finally {
    await host.request({ op: 'quit' });
  }
  return assertOk(await host.done);
}

// Polls until the host has logged `line`; returns every native line seen meanwhile. A wheel turn
// sent after other input is such a marker: once its line is out, everything before it was pumped.
async function pollUntilLine(host, line) {
  const seen = [];
  for (let i = 0; i < 500; ++i) {
    const result = await host.request({ op: 'poll', count: 1 });
    seen.push(...host.takeLines().filter((l) => l && !l.startsWith('@')));
    if (seen.includes(line)) return { result, seen };
  }
  throw new Error(`never logged: ${line}\n${seen.join('\n')}`);
}

const strip = ({ at, ...r }) => r;

test('key press and release: scancode, key code, modifiers, repeat; text input follows the press', async () => {
  await withHost(async (host) => {
    await xdotool(xs.display, 'key', 'a', 'shift+b', 'click', '4');
    const { result } = await pollUntilLine(host, WHEEL_LINE);
    const keys = result.records.filter((r) => r.type !== 1024).map(strip);
    assert.deepEqual(keys, [
      { type: 768, name: 'keyDown', scancode: SDL_SCANCODE_A, keycode: SDLK_a, mod: 0, repeat: 0, size: 11 },
      { type: 771, name: 'textInput', n: 1, bytes: [0x61], text: 'a', size: 4 },
      { type: 769, name: 'keyUp', scancode: SDL_SCANCODE_A, keycode: SDLK_a, mod: 0, repeat: 0, size: 11 },
      // SDL sets the modifier state before it reports the modifier key itself.
      { type: 768, name: 'keyDown', scancode: SDL_SCANCODE_LSHIFT, keycode: SDLK_LSHIFT, mod: KMOD_LSHIFT, repeat: 0, size: 11 },
      { type: 768, name: 'keyDown', scancode: SDL_SCANCODE_B, keycode: SDLK_b, mod: KMOD_LSHIFT, repeat: 0, size: 11 },
      { type: 771, name: 'textInput', n: 1, bytes: [0x42], text: 'B', size: 4 },
      // xdotool lets go of the modifier first.
      { type: 769, name: 'keyUp', scancode: SDL_SCANCODE_LSHIFT, keycode: SDLK_LSHIFT, mod: 0, repeat: 0, size: 11 },
      { type: 769, name: 'keyUp', scancode: SDL_SCANCODE_B, keycode: SDLK_b, mod: 0, repeat: 0, size: 11 },
    ]);
  });
});

test('text input of a two-byte UTF-8 character: type 771, n = 2, 5 bytes', async () => {
  await withHost(async (host) => {
    await xdotool(xs.display, 'key', 'eacute', 'click', '4');
    const { result } = await pollUntilLine(host, WHEEL_LINE);
    const text = result.records.filter((r) => r.type === 771);
    assert.deepEqual(text.map(strip), [{ type: 771, name: 'textInput', n: 2, bytes: [0xc3, 0xa9], text: 'é', size: 5 }]);
  });
});

test('mouse motion and buttons carry window coordinates and the button', async () => {
  await withHost(async (host, id) => {
    await xdotool(xs.display, 'mousemove', '--window', id, '100', '200', 'click', '1', 'click', '3');
    await xdotool(xs.display, 'click', '4');
    const { result } = await pollUntilLine(host, WHEEL_LINE);
    const recs = result.records.map(strip);
    assert.deepEqual(recs.filter((r) => r.type === 1024).at(-1), { type: 1024, name: 'mouseMotion', x: 100, y: 200, size: 10 });
    assert.deepEqual(recs.filter((r) => r.type === 1025 || r.type === 1026), [
      { type: 1025, name: 'mouseDown', x: 100, y: 200, button: 1, size: 11 },
      { type: 1026, name: 'mouseUp', x: 100, y: 200, button: 1, size: 11 },
      { type: 1025, name: 'mouseDown', x: 100, y: 200, button: 3, size: 11 },
      { type: 1026, name: 'mouseUp', x: 100, y: 200, button: 3, size: 11 },
    ]);
  });
});

test('a mouse-wheel turn gives only its log line: no record', async () => {
  await withHost(async (host, id) => {
    await xdotool(xs.display, 'mousemove', '--window', id, '50', '50');
    await host.request({ op: 'poll', until: 1024 });
    await host.request({ op: 'reset' });
    host.takeLines();
    await xdotool(xs.display, 'click', '4');
    const { result, seen } = await pollUntilLine(host, WHEEL_LINE);
    assert.equal(result.length, 0);
    assert.deepEqual(seen, [WHEEL_LINE]);
  });
});

test('window size changes: record 512 of 11 bytes, then resize; the pair follows the drawable size', async () => {
  await withHost(async (host, id) => {
    host.takeLines();
    await xdotool(xs.display, 'windowsize', '--sync', id, '1000', '600');
    const first = await host.request({ op: 'poll', until: 512 });
    const firstLines = host.takeLines().filter((l) => l && !l.startsWith('@'));
    assert.deepEqual(first.records.map(strip), [{ type: 512, name: 'windowSize', kind: 6, width: 1000, height: 600, size: 11 }]);
    assert.equal(first.length, 11);
    // The first resize of a process only records the size (the renderer's start makes that call).
    assert.ok(!firstLines.some((l) => l.startsWith('resized')), firstLines.join('\n'));
    assert.deepEqual(await host.request({ op: 'viewport' }), [1000, 600]);

    await host.request({ op: 'reset' });
    await xdotool(xs.display, 'windowsize', '--sync', id, '900', '500');
    const second = await host.request({ op: 'poll', until: 512 });
    assert.deepEqual(second.records.map(strip), [{ type: 512, name: 'windowSize', kind: 6, width: 900, height: 500, size: 11 }]);
    assert.ok(host.takeLines().includes('resized 900x500'));
    assert.deepEqual(await host.request({ op: 'viewport' }), [900, 500]);

    // A move is a window event too, but not a size change: nothing is queued or logged.
    await host.request({ op: 'reset' });
    await xdotool(xs.display, 'windowmove', '--sync', id, '30', '40');
    await xdotool(xs.display, 'click', '4');
    const { result, seen } = await pollUntilLine(host, WHEEL_LINE);
    assert.deepEqual(result.records.filter((r) => r.type === 512), []);
    assert.ok(!seen.some((l) => l.startsWith('resized')));
  });
});

test('records accumulate across polls until the host resets the offset', async () => {
  await withHost(async (host) => {
    await xdotool(xs.display, 'key', 'a');
    const one = await host.request({ op: 'poll', until: 769 });
    assert.equal(one.length, 26);
    await xdotool(xs.display, 'key', 'b');
    let two = await host.request({ op: 'poll', count: 1 });
    for (let i = 0; i < 500 && two.records.filter((r) => r.type === 769).length < 2; ++i) {
      two = await host.request({ op: 'poll', count: 1 });
    }
    assert.equal(two.length, 52);
    assert.deepEqual(two.records.map((r) => [r.type, r.at]), [[768, 0], [771, 11], [769, 15], [768, 26], [771, 37], [769, 41]]);
    const reset = await host.request({ op: 'reset' });
    assert.equal(reset.length, 0);
    await xdotool(xs.display, 'key', 'a');
    const again = await host.request({ op: 'poll', until: 769 });
    assert.deepEqual(again.records.map((r) => [r.type, r.at]), [[768, 0], [771, 11], [769, 15]]);
  });
});

test('no pending events: the offset is written back unchanged', async () => {
  await withHost(async (host) => {
    await xdotool(xs.display, 'click', '4');
    await pollUntilLine(host, WHEEL_LINE);
    const r = await host.request({ op: 'setLength', length: 37 });
    assert.equal(r, 37);
  });
});

test('a full EVENT_BUFFER keeps the records that fit and drops what does not', async () => {
  await withHost(async (host) => {
    // 25 bytes: the press (11) and its text (4) fit, the release (11) does not.
    await xdotool(xs.display, 'key', 'a', 'click', '4');
    const { result } = await pollUntilLine(host, WHEEL_LINE);
    assert.deepEqual(result.records.map((r) => r.type), [768, 771]);
    assert.equal(result.length, 15);
    // Later records that fit still go in: a text record (4 bytes) fits the 10 left, a key record does not.
    await xdotool(xs.display, 'key', 'b', 'click', '4');
    const { result: more } = await pollUntilLine(host, WHEEL_LINE);
    assert.deepEqual(more.records.map((r) => r.type), [768, 771, 771]);
    assert.equal(more.records[2].text, 'b');
    assert.equal(more.length, 19);
  }, { event: 25 });
});

test('a key held down yields repeated presses with repeat set', async () => {
  await withHost(async (host) => {
    await xdotool(xs.display, 'keydown', 'a');
    let r = await host.request({ op: 'poll', count: 1 });
    for (let i = 0; i < 500 && !r.records.some((e) => e.type === 768 && e.repeat); ++i) {
      r = await host.request({ op: 'poll', count: 1 });
      await new Promise((res) => setTimeout(res, 10));
    }
    await xdotool(xs.display, 'keyup', 'a');
    const presses = r.records.filter((e) => e.type === 768);
    assert.ok(presses.length >= 2, JSON.stringify(r.records));
    assert.equal(presses[0].repeat, 0);
    assert.ok(presses.slice(1).every((e) => e.repeat !== 0 && e.scancode === SDL_SCANCODE_A));
  });
});
