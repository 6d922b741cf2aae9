'use strict';
// Game controllers through the real event pump, driven by SDL virtual joysticks in the C++ harness
// tests/harness/virtual-joystick (this machine has no /dev/uinput for real devices).
const test = require('node:test');
const assert = require('node:assert/strict');
const path = require('node:path');
const { spawnSync } = require('node:child_process');
const { buildDir } = require('./harness');
const { decodeRecords } = require('../hosts/events-records');

// Runs the harness once; returns its steps in order: { name, lines, records }.
function runHarness() {
  const r = spawnSync(path.join(buildDir, 'virtual_joystick'), [], { encoding: 'utf8', timeout: 30000 });
  assert.equal(r.status, 0, r.stdout + r.stderr);
  const steps = [];
  const facts = [];
  for (const line of r.stdout.split('\n')) {
    if (line.startsWith('@step ')) steps.push({ name: line.slice(6), lines: [], records: null });
    else if (line.startsWith('@records ')) {
      const bytes = Uint8Array.from(Buffer.from(line.slice(9), 'hex'));
      steps.at(-1).records = decodeRecords(bytes, bytes.length).map(({ at, name, ...rec }) => rec);
    } else if (line.startsWith('@')) facts.push(line);
    else if (line) steps.at(-1).lines.push(line);
  }
  return { steps, facts, stderr: r.stderr };
}

let run;
test.before(() => { run = runHarness(); });
const step = (name) => {
  const s = run.steps.filter((x) => x.name === name);
  assert.equal(s.length, 1, `step ${name}`);
  return s[0];
};

test('removals of plain joysticks name ids with no controller: logged, nothing queued or closed', () => {
  const plain = run.steps.filter((s) => s.name === 'plain stick attached and detached');
  assert.ok(plain.length >= 4);
  plain.slice(0, 3).forEach((s, i) => {
    assert.deepEqual(s.lines.filter((l) => l.startsWith('Removed')), [`Removed GameController ${i}: (not open)`]);
    assert.deepEqual(s.records, []);
  });
});

test('a controller added with device index 0 opens under instance id 3 and queues record 1619', () => {
  assert.ok(run.facts.includes('@attached index 0 instance 3'), run.facts.join('\n'));
  const s = step('controller A added');
  assert.ok(s.lines.includes('Opened GameController 3: Tessimarke Pad A'), s.lines.join('\n'));
  assert.deepEqual(s.records, [{ type: 1619, id: 3, size: 6 }]);
});

test('axis values -32768 / 0 / 32767 are queued as -1.0 / 0.0 / 1.0', () => {
  assert.deepEqual(step('axis -32768').records, [{ type: 1616, id: 3, axis: 0, value: -1, size: 11 }]);
  assert.deepEqual(step('axis 0').records, [{ type: 1616, id: 3, axis: 0, value: 0, size: 11 }]);
  assert.deepEqual(step('axis 32767').records, [{ type: 1616, id: 3, axis: 0, value: 1, size: 11 }]);
  for (const name of ['axis -32768', 'axis 0', 'axis 32767']) assert.deepEqual(step(name).lines, []);
});

test('button press and release: 1617 with state 1, 1618 with state 0', () => {
  assert.deepEqual(step('button pressed').records, [{ type: 1617, id: 3, button: 0, state: 1, size: 8 }]);
  assert.deepEqual(step('button released').records, [{ type: 1618, id: 3, button: 0, state: 0, size: 8 }]);
});

test('a remap logs the open controller by name and queues nothing', () => {
  const s = step('remapped');
  assert.deepEqual(s.lines, ['Remapped GameController 3: Tessimarke Pad A']);
  assert.deepEqual(s.records, []);
});

test('removed and remapped events for ids with no open controller read nothing out of bounds', () => {
  const s = step('unknown ids');
  assert.deepEqual(s.lines, [
    'Removed GameController 2: (not open)',
    'Removed GameController 1000: (not open)',
    'Removed GameController -7: (not open)',
    'Remapped GameController 1000: (not open)',
  ]);
  assert.deepEqual(s.records, []);
});

test('a controller that fails to open is logged on standard error and queues nothing', () => {
  const s = step('failed open');
  assert.deepEqual(s.records, []);
  assert.deepEqual(s.lines, []);
  assert.match(run.stderr, /^Unable to open GameController -1: .+$/m);
});

test('a second controller with instance id 5 opens past the table; the first is still found on removal', () => {
  const b = step('controller B added');
  assert.ok(b.lines.includes('Opened GameController 5: Tessimarke Pad B'));
  assert.deepEqual(b.records, [{ type: 1619, id: 5, size: 6 }]);

  const a = step('controller A removed');
  assert.ok(a.lines.includes('Removed GameController 3: Tessimarke Pad A'));
  // SDL re-centres a removed controller's axes before it reports the removal.
  assert.deepEqual(a.records.filter((r) => r.type !== 1616), [{ type: 1620, id: 3, size: 6 }]);
  assert.equal(a.records.at(-1).type, 1620);

  const last = step('controller B removed');
  assert.ok(last.lines.includes('Removed GameController 5: Tessimarke Pad B'));
  assert.deepEqual(last.records.filter((r) => r.type !== 1616), [{ type: 1620, id: 5, size: 6 }]);
});

test('joystick events are dropped silently; joystick device events are logged as other events', () => {
  const all = run.steps.flatMap((s) => s.lines);
  assert.ok(all.includes('got other SDL event: 1541'));
  assert.ok(all.includes('got other SDL event: 1542'));
  assert.ok(!all.some((l) => /got other SDL event: (1536|1538|1539|1540)$/.test(l)), all.join('\n'));
});
