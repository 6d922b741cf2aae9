'use strict';
// Hosts run under the emulated USB adapter of tests/harness/usb-emulator, and the reports it sends.
const fs = require('node:fs');
const path = require('node:path');
const { buildDir, runHost } = require('./harness');

// The n-th report the emulator sends (from 1), `length` bytes of its 37.
const emulatedReport = (n, length = 37) => Array.from({ length }, (_, i) => (16 * n + i) & 0xff);

// Runs tests/hosts/<script> under the emulated adapter of `scenario` for at most a minute (an IN transfer nobody
// completes never returns). Resolves to runHost's result plus `device`, what the emulated devices were asked ("open
// /dev/...", "claim 0", "write 0x02 13", ...), in order. The testbed directory is removed afterwards, also when the
// run was cut short. guardBytes: blocks of that many bytes end against a guard page (libusb-guard.so).
// noKernelDriver: the library answers NOT_SUPPORTED to kernel-driver calls (libusb-no-kernel-driver.so).
async function runEmulated(scenario, script, args = [], { display, env = {}, guardBytes, noKernelDriver } = {}) {
  const extra = { LP_NUM_THREADS: '0', ...env };
  if (guardBytes) extra.TESSIMARKE_GUARD_BYTES = String(guardBytes);
  const preload = [guardBytes && 'libusb-guard.so', noKernelDriver && 'libusb-no-kernel-driver.so'].filter(Boolean);
  if (preload.length) extra.LD_PRELOAD = preload.map((l) => path.join(buildDir, l)).join(' ');
  const r = await runHost(script, args, { display, env: extra, timeout: 120000,
    wrap: ['timeout', '-k', '5', '60', path.join(buildDir, 'usb-emulator'), scenario, '--'] });
  const testbed = /^@testbed (\/tmp\/umockdev\.[^\s/]+)$/m.exec(r.stderr);
  if (testbed) fs.rmSync(testbed[1], { recursive: true, force: true });
  return { ...r, timedOut: r.code === 124 || r.code === 137, device: r.stderr.split('\n').filter((l) => l.startsWith('@usb ')).map((l) => l.slice(5)) };
}

module.exports = { emulatedReport, runEmulated };
