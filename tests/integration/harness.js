'use strict';
// Test harness: a private X server per test process, host scripts run in child Node processes with OpenAL Soft pointed
// at a null or wave-file backend, and helpers to read what they printed.
const { spawn, execFile } = require('node:child_process');
const path = require('node:path');
const fs = require('node:fs');
const os = require('node:os');
const assert = require('node:assert/strict');

const root = path.resolve(__dirname, '..', '..');
const buildDir = path.resolve(root, process.env.TESSIMARKE_BUILD_DIR || 'build');
const addonPath = path.join(buildDir, 'tessimarke.node');

// The sanitized build (scripts/test-san.sh): Node is not instrumented, so the sanitizer runtimes the addon was linked
// against (TESSIMARKE_SANITIZER_PRELOAD) are preloaded into every child that loads it; the test runner, the X server
// and the X tools run without them. A child takes about 1.5 to 2 times as long there: its waits and limits are scaled.
const sanitizerPreload = process.env.TESSIMARKE_SANITIZER_PRELOAD || '';
const sanitized = sanitizerPreload !== '';
const timeScale = sanitized ? 3 : 1;
// A report from either sanitizer on a child's standard error. Every report also ends the child, but a test that only
// looks at exit codes or output lines must still fail.
const SANITIZER_REPORT = /ERROR: (AddressSanitizer|LeakSanitizer)|runtime error:|SUMMARY: (AddressSanitizer|UndefinedBehaviorSanitizer)/;

// Throws when `stderr` holds a sanitizer report, with the report in the message.
function assertNoSanitizerReport(stderr, what = 'child') {
  const m = SANITIZER_REPORT.exec(stderr || '');
  if (m) throw new Error(`sanitizer report from ${what}:\n${stderr.slice(Math.max(0, m.index - 2000))}`);
}

// Starts a private Xvfb (and, with { wm: true }, openbox in it). Resolves to { display, stop }.
function startXvfb({ wm = false, screen = '1920x1080x24', extraArgs = [] } = {}) {
  return new Promise((resolve, reject) => {
    const x = spawn('setpriv', ['--pdeathsig', 'KILL', '--', 'Xvfb', '-displayfd', '3', '-screen', '0', screen,
      '-nolisten', 'tcp', '-noreset', ...extraArgs], { stdio: ['ignore', 'ignore', 'pipe', 'pipe'] });
    let buffered = '', stderr = '';
    x.stderr.on('data', (d) => { stderr += d; });
    x.on('error', reject);
    x.on('exit', (code) => reject(new Error(`Xvfb exited (${code}): ${stderr}`)));
    x.stdio[3].on('data', (d) => {
      if (!(buffered += d).includes('\n')) return;
      const display = ':' + buffered.trim(), env = { ...process.env, DISPLAY: display };
      x.removeAllListeners('exit');
      if (!wm) return resolve({ display, stop: () => x.kill('SIGKILL') });
      const o = spawn('openbox', ['--sm-disable'], { env, stdio: 'ignore' });
      const stop = () => { o.kill('SIGKILL'); x.kill('SIGKILL'); };
      // Windows must appear only once the manager has taken the screen (it then names its own window on the root
      // window), or they stay unmanaged: no focus and no close key.
      const managed = (tries) => execFile('xprop', ['-root', '_NET_SUPPORTING_WM_CHECK'], { env }, (error, out) => {
        if (!error && /window id/.test(out)) resolve({ display, stop });
        else if (tries >= 300) { stop(); reject(new Error('openbox never took the screen')); }
        else setTimeout(() => managed(tries + 1), 50);
      });
      managed(0);
    });
  });
}

// Environment for a child host: software GL, the chosen audio backend, the addon under test.
// audio: 'null' (plays to nothing), 'none' (no device at all), or { wave: '/path/out.wav' }.
function hostEnv({ display, audio = 'null', env = {} } = {}) {
  const e = { ...process.env, TESSIMARKE_ADDON: addonPath, LIBGL_ALWAYS_SOFTWARE: '1', GALLIUM_DRIVER: 'llvmpipe', DISPLAY: display };
  for (const name of ['ALSOFT_CONF', 'ALSOFT_DRIVERS', ...(display ? [] : ['DISPLAY'])]) delete e[name];
  if (audio === 'null' || audio === 'none') e.ALSOFT_DRIVERS = audio === 'null' ? 'null' : 'no-such-driver';
  else if (audio && audio.wave) {
    e.ALSOFT_CONF = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'tm-al-')), 'alsoft.conf');
    fs.writeFileSync(e.ALSOFT_CONF, `[general]\ndrivers=wave\n[wave]\nfile=${audio.wave}\n`);
  }
  const merged = { ...e, ...env };
  // The sanitizer runtimes come first: a library the test preloads itself follows them.
  if (sanitized) merged.LD_PRELOAD = [sanitizerPreload, merged.LD_PRELOAD].filter(Boolean).join(' ');
  return merged;
}

