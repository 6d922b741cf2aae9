'use strict';
// A host driven line by line: each line on standard input is one JSON request, answered by one
// report. Used by the window, event and clipboard tests, which act on the window from outside
// between requests. Requests: setup, poll, reset, setLength, commands, viewport, copy, paste, pumpStart,
// pumpStop, compile, check, quit.
const { addon, createFixed, runCommands, report, EVENT_BUFFER } = require('./common');
const { serveRequests } = require('./requests');
const { decodeRecords } = require('./events-records');

let fixed = null;
let viewport = null;
let pumping = null;
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

function records() {
  const length = fixed.header[EVENT_BUFFER];
  return { length, records: decodeRecords(fixed.events, length) };
}

const handlers = {
  // Buffers 0-7, a bufferIDs table whose entry 0 names a fresh 8-byte block, then setBuffers.
  setup({ event = 4096, tableEntries = 29 }) {
    fixed = createFixed({ event });
    const [vpBuffer, vpId] = addon.nextBuffer(8);
    const [tableBuffer, tableId] = addon.nextBuffer(tableEntries * 2);
    const table = new Uint16Array(tableBuffer);
    for (let i = 0; i < tableEntries; ++i) table[i] = i === 0 ? vpId : 100 + i;
    viewport = new Float32Array(vpBuffer);
    addon.setBuffers(tableId);
    return { vpId, tableId, viewport: Array.from(viewport) };
  },
  // Polls until a record of type `until` is queued (or `max` polls), or exactly `count` polls.
  async poll({ until, count = 1, max = 500, untilLine }) {
    if (until === undefined) {
      for (let i = 0; i < count; ++i) addon.poll();
      return records();
    }
    for (let i = 0; i < max; ++i) {
      addon.poll();
      if (records().records.some((r) => r.type === until)) break;
      await sleep(10);
    }
    return records();
  },
  reset() { fixed.header[EVENT_BUFFER] = 0; return records(); },
  // Sets the queue's offset (no records behind it) and polls once: the offset the pump stored back.
  setLength({ length }) { fixed.header[EVENT_BUFFER] = length; addon.poll(); return fixed.header[EVENT_BUFFER]; },
  commands({ words }) { return runCommands(fixed, words); },
  viewport() { return Array.from(viewport); },
  copy({ text }) { return addon.copy(text); },
  paste() { return addon.paste(); },
  // SDL hands the selection to the X server when it next pumps, so the first poll is immediate.
  pumpStart() { addon.poll(); pumping = setInterval(() => addon.poll(), 5); return true; },
  pumpStop() { clearInterval(pumping); pumping = null; return true; },
  compile({ name, vertex, source }) { return addon.compileShader(name, vertex, source); },
  check() { return addon.checkShaders(); },
  quit() { if (pumping) clearInterval(pumping); return addon.quit(); },
};

serveRequests(handlers);
