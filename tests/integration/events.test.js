'use strict';
// Input through the real event pump: keys, text, mouse, wheel and window-size events sent from outside by xdotool into
// one host, the queue's offset and a full EVENT_BUFFER; the clipboard with xclip as the other program; game controllers
// from SDL virtual joysticks in the C++ harness tests/harness/virtual-joystick (there is no /dev/uinput here).
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { spawnSync } = require('node:child_process');
const { startXvfb, assertOk, buildDir, root } = require('./harness');
const { startHost, setupWindow, poll, resetQueue, findWindow, xdotool, x, xclipOut, xclipIn } = require('./window-helpers');
const { decodeRecords } = require('../hosts/events-records');

let xs, host, id;
test.before(async () => {
  xs = await startXvfb();
  // A spare keycode bound to é, so that xdotool sends it without rebinding the keymap mid-stream.
  await x(xs.display, 'xmodmap', ['-e', 'keycode 93 = eacute']);
  host = await startHost({ display: xs.display, audio: 'null', timeout: 600000 });
  await host.run(setupWindow, {});
  id = await findWindow(xs.display);
  // The wheel turns that mark the end of each input go to the window under the pointer.
  await xdotool(xs.display, 'windowfocus', '--sync', id, 'mousemove', '--window', id, 50, 50);
  await poll(host, undefined, 5);
});
test.after(async () => { await host.quit(); assertOk(await host.done); xs.stop(); });

// A record without its offset and size, as [type, ...fields].
const brief = ({ at, size, ...r }) => Object.values(r);
const WHEEL = 'got other SDL event: 1027';
// Sends input (to an emptied queue unless `keep`), then a wheel turn, and polls until the wheel's log line is out:
// everything before it was pumped. Resolves with the records queued and the lines logged.
async function send(input, keep = false) {
  if (!keep) await resetQueue(host);
  host.takeLines();
  await xdotool(xs.display, ...input.map((a) => (a === 'ID' ? id : a)), 'click', 4);
  const seen = [];
  const records = await poll(host, () => seen.push(...host.takeLines().filter((l) => l && !l.startsWith('@'))) && seen.includes(WHEEL));
  assert.ok(seen.includes(WHEEL), seen.join('\n'));
  return { records, seen };
}

test('window size changes: record 512, then resize (the first only records the size); the pair follows; a move queues nothing', async () => {
  for (const [verb, w, h] of [['windowsize', 1000, 600], ['windowsize', 900, 500], ['windowmove', 30, 40]]) {
    const { records, seen } = await send([verb, '--sync', 'ID', w, h]), sized = verb === 'windowsize';
    assert.deepEqual([records.filter((r) => r.type === 512).map(brief), seen.filter((l) => l.startsWith('resized')), await host.run((_, s) => Array.from(s.vp))],
      [sized ? [[512, 6, w, h]] : [], w === 900 ? ['resized 900x500'] : [], sized ? [w, h] : [900, 500]]);
  }
});

// [what, xdotool input ('ID' for the window), the records to compare, the records as [type, ...fields]].
const KEY_A = [4, 97], KEY_B = [5, 98], SHIFT = [225, 0x400000e1];
const INPUT = [
  // SDL sets the modifier state before it reports the modifier key; xdotool lets go of the modifier first.
  ['key press and release: scancode, key code, modifiers, repeat; text input follows the press', ['key', 'a', 'shift+b'],
    (r) => r.type !== 1024, [[768, ...KEY_A, 0, 0], [771, 1, 'a'], [769, ...KEY_A, 0, 0], [768, ...SHIFT, 1, 0],
      [768, ...KEY_B, 1, 0], [771, 1, 'B'], [769, ...SHIFT, 0, 0], [769, ...KEY_B, 0, 0]]],
  ['text input of a two-byte UTF-8 character', ['key', 'eacute'], (r) => r.type === 771, [[771, 2, 'é']]],
  ['mouse buttons carry window coordinates and the button', ['mousemove', '--window', 'ID', 100, 200, 'click', 1, 'click', 3],
    (r) => r.type === 1025 || r.type === 1026, [[1025, 100, 200, 1], [1026, 100, 200, 1], [1025, 100, 200, 3], [1026, 100, 200, 3]]],
  ['the last motion is at the pointer', ['mousemove', '--window', 'ID', 120, 220], (r, i, a) => r.type === 1024 && i === a.length - 1,
    [[1024, 120, 220]]],
  ['a mouse-wheel turn gives only its log line: no record', [], () => true, []],
];
for (const [what, input, filter, expected] of INPUT) {
  test(what, async () => {
    const { records, seen } = await send(input);
    assert.deepEqual(records.filter(filter).map(brief), expected);
    if (!input.length) assert.deepEqual(seen, [WHEEL]);
  });
}

test('records accumulate across polls until the host resets the offset; no events leave it as it was', async () => {
  const keyAt = async (key, keep) => (await send(['key', key], keep)).records.map((r) => [r.type, r.at]), A = [[768, 0], [771, 11], [769, 15]];
  assert.deepEqual([await keyAt('a'), await keyAt('b', true), await keyAt('a')], [A, [...A, [768, 26], [771, 37], [769, 41]], A]);
  await send([]);
  assert.equal(await host.run((_, s) => { s.f.header[4] = 37; addon.poll(); return s.f.header[4]; }), 37);
});

