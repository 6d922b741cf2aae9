'use strict';
// The command stream against one Node-API call per command, in one process with rounds interleaved:
// "set text colour" (command 12: opcode and four operands) written into COMMAND_BUFFER and run by one
// tick() per batch, by hand into the Float64Array and through the kit's CommandWriter, against a
// minimal addon's setTextColor(r, g, b, a) called once per command; and tick() alone over words
// already written, in ns per word. Prints one `@bench` JSON line per figure.
// Arguments: the comparator addon's path, then `--quick` for fewer rounds.
const path = require('node:path');
const { rounds, timeRounds, emit } = require('../common');

const addon = require(process.env.TESSIMARKE_ADDON || path.join(__dirname, '..', '..', 'build', 'tessimarke.node'));
const percall = require(path.resolve(process.argv[2]));

// Commands per tick: a busy step's worth.
const BATCH = 10000;
// Batches per round: 1,000,000 commands.
const BATCHES = 100;
const WORDS = 5;
const COMMAND_BUFFER = 2;

const header = new Uint32Array(addon.initBuffer(0, 1024));
addon.initBuffer(1, 64);
const commands = new Float64Array(addon.initBuffer(COMMAND_BUFFER, BATCH * WORDS * 8));
const results = new Float64Array(addon.initBuffer(3, BATCH * WORDS * 8));
// The kit's writer over the same blocks (it needs no more of the shared buffers for this command).
const { CommandWriter } = require('../../lib/commands');
const writer = new CommandWriter({ commandWords: commands, resultWords: results, header, strings: new Uint8Array(16) });

function streamRound() {
  for (let b = 0; b < BATCHES; ++b) {
    for (let i = 0, w = 0; i < BATCH; ++i, w += WORDS) {
      const v = (i & 255) * (1 / 255);
      commands[w] = 12;
      commands[w + 1] = v;
      commands[w + 2] = 0.5;
      commands[w + 3] = 1 - v;
      commands[w + 4] = 1;
    }
    header[COMMAND_BUFFER] = BATCH * WORDS;
    addon.tick();
  }
}

function kitRound() {
  for (let b = 0; b < BATCHES; ++b) {
    for (let i = 0; i < BATCH; ++i) {
      const v = (i & 255) * (1 / 255);
      writer.textColor(v, 0.5, 1 - v, 1);
    }
    writer.tick();
  }
}

function callRound() {
  for (let b = 0; b < BATCHES; ++b) {
    for (let i = 0; i < BATCH; ++i) {
      const v = (i & 255) * (1 / 255);
      percall.setTextColor(v, 0.5, 1 - v, 1);
    }
  }
}

function tickRound() {
  header[COMMAND_BUFFER] = BATCH * WORDS;
  for (let b = 0; b < BATCHES; ++b) addon.tick();
}

const perCommand = 1 / (BATCH * BATCHES);
const t = timeRounds(rounds(process.argv.includes('--quick') ? 7 : 21), {
  stream: streamRound, kit: kitRound, call: callRound, tick: tickRound,
});
emit('stream: host writes + tick, per command', t.stream, perCommand, 'ns', t.call, 'call per command');
emit('stream: kit CommandWriter + tick, per command', t.kit, perCommand, 'ns', t.call, 'call per command');
emit('stream: raw writes, kit cost', t.stream, perCommand, 'ns', t.kit, 'kit / raw writes');
emit('per-call addon: one call per command', t.call, perCommand, 'ns');
emit('tick alone, per word', t.tick, perCommand / WORDS, 'ns');
if (percall.getTextColor() === -1) console.log('');  // keeps the comparator's stores observable
