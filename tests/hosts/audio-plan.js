'use strict';
// Audio host: runs a plan of steps given as JSON (argument 1: a file) against the addon and reports
// each step's result with the time it started (seconds). Before each step it writes "@step NAME"
// to both output streams, so the test can tell which native lines each step printed.
//
// Steps: { name, op, ... } with op one of
//   loadAudio    args: [id, path, wordSize, channels]; repeat: n calls (the last result reported)
//   initALBuffer id, pcm: { freq, seconds, rate, bits, channels } or { bytes }, format, rate; repeat
//   rss                                   (the resident set in bytes)
//   commands     words: [...]             (one tick; the results parallel to the words)
//   call         fn, args                 (any export; an argument {"$buffer": n} is an n-byte Buffer)
//   sleep        ms
//   ticks        ms                       (an empty tick every 10 ms, as a game's steps would run)
//   quit
const fs = require('node:fs');
const { addon, createFixed, runCommands, report } = require('./common');

const plan = JSON.parse(fs.readFileSync(process.argv[2], 'utf8'));
const fixed = createFixed();

// PCM of a sine tone at half scale: 8-bit unsigned or 16-bit signed, the same in every channel.
function tone({ freq = 440, seconds = 0.2, rate = 44100, bits = 16, channels = 1 }) {
  const frames = Math.round(seconds * rate);
  const bytes = bits / 8;
  const buf = Buffer.alloc(frames * channels * bytes);
  for (let f = 0; f < frames; f++) {
    const v = 0.5 * Math.sin((2 * Math.PI * freq * f) / rate);
    for (let c = 0; c < channels; c++) {
      const o = (f * channels + c) * bytes;
      if (bits === 16) buf.writeInt16LE(Math.round(v * 32767), o);
      else buf[o] = Math.round(128 + v * 127);
    }
  }
  return buf;
}

const sleeper = new Int32Array(new SharedArrayBuffer(4));
const pcmBuffers = new Map();

for (const step of plan) {
  process.stdout.write(`@step ${step.name}\n`);
  process.stderr.write(`@step ${step.name}\n`);
  let value;
  const t = performance.now() / 1000;
  switch (step.op) {
    case 'loadAudio': for (let i = 0; i < (step.repeat || 1); i++) value = addon.loadAudio(...step.args); break;
    case 'initALBuffer': {
      // One Buffer per distinct PCM, so that steps repeating it add nothing to the resident set.
      const key = JSON.stringify(step.pcm);
      if (!pcmBuffers.has(key)) pcmBuffers.set(key, step.pcm.bytes !== undefined ? Buffer.alloc(step.pcm.bytes) : tone(step.pcm));
      const data = pcmBuffers.get(key);
      for (let i = 0; i < (step.repeat || 1); i++) value = addon.initALBuffer(step.id, data, step.format, step.rate);
      break;
    }
    case 'rss': value = process.memoryUsage().rss; break;
    case 'commands': value = runCommands(fixed, step.words); break;
    case 'call':
      value = addon[step.fn](...step.args.map((a) => (a && a.$buffer !== undefined ? Buffer.alloc(a.$buffer) : a)));
      break;
    case 'sleep': Atomics.wait(sleeper, 0, 0, step.ms); value = 0; break;
    case 'ticks':
      for (const end = performance.now() + step.ms; performance.now() < end;) {
        runCommands(fixed, []);
        Atomics.wait(sleeper, 0, 0, 10);
      }
      value = 0;
      break;
    case 'quit': value = addon.quit(); break;
    default: throw new Error(`unknown step ${step.op}`);
  }
  report({ name: step.name, value, t });
}