test('a key held down yields repeated presses with repeat set', async () => {
  await resetQueue(host);
  await xdotool(xs.display, 'keydown', 'a');
  const presses = (await poll(host, (rs) => rs.some((r) => r.type === 768 && r.repeat))).filter((r) => r.type === 768);
  await xdotool(xs.display, 'keyup', 'a');
  assert.equal(presses[0].repeat, 0);
  assert.ok(presses.length >= 2 && presses.slice(1).every((e) => e.repeat !== 0 && e.scancode === 4), JSON.stringify(presses));
});

test('copy and paste: UTF-8 both ways with xclip while the host pumps; copy("") empties; an image pastes as ""', async () => {
  const TEXT = 'Grüße aus Tessimarke: ✓ 😀 — ½';
  assert.deepEqual(await host.run((t) => [addon.copy(t), addon.paste(), addon.paste('ignored', 2), addon.copy(''), addon.paste()], TEXT),
    [0, TEXT, TEXT, 0, '']);
  assert.equal(await host.run((t) => addon.copy(t), TEXT), 0);
  // SDL answers another program's request only while it pumps events.
  await host.run((_, s) => { addon.poll(); s.pumping = setInterval(() => addon.poll(), 5); });
  const read = await xclipOut(xs.display);
  await host.run((_, s) => clearInterval(s.pumping));
  assert.equal(read.toString('utf8'), TEXT);
  for (const [data, type, pasted] of [[TEXT, undefined, TEXT], [fs.readFileSync(path.join(root, 'app/icons/icon.png')), 'image/png', '']]) {
    const owner = await xclipIn(xs.display, data, type);
    assert.equal(await host.run(() => addon.paste()).finally(() => owner.kill()), pasted);
  }
});

// Runs after every other test here: the queue gets 25 bytes.
test('a full EVENT_BUFFER keeps the records that fit and drops what does not', async () => {
  await host.run(setupWindow, { event: 25 });
  // The press (11) and its text (4) fit, the release (11) does not; later a text record (4 bytes)
  // still fits the 10 bytes left, a key record does not.
  for (const [key, types, length] of [['a', [768, 771], 15], ['b', [768, 771, 771], 19]]) {
    const { records } = await send(['key', key], key === 'b');
    assert.deepEqual([records.map((r) => r.type), records.at(-1).text, records.at(-1).at + records.at(-1).size], [types, key, length]);
  }
});

test('game controllers: opened and closed by instance id, axes, buttons, remaps, ids with no controller', () => {
  const r = spawnSync(path.join(buildDir, 'virtual_joystick'), [], { encoding: 'utf8', timeout: 30000 });
  assert.equal(r.status, 0, r.stdout + r.stderr);
  // Each step: its name, the pump's lines, the records it queued. SDL re-centres a removed controller's axes (1616)
  // before it reports the removal: those are left out.
  const steps = [];
  for (const line of r.stdout.split('\n')) {
    const bytes = line.startsWith('@records ') && Uint8Array.from(Buffer.from(line.slice(9), 'hex'));
    if (line.startsWith('@step ')) steps.push([line.slice(6), [], []]);
    else if (bytes) steps.at(-1)[2] = decodeRecords(bytes, bytes.length).map(brief).filter((e, _, all) => e[0] !== 1616 || all.at(-1)[0] !== 1620);
    else if (!line.startsWith('@') && line) steps.at(-1)[1].push(line);
  }
  const all = steps.flatMap((s) => s[1]);
  // Joystick events are dropped silently; joystick device events are logged as other events.
  assert.deepEqual([1541, 1542, 1536, 1538, 1539, 1540].map((t) => all.includes(`got other SDL event: ${t}`)), [true, true, false, false, false, false],
    all.join('\n'));
  assert.match(r.stdout, /^@attached index 0 instance 3$/m);
  assert.match(r.stderr, /^Unable to open GameController -1: .+$/m);
  // The plain joysticks that took ids 0..2 and 4 leave ids with no controller; a second controller (id 5) opens past
  // the table and the first is still found on removal.
  const plain = (id) => ['plain stick attached and detached', [`Removed GameController ${id}: (not open)`], []];
  assert.deepEqual(steps.map(([name, lines, records]) => [name, lines.filter((l) => l.includes('GameController')), records]), [
    ['start', [], []], plain(0), plain(1), plain(2),
    ['controller A added', ['Opened GameController 3: Tessimarke Pad A'], [[1619, 3]]],
    ['axis -32768', [], [[1616, 3, 0, -1]]], ['axis 0', [], [[1616, 3, 0, 0]]], ['axis 32767', [], [[1616, 3, 0, 1]]],
    ['button pressed', [], [[1617, 3, 0, 1]]], ['button released', [], [[1618, 3, 0, 0]]],
    ['remapped', ['Remapped GameController 3: Tessimarke Pad A'], []],
    ['unknown ids', ['Removed GameController 2: (not open)', 'Removed GameController 1000: (not open)',
      'Removed GameController -7: (not open)', 'Remapped GameController 1000: (not open)'], []],
    ['failed open', [], []], plain(4),
    ['controller B added', ['Opened GameController 5: Tessimarke Pad B'], [[1619, 5]]],
    ['controller A removed', ['Removed GameController 3: Tessimarke Pad A'], [[1620, 3]]],
    ['controller B removed', ['Removed GameController 5: Tessimarke Pad B'], [[1620, 5]]],
  ]);
});