// Runs tests/hosts/<script> (or the script at an absolute path) with arguments in a child Node process. Resolves to
// { code, signal, stdout, stderr, results, timedOut } where results are the host's report() values in order; rejects
// when the child's standard error holds a sanitizer report. onLine(line, child) sees each standard-output line as it
// arrives (for driving input from outside). wrap: a command line that runs Node (it is given Node's path and arguments).
function runHost(script, args = [], { display, audio, env, timeout = 60000, nodeArgs = [], onLine, cwd = root, wrap = [] } = {}) {
  return new Promise((resolve, reject) => {
    const [command, ...argv] = [...wrap, process.execPath, ...nodeArgs, path.resolve(root, 'tests', 'hosts', script), ...args.map(String)];
    const child = spawn(command, argv, { cwd, env: hostEnv({ display, audio, env }), stdio: ['pipe', 'pipe', 'pipe'] });
    let stdout = '', stderr = '', pending = '';
    const timer = setTimeout(() => child.kill('SIGKILL'), timeout * timeScale);
    child.stdout.on('data', (d) => {
      stdout += d;
      const lines = (pending += d).split('\n');
      pending = lines.pop();
      if (onLine) for (const line of lines) onLine(line, child);
    });
    child.stderr.on('data', (d) => { stderr += d; });
    child.on('close', (code, signal) => {
      clearTimeout(timer);
      try { assertNoSanitizerReport(stderr, script); } catch (error) { return reject(error); }
      const results = stdout.split('\n').filter((l) => l.startsWith('@result ')).map((l) => JSON.parse(l.slice(8)));
      resolve({ code, signal, stdout, stderr, results, timedOut: signal === 'SIGKILL' });
    });
  });
}

// Runs `fn` in the test host (tests/hosts/run.js) with `arg` (JSON): fn(arg) sees the addon and the hosts' helpers
// (createFixed, runCommands, putString, report, serveRequests, graphics(), kit()) and its return value is the last
// result. Options and result as runHost.
function runFn(fn, arg, options) {
  return runHost('run.js', [fn.toString(), JSON.stringify(arg === undefined ? null : arg)], options);
}

// Standard output without the hosts' own result lines.
const nativeOut = (result) => result.stdout.replace(/\n@result [^\n]*\n/g, '');

// Asserts that the host ended in a failed check with exactly this expression text; returns the check's module.
function assertAborted(result, expression) {
  assert.ok(result.signal === 'SIGABRT' || result.code === 134,
    `expected an abort, got code ${result.code} signal ${result.signal}\n${result.stderr}`);
  const m = /Assertion failed: (.*), module (\w+), line \d+/.exec(result.stderr);
  assert.ok(m, `no failed check on standard error:\n${result.stderr}`);
  assert.equal(m[1], expression);
  return m[2];
}

// Asserts a clean exit and returns the result.
function assertOk(result) {
  assert.equal(result.signal, null, `host died with ${result.signal}\n${result.stderr}`);
  assert.equal(result.code, 0, `host exited ${result.code}\n${result.stderr}`);
  return result;
}

// A copy of the addon as build/tessimarke.node of a package folder (`dir`, by default a new empty one), for runs in
// which the files the addon looks for in its own package must be missing. Returns { dir, env } (the env makes a host
// load that copy); the caller removes dir.
function isolatedAddon(dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tm-package-'))) {
  fs.mkdirSync(path.join(dir, 'build'), { recursive: true });
  fs.copyFileSync(addonPath, path.join(dir, 'build', 'tessimarke.node'));
  return { dir, env: { TESSIMARKE_ADDON: path.join(dir, 'build', 'tessimarke.node') } };
}

module.exports = {
  root, buildDir, addonPath, sanitized, timeScale, startXvfb, hostEnv, runHost, runFn, nativeOut, assertAborted, assertOk,
  assertNoSanitizerReport, isolatedAddon,
};
