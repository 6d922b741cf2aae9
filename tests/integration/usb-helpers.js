'use strict';
// Hosts run under the emulated USB adapter of tests/harness/usb-emulator, and the reports it sends.
const { spawn } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const { root, buildDir, hostEnv, assertNoSanitizerReport } = require('./harness');

// The n-th report the emulator sends (from 1), `length` bytes of its 37.
const emulatedReport = (n, length = 37) => Array.from({ length }, (_, i) => (16 * n + i) & 0xff);

// Runs tests/hosts/<script> under the emulated adapter of `scenario` for at most a minute (an IN
// transfer nobody completes never returns). Resolves to runHost's result plus `device`, what the
// emulated devices were asked ("open /dev/...", "claim 0", "write 0x02 13", ...), in order. The
// testbed directory is removed afterwards, also when the run was cut short.
// guardBytes: blocks of that many bytes end against a guard page (libusb-guard.so).
// noKernelDriver: the library answers NOT_SUPPORTED to kernel-driver calls (libusb-no-kernel-driver.so).
function runEmulated(scenario, script, args = [], { display, env = {}, guardBytes, noKernelDriver } = {}) {
  const extra = { LP_NUM_THREADS: '0', ...env };
  if (guardBytes) extra.TESSIMARKE_GUARD_BYTES = String(guardBytes);
  const preload = [guardBytes && 'libusb-guard.so', noKernelDriver && 'libusb-no-kernel-driver.so'].filter(Boolean);
  if (preload.length) extra.LD_PRELOAD = preload.map((l) => path.join(buildDir, l)).join(' ');
  const command = ['-k', '5', '60', path.join(buildDir, 'usb-emulator'), scenario, '--', process.execPath,
    path.join(root, 'tests', 'hosts', script), ...args.map(String)];
  return new Promise((resolve, reject) => {
    const child = spawn('timeout', command, { cwd: root, env: hostEnv({ display, audio: 'null', env: extra }), stdio: ['ignore', 'pipe', 'pipe'] });
    let stdout = '', stderr = '';
    child.stdout.on('data', (d) => { stdout += d; });
    child.stderr.on('data', (d) => { stderr += d; });
    child.on('close', (code, signal) => {
      const testbed = /^@testbed (\/tmp\/umockdev\.[^\s/]+)$/m.exec(stderr);
      if (testbed) fs.rmSync(testbed[1], { recursive: true, force: true });
      try {
        assertNoSanitizerReport(stderr, script);
      } catch (error) {
        return reject(error);
      }
      const results = stdout.split('\n').filter((l) => l.startsWith('@result ')).map((l) => JSON.parse(l.slice(8)));
      // The emulator exits 128 + the signal that ended the host.
      resolve({ code, signal, hostSignal: code > 128 && code < 160 ? code - 128 : null, timedOut: code === 124 || code === 137,
        stdout, stderr, results, device: stderr.split('\n').filter((l) => l.startsWith('@usb ')).map((l) => l.slice(5)) });
    });
  });
}

module.exports = { emulatedReport, runEmulated };
