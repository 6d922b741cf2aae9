'use strict';
// The USB controller adapter from a real host, against the real libusb talking to an emulated adapter (umockdev):
// start-up and its failures, the per-step read, the one-time announcement in the event queue, the shutdown lines.
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const path = require('node:path');
const { startXvfb, runFn, assertOk, sanitized, buildDir } = require('./harness');
const { emulatedReport, runEmulated } = require('./usb-helpers');
const { decodeRecords } = require('../hosts/events-records');

let x;
test.before(async () => { x = await startXvfb(); });
test.after(() => x.stop());

// The host: `steps` times poll, then pollUSB, as a game loop does, each call marked "@step N poll" and "@step N
// pollUSB"; USB_BUFFER has `usbSize` bytes of 0xEE; the steps in `fullQueue` find the event queue with 7 bytes free.
// Then quit ("@quit") and `afterQuit` more pollUSB calls. Returns each step's queued bytes, USB_BUFFER and result.
function adapterHost({ steps, usbSize = 64, fullQueue = [], afterQuit = 0 }) {
  const f = createFixed({ usb: usbSize });
  f.usb.fill(0xee);
  const out = [];
  for (let i = 0; i < steps; i++) {
    const start = f.header[4] = fullQueue.includes(i) ? f.events.length - 7 : 0;
    console.log(`@step ${i} poll`);
    addon.poll();
    const events = Array.from(f.events.subarray(start, f.header[4]));
    console.log(`@step ${i} pollUSB`);
    out.push({ result: addon.pollUSB(), events, usb: Array.from(f.usb) });
  }
  console.log('@quit');
  addon.quit();
  for (let i = 0; i < afterQuit; i++) addon.pollUSB();
  return out;
}
const emulated = (scenario, options, extra) => runEmulated(scenario, 'run.js', [String(adapterHost), JSON.stringify(options)], { display: x.display, ...extra });

const ANNOUNCED = [0x00, 0x80, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00];
const CLOSE = ['Closing USB', 'Disconnecting adapter'], GIVEN_BACK = ['release 0', 'connect'], OPEN = ['open /dev/bus/usb/001/001', 'getdriver'];
const FAIL = ['Error encountered trying to connect adapter', 'Error initializing USB'], SENT = { '0 poll': 'Sent AdapterConnected\n' };
// An adapter that starts: its line, announced by the first poll, each pollUSB reading a whole report.
const WORKS = { startup: ['All good in the adapter'], during: SENT, shutdown: CLOSE, announced: 0, whole: true };
// Each run: emulated scenario (none: no USB device at all) and host options; the adapter's lines at start-up, after the
// step markers and at shutdown; the step whose poll announces the adapter; whether each pollUSB reads a whole report
// (or leaves USB_BUFFER untouched); the reads asked of the device (by default one per step if whole), and its log's
// first and last requests.
const RUNS = [
  { what: 'no USB device', steps: 3, shutdown: ['Closing USB'] },
  { what: 'only a device that is not the adapter', scenario: 'other-device', steps: 3, shutdown: ['Closing USB'], device: [] },
  // pollUSB after quit reads nothing; no driver wants the interface back, which is no error.
  { what: 'a working adapter', scenario: 'adapter', steps: 4, afterQuit: 2, ...WORKS, head: [...OPEN, 'claim 0', 'write 0x02 13'], tail: GIVEN_BACK },
  { what: 'a full event queue holds the announcement back to the next poll', scenario: 'adapter', steps: 3, fullQueue: [0], ...WORKS,
    during: { '1 poll': SENT['0 poll'] }, announced: 1 },
  { what: 'two adapters: only the first one found is opened', scenario: 'two-adapters', steps: 2, ...WORKS, opened: 1 },
  // The bytes that arrived are in the block, the rest keep their old values; the adapter stays.
  { what: 'a short read: its length logged without a newline', scenario: 'short-read', steps: 3, ...WORKS, reads: 3,
    during: { ...SENT, '0 pollUSB': 'Incorrect byte length read: 36' }, usb: [[...emulatedReport(1, 36), 0xee], emulatedReport(2), emulatedReport(3)] },
  // Announced before the read failed, nothing announces the loss; the vanished adapter fails release and reattach,
  // and both keep their lines.
  { what: 'a read error: logged once, later pollUSB calls return at once', scenario: 'read-error', steps: 4, ...WORKS, whole: false, reads: 1,
    during: { ...SENT, '0 pollUSB': 'Error reading from adapter: LIBUSB_ERROR_NO_DEVICE\n' }, shutdown: ['Closing USB',
      'Error releasing interface: LIBUSB_ERROR_NO_DEVICE', 'Error reattaching kernel driver: LIBUSB_ERROR_NO_DEVICE', 'Disconnecting adapter'] },
  { what: 'an interface with only an IN endpoint', scenario: 'in-only', steps: 2, startup: ['Did not find reader (129) or writer (0)', ...FAIL],
    shutdown: CLOSE, writes: 0, tail: GIVEN_BACK },
  { what: 'a configuration without interfaces', scenario: 'no-interfaces', steps: 1, startup: ['Adapter claims to not have interfaces?', ...FAIL], shutdown: CLOSE },
  { what: 'a stalled start command', scenario: 'write-error', steps: 2, startup: ['Unable to write to adapter: LIBUSB_ERROR_PIPE', ...FAIL], shutdown: CLOSE },
  // Opened but never claimed: the release fails and logs it; a failed reattach keeps its line.
  { what: 'a kernel driver that will not let go', scenario: 'detach-error', steps: 1, startup: ['Error detaching kernel driver: LIBUSB_ERROR_OTHER',
    'Unable to claim adapter interface: LIBUSB_ERROR_BUSY', ...FAIL], shutdown: ['Closing USB', 'Error releasing interface: LIBUSB_ERROR_NOT_FOUND',
    'Error reattaching kernel driver: LIBUSB_ERROR_BUSY', 'Disconnecting adapter'] },
  { what: 'an active kernel driver is detached and given back silently', scenario: 'driver-active', steps: 2, ...WORKS,
    head: [...OPEN, 'getdriver', 'disconnect', 'claim 0'], tail: GIVEN_BACK },
  { what: 'a failed kernel-driver query is logged', scenario: 'driver-query-error', steps: 1, ...WORKS,
    startup: ['Error checking kernel driver: LIBUSB_ERROR_OTHER', ...WORKS.startup], never: ['disconnect'] },
  // The library was asked, and said it cannot: active at start-up, attach at shutdown.
  { what: 'a platform that cannot query kernel drivers: nothing about drivers', scenario: 'adapter', steps: 2, noKernelDriver: true, ...WORKS,
    never: ['getdriver', 'disconnect', 'connect'], stderr: ['@nodriver active', '@nodriver attach'] },
];

