'use strict';
// The USB controller adapter from a real Node host, against the real libusb talking to an emulated
// adapter (umockdev): start-up and its failures, the per-step read, the one-time announcement in
// the event queue, and the shutdown lines in order.
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const { startXvfb, runHost, assertOk, sanitized } = require('./harness');
const {
  REPORT_SIZE, USB_MESSAGES, guardCheckPath, guardLibrary,
  emulatedReport, adapterRecords, usbLines, runEmulated,
} = require('./usb-helpers');

const HOST = 'usb-adapter.js';
const UNTOUCHED = 0xee;
const ADAPTER_CONNECTED = [0x00, 0x80, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00];

let x;
test.before(async () => { x = await startXvfb(); });
test.after(() => { if (x) x.stop(); });

function run(scenario, options = {}, extra = {}) {
  return runEmulated(scenario, HOST, [JSON.stringify(options)], { display: x.display, ...extra });
}

// A clean exit of the emulated host, with one report.
function finished(r) {
  assert.equal(r.timedOut, false, `timed out\n${r.stdout}\n${r.stderr}`);
  assert.equal(r.code, 0, `exit ${r.code}\n${r.stdout}\n${r.stderr}`);
  assert.equal(r.results.length, 1, r.stdout);
  return r.results[0];
}

// No adapter message may reach standard error.
function nothingOnStderr(r) {
  for (const m of USB_MESSAGES) assert.ok(!r.stderr.includes(m), `"${m}" on standard error:\n${r.stderr}`);
}

// Text of standard output from `marker` on.
function after(stdout, marker) {
  const at = stdout.indexOf(marker);
  assert.ok(at >= 0, `no ${marker} in\n${stdout}`);
  return stdout.slice(at);
}

function startupLines(r) {
  return usbLines(r.stdout.slice(0, r.stdout.indexOf('@step 0 poll\n')));
}

function shutdownLines(r) {
  return usbLines(after(r.stdout, '@quit\n'));
}

function allAdapterRecords(report) {
  return report.steps.flatMap((s, i) => adapterRecords(s.events).map((rec) => ({ step: i, bytes: rec.bytes })));
}

function untouchedUsb(report) {
  for (const s of report.steps) assert.ok(s.usb.every((b) => b === UNTOUCHED), `USB_BUFFER written: ${s.usb}`);
}

test('no adapter: nothing about USB but the shutdown line, pollUSB returns at once, no announcement', async (t) => {
  await t.test('without any USB device', async () => {
    const r = assertOk(await runHost(HOST, ['{"steps":3}'], { display: x.display, audio: 'null' }));
    const report = r.results[0];
    assert.deepEqual(usbLines(r.stdout), ['Closing USB']);
    assert.deepEqual(report.steps.map((s) => s.result), [0, 0, 0]);
    assert.deepEqual(allAdapterRecords(report), []);
    untouchedUsb(report);
    nothingOnStderr(r);
  });

  await t.test('with only a device that is not the adapter', async () => {
    const r = await run('other-device', { steps: 3 });
    const report = finished(r);
    assert.deepEqual(usbLines(r.stdout), ['Closing USB']);
    assert.deepEqual(r.device, [], 'the other device was opened');
    assert.deepEqual(allAdapterRecords(report), []);
    untouchedUsb(report);
    nothingOnStderr(r);
  });
});

test('working adapter: started once, announced once on the first poll, one report per pollUSB', async () => {
  const steps = 4;
  const r = await run('adapter', { steps, afterQuit: 2 });
  const report = finished(r);

  assert.deepEqual(startupLines(r), ['All good in the adapter']);
  assert.ok(r.stdout.includes('All good in the adapter\n@step 0 poll\n'), r.stdout);
  assert.deepEqual(r.device.slice(0, 4), ['open /dev/bus/usb/001/001', 'getdriver', 'claim 0', 'write 0x02 13']);

  // Exactly one 8-byte record, queued by the first poll, logged there.
  assert.deepEqual(allAdapterRecords(report), [{ step: 0, bytes: ADAPTER_CONNECTED }]);
  assert.ok(r.stdout.includes('@step 0 poll\nSent AdapterConnected\n@step 0 pollUSB\n'), r.stdout);
  assert.equal(r.stdout.split('Sent AdapterConnected').length - 1, 1);

  // Each pollUSB leaves the next whole report at the start of USB_BUFFER and nothing after it.
  report.steps.forEach((s, i) => {
    assert.equal(s.result, 0);
    assert.deepEqual(s.usb.slice(0, REPORT_SIZE), emulatedReport(i + 1), `report ${i + 1}`);
    assert.ok(s.usb.slice(REPORT_SIZE).every((b) => b === UNTOUCHED), `past the report after step ${i}`);
  });
  const reads = r.device.filter((l) => l.startsWith('read '));
  assert.equal(reads.length, steps, 'pollUSB after quit must not read');
  assert.ok(!r.stdout.includes('Incorrect byte length read'));

  // Shutdown: the interface goes back; no driver wants it, which is no error.
  assert.deepEqual(shutdownLines(r), ['Closing USB', 'Disconnecting adapter']);
  assert.ok(/Closing SDL\n[^]*Closing USB\nDisconnecting adapter\n/.test(after(r.stdout, '@quit\n')), r.stdout);
  assert.deepEqual(r.device.slice(-2), ['release 0', 'connect']);
  nothingOnStderr(r);
});

