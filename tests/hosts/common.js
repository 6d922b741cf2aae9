'use strict';
// Shared helpers of the test hosts: load the addon under test, create the fixed buffers, report values.
const path = require('node:path');
const { report } = require('./requests');

const addon = require(process.env.TESSIMARKE_ADDON || path.join(__dirname, '..', '..', 'build', 'tessimarke.node'));
// The fixed buffers in the order of their ids (0-7), with their default sizes in bytes.
const FIXED = { header: 1024, pool: 1 << 20, command: 8192, result: 8192, event: 4096, debug: 16, usb: 64, string: 65536 };
const COMMAND_BUFFER = 2;

// Creates buffers 0-7 with the given sizes (bytes) and returns typed views over them.
function createFixed(sizes = {}) {
  const s = { ...FIXED, ...sizes };
  const b = Object.fromEntries(Object.keys(FIXED).map((name, id) => [name, addon.initBuffer(id, s[name])]));
  return {
    buffers: b, header: new Uint32Array(b.header), commands: new Float64Array(b.command, 0, s.command >> 3),
    results: new Float64Array(b.result, 0, s.result >> 3), events: new Uint8Array(b.event), strings: new Uint8Array(b.string),
    usb: new Uint8Array(b.usb),
  };
}

// Writes commands (an array of numbers) and runs one tick; returns the results parallel to them.
function runCommands(fixed, words) {
  fixed.commands.set(words);
  fixed.header[COMMAND_BUFFER] = words.length;
  addon.tick();
  return Array.from(fixed.results.subarray(0, words.length));
}

// Writes a string into STRING_BUFFER at `offset`; returns [offset, byteLength].
function putString(fixed, text, offset = 0) {
  return [offset, new TextEncoder().encodeInto(text, fixed.strings.subarray(offset)).written];
}

module.exports = { addon, createFixed, runCommands, putString, report };
