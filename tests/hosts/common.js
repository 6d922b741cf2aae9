'use strict';
// Shared helpers of the test hosts: load the addon under test, create the fixed buffers, report values.
const path = require('node:path');
const { report } = require('./requests');

const addon = require(process.env.TESSIMARKE_ADDON || path.join(__dirname, '..', '..', 'build', 'tessimarke.node'));

const HEADER_BUFFER = 0, POOL_BUFFER = 1, COMMAND_BUFFER = 2, RESULT_BUFFER = 3, EVENT_BUFFER = 4,
  DEBUG_BUFFER = 5, USB_BUFFER = 6, STRING_BUFFER = 7;

// Creates buffers 0-7 with the given sizes (bytes) and returns typed views over them.
function createFixed(sizes = {}) {
  const s = { header: 1024, pool: 1 << 20, command: 8192, result: 8192, event: 4096, debug: 16, usb: 64, string: 65536, ...sizes };
  const b = {
    header: addon.initBuffer(HEADER_BUFFER, s.header),
    pool: addon.initBuffer(POOL_BUFFER, s.pool),
    command: addon.initBuffer(COMMAND_BUFFER, s.command),
    result: addon.initBuffer(RESULT_BUFFER, s.result),
    event: addon.initBuffer(EVENT_BUFFER, s.event),
    debug: addon.initBuffer(DEBUG_BUFFER, s.debug),
    usb: addon.initBuffer(USB_BUFFER, s.usb),
    string: addon.initBuffer(STRING_BUFFER, s.string),
  };
  return {
    buffers: b,
    header: new Uint32Array(b.header),
    commands: new Float64Array(b.command, 0, s.command >> 3),
    results: new Float64Array(b.result, 0, s.result >> 3),
    events: new Uint8Array(b.event),
    strings: new Uint8Array(b.string),
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
  const { written } = new TextEncoder().encodeInto(text, fixed.strings.subarray(offset));
  return [offset, written];
}

module.exports = {
  addon, createFixed, runCommands, putString, report,
  HEADER_BUFFER, POOL_BUFFER, COMMAND_BUFFER, RESULT_BUFFER, EVENT_BUFFER, DEBUG_BUFFER, USB_BUFFER, STRING_BUFFER,
};