test('a full event queue holds the announcement back to the next poll instead of losing it', async () => {
  const r = await run('adapter', { steps: 3, fullQueue: [0] });
  const report = finished(r);
  assert.deepEqual(allAdapterRecords(report), [{ step: 1, bytes: ADAPTER_CONNECTED }]);
  assert.ok(r.stdout.includes('@step 1 poll\nSent AdapterConnected\n@step 1 pollUSB\n'), r.stdout);
  assert.equal(r.stdout.split('Sent AdapterConnected').length - 1, 1);
});

test('two adapters: only the first one found is opened', async () => {
  const r = await run('two-adapters', { steps: 2 });
  const report = finished(r);
  assert.deepEqual(startupLines(r), ['All good in the adapter']);
  assert.equal(r.device.filter((l) => l.startsWith('open ')).length, 1, r.device.join('\n'));
  assert.deepEqual(allAdapterRecords(report).length, 1);
  assert.deepEqual(report.steps[1].usb.slice(0, REPORT_SIZE), emulatedReport(2));
});

test('a short read logs its length without a newline and the adapter stays connected', async () => {
  const r = await run('short-read', { steps: 3 });
  const report = finished(r);
  assert.ok(r.stdout.includes('@step 0 pollUSB\nIncorrect byte length read: 36@step 1 poll\n'), r.stdout);
  assert.equal(r.stdout.split('Incorrect byte length read').length - 1, 1);
  // The bytes that arrived are in the block; the rest keep their old values.
  assert.deepEqual(report.steps[0].usb.slice(0, 36), emulatedReport(1, 36));
  assert.equal(report.steps[0].usb[36], UNTOUCHED);
  assert.deepEqual(report.steps[1].usb.slice(0, REPORT_SIZE), emulatedReport(2));
  assert.deepEqual(report.steps[2].usb.slice(0, REPORT_SIZE), emulatedReport(3));
  assert.equal(r.device.filter((l) => l.startsWith('read ')).length, 3);
  assert.deepEqual(allAdapterRecords(report).length, 1);
  nothingOnStderr(r);
});

test('a read error is logged once and later pollUSB calls return at once', async () => {
  const r = await run('read-error', { steps: 4 });
  const report = finished(r);
  assert.deepEqual(startupLines(r), ['All good in the adapter']);
  assert.ok(r.stdout.includes('@step 0 pollUSB\nError reading from adapter: LIBUSB_ERROR_NO_DEVICE\n@step 1 poll\n'),
    r.stdout);
  assert.equal(r.stdout.split('Error reading from adapter').length - 1, 1);
  assert.deepEqual(report.steps.map((s) => s.result), [0, 0, 0, 0]);
  assert.equal(r.device.filter((l) => l.startsWith('read ')).length, 1, r.device.join('\n'));
  untouchedUsb(report);
  // It was announced before the read failed; nothing announces the loss.
  assert.deepEqual(allAdapterRecords(report), [{ step: 0, bytes: ADAPTER_CONNECTED }]);
  // The vanished adapter fails release and reattach; both keep their lines, in order.
  assert.deepEqual(shutdownLines(r), ['Closing USB', 'Error releasing interface: LIBUSB_ERROR_NO_DEVICE',
    'Error reattaching kernel driver: LIBUSB_ERROR_NO_DEVICE', 'Disconnecting adapter']);
  nothingOnStderr(r);
});

