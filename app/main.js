'use strict';
// The reference host application. For now a small host: it loads the addon, creates the fixed
// shared buffers, runs a few steps of commands (a log line, a text colour) and quits.
const tm = require('..');

const HEADER = 0, POOL = 1, COMMAND = 2, RESULT = 3, EVENT = 4, DEBUG = 5, USB = 6, STRING = 7;
const sizes = { [HEADER]: 1024, [POOL]: 1 << 20, [COMMAND]: 64 * 1024, [RESULT]: 64 * 1024,
  [EVENT]: 64 * 1024, [DEBUG]: 16, [USB]: 64, [STRING]: 64 * 1024 };
const blocks = {};
for (const [id, size] of Object.entries(sizes)) blocks[id] = tm.initBuffer(Number(id), size);

const header = new Uint32Array(blocks[HEADER]);
const commands = new Float64Array(blocks[COMMAND]);
const results = new Float64Array(blocks[RESULT]);
const strings = new Uint8Array(blocks[STRING]);
const encoder = new TextEncoder();

const args = process.argv.slice(2);
const framesArg = args.indexOf('--frames');
const steps = framesArg >= 0 ? Number(args[framesArg + 1]) : 3;

tm.ready();
tm.startTicking(() => {
  for (let step = 0; step < steps; step++) {
    tm.poll();
    header[EVENT] = 0;
    const { written } = encoder.encodeInto(`step ${step}: hello from the host\n`, strings);
    const words = [12, 1, 0.5, 0, 1, 9, 0, written];
    commands.set(words);
    header[COMMAND] = words.length;
    tm.tick();
    tm.render();
    if (results[0] !== 0 || results[5] !== 0) throw new Error('unexpected command results');
  }
  tm.quit();
});
