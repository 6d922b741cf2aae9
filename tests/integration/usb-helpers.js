'use strict';
// Helpers of the USB adapter tests: run a host under the emulated adapter (tests/harness/usb-emulator),
// read back what the emulator was asked, decode event records, and the emulator's report pattern.
const { spawn } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const { root, buildDir, hostEnv, assertNoSanitizerReport } = require('./harness');

const emulatorPath = path.join(buildDir, 'usb-emulator');
const guardLibrary = path.join(buildDir, 'libusb-guard.so');
const guardCheckPath = path.join(buildDir, 'usb-guard-check');
const noKernelDriverLibrary = path.join(buildDir, 'libusb-no-kernel-driver.so');

// Bytes of one adapter report.
const REPORT_SIZE = 37;
// Longest an emulated run may take; `timeout` ends it (an IN transfer nobody completes never returns).
const RUN_SECONDS = 60;

// Every line the adapter code prints, as format prefixes (what precedes the first conversion).
const USB_MESSAGES = [
  'Error initializing libusb: ', 'Error initializing USB', 'Error encountered trying to get device list: ',
  'Error encountered when getting adapter device descriptor: ', 'Error encountered trying to connect adapter',
  'Unable to open adapter device: ', 'Error detaching kernel driver: ', 'Error checking kernel driver: ',
  'Unable to claim adapter interface: ', 'Unable to get config descriptor: ', 'Adapter claims to not have interfaces?',
  'Interface claims to not have altsettings?', 'Did not find reader (', 'Unable to write to adapter: ',
  'All good in the adapter', 'Error reading from adapter: ', 'Incorrect byte length read: ', 'Sent AdapterConnected',
  'Closing USB', 'Error releasing interface: ', 'Error reattaching kernel driver: ', 'Disconnecting adapter',
];

// The n-th report the emulator sends (from 1), `length` bytes of it.
function emulatedReport(n, length = REPORT_SIZE) {
  return Array.from({ length }, (_, i) => (16 * n + i) & 0xff);
}

// Sizes of the event records by type, to walk a queue.
const RECORD_SIZES = {
  0x100: 2, 0x200: 11, 0x300: 11, 0x301: 11, 0x400: 10, 0x401: 11, 0x402: 11,
  0x650: 11, 0x651: 8, 0x652: 8, 0x653: 6, 0x654: 6, 0x8000: 8,
};

// Splits queued event bytes into records: [{ type, bytes }].
function eventRecords(bytes) {
  const records = [];
  let at = 0;
  while (at + 2 <= bytes.length) {
    const type = bytes[at] | (bytes[at + 1] << 8);
    const size = type === 0x303 ? 3 + bytes[at + 2] : RECORD_SIZES[type];
    if (!size || at + size > bytes.length) throw new Error(`bad event record at ${at}: ${bytes.slice(at)}`);
    records.push({ type, bytes: bytes.slice(at, at + size) });
    at += size;
  }
  return records;
}

// The AdapterConnected records among queued event bytes.
function adapterRecords(bytes) {
  return eventRecords(bytes).filter((r) => r.type === 0x8000);
}

// Lines of standard output that are the adapter's messages, in order (a message without its
// newline runs into whatever the host prints next; the host's own "@" text is cut off).
function usbLines(stdout) {
  const lines = [];
  for (const raw of stdout.split('\n')) {
    const line = raw.startsWith('@') ? '' : raw.replace(/@.*$/, '');
    if (USB_MESSAGES.some((m) => line.startsWith(m))) lines.push(line);
  }
  return lines;
}

// What the emulated devices were asked, in order ("open /dev/...", "claim 0", "write 0x02 13", ...).
function deviceLog(stderr) {
  return stderr.split('\n').filter((l) => l.startsWith('@usb ')).map((l) => l.slice(5));
}

// Runs tests/hosts/<script> under the emulated adapter of `scenario`. Resolves to
// { code, signal, stdout, stderr, results, device } like runHost, plus the emulator's device log.
// The testbed directory is removed afterwards even if the run was cut short.
// guardBytes: put USB_BUFFER-sized blocks of that many bytes against a guard page (usb-guard).
// noKernelDriver: the library answers NOT_SUPPORTED to kernel-driver calls (usb-no-kernel-driver).
function runEmulated(scenario, script, args = [], { display, env = {}, guardBytes, noKernelDriver } = {}) {
  const extra = { LP_NUM_THREADS: '0', ...env };
  const preload = [];
  if (guardBytes) {
    extra.TESSIMARKE_GUARD_BYTES = String(guardBytes);
    preload.push(guardLibrary);
  }
  if (noKernelDriver) preload.push(noKernelDriverLibrary);
  if (preload.length) extra.LD_PRELOAD = preload.join(' ');
  const childEnv = hostEnv({ display, audio: 'null', env: extra });
  const command = ['-k', '5', String(RUN_SECONDS), emulatorPath, scenario, '--',
    process.execPath, path.join(root, 'tests', 'hosts', script), ...args.map(String)];
  return new Promise((resolve, reject) => {
    const child = spawn('timeout', command, { cwd: root, env: childEnv, stdio: ['ignore', 'pipe', 'pipe'] });
    let stdout = '';
    let stderr = '';
    child.stdout.on('data', (d) => { stdout += d; });
    child.stderr.on('data', (d) => { stderr += d; });
    child.on('close', (code, signal) => {
      const testbed = /^@testbed (\/tmp\/umockdev\.[^\s/]+)$/m.exec(stderr);
      if (testbed) fs.rmSync(testbed[1], { recursive: true, force: true });
      const results = [];
      for (const line of stdout.split('\n')) if (line.startsWith('@result ')) results.push(JSON.parse(line.slice(8)));
      // The emulator exits 128 + signal when the host was killed by one.
      const hostSignal = code > 128 && code < 160 ? code - 128 : null;
      try {
        assertNoSanitizerReport(stderr, script);
      } catch (error) {
        reject(error);
        return;
      }
      resolve({ code, signal, hostSignal, timedOut: code === 124 || code === 137, stdout, stderr, results,
        device: deviceLog(stderr) });
    });
  });
}

module.exports = {
  REPORT_SIZE, USB_MESSAGES, emulatorPath, guardCheckPath, guardLibrary,
  emulatedReport, eventRecords, adapterRecords, usbLines, deviceLog, runEmulated,
};