test('start-up failures: logged, adapter unused, whatever was taken is given back at shutdown', async (t) => {
  await t.test('an interface with only an IN endpoint gives 102', async () => {
    const r = await run('in-only', { steps: 2 });
    const report = finished(r);
    assert.deepEqual(startupLines(r), ['Did not find reader (129) or writer (0)',
      'Error encountered trying to connect adapter', 'Error initializing USB']);
    assert.ok(r.stdout.includes('Did not find reader (129) or writer (0)\n'));
    assert.ok(!r.device.some((l) => l.startsWith('write ') || l.startsWith('read ')), r.device.join('\n'));
    assert.deepEqual(allAdapterRecords(report), []);
    untouchedUsb(report);
    assert.deepEqual(shutdownLines(r), ['Closing USB', 'Disconnecting adapter']);
    assert.deepEqual(r.device.slice(-2), ['release 0', 'connect']);
    nothingOnStderr(r);
  });

  await t.test('a configuration without interfaces gives 100', async () => {
    const r = await run('no-interfaces', { steps: 1 });
    finished(r);
    assert.deepEqual(startupLines(r), ['Adapter claims to not have interfaces?',
      'Error encountered trying to connect adapter', 'Error initializing USB']);
    assert.deepEqual(shutdownLines(r), ['Closing USB', 'Disconnecting adapter']);
  });

  await t.test('a stalled start command', async () => {
    const r = await run('write-error', { steps: 2 });
    const report = finished(r);
    assert.deepEqual(startupLines(r), ['Unable to write to adapter: LIBUSB_ERROR_PIPE',
      'Error encountered trying to connect adapter', 'Error initializing USB']);
    assert.ok(!r.device.some((l) => l.startsWith('read ')));
    assert.deepEqual(allAdapterRecords(report), []);
    assert.deepEqual(shutdownLines(r), ['Closing USB', 'Disconnecting adapter']);
  });

  await t.test('a kernel driver that will not let go', async () => {
    const r = await run('detach-error', { steps: 1 });
    const report = finished(r);
    assert.deepEqual(startupLines(r), ['Error detaching kernel driver: LIBUSB_ERROR_OTHER',
      'Unable to claim adapter interface: LIBUSB_ERROR_BUSY', 'Error encountered trying to connect adapter',
      'Error initializing USB']);
    assert.deepEqual(allAdapterRecords(report), []);
    // Opened but never claimed: the release fails and logs it; a failed reattach keeps its line.
    assert.deepEqual(shutdownLines(r), ['Closing USB', 'Error releasing interface: LIBUSB_ERROR_NOT_FOUND',
      'Error reattaching kernel driver: LIBUSB_ERROR_BUSY', 'Disconnecting adapter']);
    nothingOnStderr(r);
  });
});

test('kernel drivers: an active one is detached and given back silently; a failed query is logged', async (t) => {
  await t.test('driver active', async () => {
    const r = await run('driver-active', { steps: 2 });
    const report = finished(r);
    assert.deepEqual(startupLines(r), ['All good in the adapter']);
    assert.deepEqual(r.device.slice(0, 5), ['open /dev/bus/usb/001/001', 'getdriver', 'getdriver', 'disconnect',
      'claim 0']);
    assert.deepEqual(allAdapterRecords(report).length, 1);
    assert.deepEqual(report.steps[1].usb.slice(0, REPORT_SIZE), emulatedReport(2));
    assert.deepEqual(shutdownLines(r), ['Closing USB', 'Disconnecting adapter']);
    assert.deepEqual(r.device.slice(-2), ['release 0', 'connect']);
  });

  await t.test('driver query fails', async () => {
    const r = await run('driver-query-error', { steps: 1 });
    const report = finished(r);
    assert.deepEqual(startupLines(r), ['Error checking kernel driver: LIBUSB_ERROR_OTHER', 'All good in the adapter']);
    assert.ok(!r.device.includes('disconnect'));
    assert.deepEqual(allAdapterRecords(report).length, 1);
    assert.deepEqual(shutdownLines(r), ['Closing USB', 'Disconnecting adapter']);
    nothingOnStderr(r);
  });
});

test('a platform that cannot query kernel drivers: nothing about drivers at start-up or shutdown', async () => {
  const r = await run('adapter', { steps: 2 }, { noKernelDriver: true });
  const report = finished(r);
  // The library was asked, and said it cannot: active at start-up, attach at shutdown.
  assert.deepEqual(r.stderr.split('\n').filter((l) => l.startsWith('@nodriver ')), ['@nodriver active',
    '@nodriver attach']);
  assert.deepEqual(startupLines(r), ['All good in the adapter']);
  assert.deepEqual(allAdapterRecords(report).length, 1);
  assert.deepEqual(shutdownLines(r), ['Closing USB', 'Disconnecting adapter']);
  assert.ok(!r.device.some((l) => ['getdriver', 'disconnect', 'connect'].includes(l)), r.device.join('\n'));
  nothingOnStderr(r);
});

// Under the sanitized build AddressSanitizer's allocator serves calloc, not the guard library, and
// itself stops at any write past the block: the guard is left out there.
test('a USB_BUFFER shorter than a report is filled as far as it goes and never overrun', async (t) => {
  const size = 29;
  await t.test('the guard catches a write past the block', { skip: sanitized && 'AddressSanitizer guards the block' }, () => {
    const check = spawnSync(guardCheckPath, [], {
      env: { ...process.env, TESSIMARKE_GUARD_BYTES: String(size), LD_PRELOAD: guardLibrary }, encoding: 'utf8',
    });
    assert.equal(check.stdout, 'inside ok\n');
    assert.equal(check.signal, 'SIGSEGV');
  });

  await t.test('pollUSB into the guarded block', async () => {
    const r = await run('adapter', { steps: 3, usbSize: size }, { guardBytes: sanitized ? 0 : size });
    const report = finished(r);
    if (!sanitized) assert.match(r.stderr, new RegExp(`^@guard ${size}$`, 'm'), 'USB_BUFFER was not guarded');
    report.steps.forEach((s, i) => {
      assert.equal(s.usb.length, size);
      assert.deepEqual(s.usb, emulatedReport(i + 1, size), `report ${i + 1}`);
    });
    assert.ok(!r.stdout.includes('Incorrect byte length read'), 'a whole report arrived each time');
  });
});