for (const run of RUNS) {
  test(run.what, async () => {
    const r = run.scenario ? await emulated(run.scenario, run, { noKernelDriver: run.noKernelDriver })
      : { ...assertOk(await runFn(adapterHost, run, { display: x.display, audio: 'null' })), device: [] };
    assert.deepEqual([r.timedOut, r.code, r.results.length], [false, 0, 1], `${r.stdout}\n${r.stderr}`);
    const steps = r.results[0], lines = (l = []) => l.map((line) => `${line}\n`).join('');
    // Standard output from the end of the window's start-up on, and nothing from the adapter on standard error, which
    // holds only the emulator's and the stand-in libraries' lines.
    const text = r.stdout.slice(r.stdout.indexOf('\n', r.stdout.indexOf('Textures per shader: ')) + 1).split('\n@result ')[0];
    assert.equal(text, lines(run.startup) + steps.map((_, i) => ['poll', 'pollUSB'].map((c) => `@step ${i} ${c}\n${run.during?.[`${i} ${c}`] ?? ''}`)
      .join('')).join('') + lines(['@quit', 'Quitting Native', 'Closing OpenAL', 'Closing SDL', ...run.shutdown]));
    assert.deepEqual(r.stderr.split('\n').filter((l) => l && !/^@(usb|testbed) /.test(l)), run.stderr || []);
    // Each step: the announcement (one 8-byte record, queued by one poll); USB_BUFFER, which each pollUSB leaves with
    // the next whole report at its start and nothing after it; pollUSB's result.
    assert.deepEqual(steps.map((s) => [decodeRecords(Uint8Array.from(s.events), s.events.length).filter((e) => e.type === 32768)
      .map((e) => s.events.slice(e.at, e.at + 8)), run.usb ? s.usb.slice(0, 37) : s.usb, s.result]), steps.map((_, i) => [i === run.announced ? [ANNOUNCED] : [],
      run.usb ? run.usb[i] : run.whole ? [...emulatedReport(i + 1), ...Array(27).fill(0xee)] : Array(64).fill(0xee), 0]));
    const asked = (what) => r.device.filter((l) => l.startsWith(what)).length;
    assert.deepEqual([asked('read '), asked('write '), asked('open '), run.device && r.device, run.head && r.device.slice(0, run.head.length),
      run.tail && r.device.slice(-2), (run.never || []).filter((l) => r.device.includes(l))], [run.reads ?? (run.whole ? run.steps : 0),
      run.writes ?? asked('write '), run.opened ?? asked('open '), run.device, run.head, run.tail, []], r.device.join('\n'));
  });
}

// Under the sanitized build AddressSanitizer's allocator serves calloc, not the guard library, and
// itself stops at any write past the block: the guard is left out there.
test('a USB_BUFFER shorter than a report is filled as far as it goes and never overrun', async () => {
  const size = 29;
  if (!sanitized) {
    const check = spawnSync(path.join(buildDir, 'usb-guard-check'), [], { encoding: 'utf8',
      env: { ...process.env, TESSIMARKE_GUARD_BYTES: String(size), LD_PRELOAD: path.join(buildDir, 'libusb-guard.so') } });
    assert.deepEqual([check.stdout, check.signal], ['inside ok\n', 'SIGSEGV'], 'the guard catches a write past the block');
  }
  const r = await emulated('adapter', { steps: 3, usbSize: size }, { guardBytes: sanitized ? 0 : size });
  // USB_BUFFER guarded; a whole report arrived each time.
  assert.deepEqual([r.code, sanitized || /^@guard 29$/m.test(r.stderr), r.stdout.includes('Incorrect byte length read'), r.results[0].map((s) => s.usb)],
    [0, true, false, [1, 2, 3].map((n) => emulatedReport(n, size))], r.stdout + r.stderr);
});
