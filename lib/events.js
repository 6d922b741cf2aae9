'use strict';
// The event reader: the packed records the addon queues in EVENT_BUFFER, decoded into plain
// objects, and the queue emptied. Record types live in one table, so that a module adding a record
// type registers its decoder with defineEventRecord instead of editing this file.
const { EVENT_BUFFER } = require('./buffers');

// Event record types.
const EVENT = Object.freeze({
  QUIT: 256, WINDOW_SIZE: 512, KEY_DOWN: 768, KEY_UP: 769, TEXT_INPUT: 771, MOUSE_MOVE: 1024,
  MOUSE_DOWN: 1025, MOUSE_UP: 1026, CONTROLLER_AXIS: 1616, CONTROLLER_BUTTON_DOWN: 1617,
  CONTROLLER_BUTTON_UP: 1618, CONTROLLER_ADDED: 1619, CONTROLLER_REMOVED: 1620, ADAPTER_CONNECTED: 32768,
});

const decoder = new TextDecoder();

// code -> { size: bytes, or (view, offset, available) => bytes; decode: (view, offset, bytes, code) => event }.
// `available` is how many bytes of the queue are left from the record's start.
const RECORDS = new Map();

// Registers the decoder of record type `code`. `size` is the record's byte count, or a function of
// (DataView, offset, available) for records whose size is written in them; `decode` builds the event
// object from the whole record (it is called only when the record fits in the queue).
function defineEventRecord(code, { size, decode }) {
  if (!Number.isInteger(code) || code < 0 || code > 0xffff) throw new RangeError(`event record type must be 0..65535, got ${code}`);
  if (RECORDS.has(code)) throw new Error(`event record type ${code} is defined already`);
  if (typeof decode !== 'function' || !(typeof size === 'function' || (Number.isInteger(size) && size >= 2))) {
    throw new TypeError('an event record needs a size (bytes, at least 2, or a function) and a decode function');
  }
  RECORDS.set(code, { size, decode });
}

defineEventRecord(EVENT.QUIT, { size: 2, decode: (v, o, b, code) => ({ type: 'quit', code }) });
defineEventRecord(EVENT.WINDOW_SIZE, { size: 11,
  decode: (v, o, b, code) => ({ type: 'windowSize', code, width: v.getInt32(o + 3, true), height: v.getInt32(o + 7, true) }) });
for (const [code, type] of [[EVENT.KEY_DOWN, 'keyDown'], [EVENT.KEY_UP, 'keyUp']]) {
  defineEventRecord(code, { size: 11,
    decode: (v, o) => ({ type, code, scancode: v.getUint16(o + 2, true), key: v.getInt32(o + 4, true),
      mod: v.getUint16(o + 8, true), repeat: v.getUint8(o + 10) !== 0 }) });
}
defineEventRecord(EVENT.TEXT_INPUT, {
  size: (v, o, available) => 3 + (available >= 3 ? v.getUint8(o + 2) : 0),
  decode: (v, o, bytes, code) => ({ type: 'textInput', code, text: decoder.decode(bytes.subarray(o + 3, o + 3 + v.getUint8(o + 2))) }),
});
defineEventRecord(EVENT.MOUSE_MOVE, { size: 10,
  decode: (v, o, b, code) => ({ type: 'mouseMove', code, x: v.getInt32(o + 2, true), y: v.getInt32(o + 6, true) }) });
for (const [code, type] of [[EVENT.MOUSE_DOWN, 'mouseDown'], [EVENT.MOUSE_UP, 'mouseUp']]) {
  defineEventRecord(code, { size: 11,
    decode: (v, o) => ({ type, code, x: v.getInt32(o + 2, true), y: v.getInt32(o + 6, true), button: v.getUint8(o + 10) }) });
}
defineEventRecord(EVENT.CONTROLLER_AXIS, { size: 11,
  decode: (v, o, b, code) => ({ type: 'controllerAxis', code, controller: v.getInt32(o + 2, true), axis: v.getUint8(o + 6),
    value: v.getFloat32(o + 7, true) }) });
for (const [code, type] of [[EVENT.CONTROLLER_BUTTON_DOWN, 'controllerButtonDown'], [EVENT.CONTROLLER_BUTTON_UP, 'controllerButtonUp']]) {
  defineEventRecord(code, { size: 8,
    decode: (v, o) => ({ type, code, controller: v.getInt32(o + 2, true), button: v.getUint8(o + 6), pressed: v.getUint8(o + 7) !== 0 }) });
}
for (const [code, type] of [[EVENT.CONTROLLER_ADDED, 'controllerAdded'], [EVENT.CONTROLLER_REMOVED, 'controllerRemoved']]) {
  defineEventRecord(code, { size: 6, decode: (v, o) => ({ type, code, controller: v.getInt32(o + 2, true) }) });
}
defineEventRecord(EVENT.ADAPTER_CONNECTED, { size: 8, decode: (v, o, b, code) => ({ type: 'adapterConnected', code }) });

// Decodes the packed records in bytes[0, length) into plain objects, appended to `out`. A type it
// does not know, or a record cut off by `length`, throws: the records after it cannot be found.
function decodeEvents(bytes, length = bytes.length, out = []) {
  if (length > bytes.length) throw new RangeError(`event length ${length} is past the block's ${bytes.length} bytes`);
  const v = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  let o = 0;
  while (o < length) {
    if (o + 2 > length) throw new RangeError(`event record cut off at byte ${o}`);
    const code = v.getUint16(o, true);
    const record = RECORDS.get(code);
    if (!record) throw new Error(`unknown event record type ${code} at byte ${o}`);
    const size = typeof record.size === 'number' ? record.size : record.size(v, o, length - o);
    if (o + size > length) throw new RangeError(`event record of type ${code} at byte ${o} cut off by the queue length ${length}`);
    out.push(record.decode(v, o, bytes, code));
    o += size;
  }
  return out;
}

// Decodes what the last polls queued and empties the queue. A window size record also reaches the
// buffers' size listeners (the Graphics object's interface transform), after the whole queue is
// decoded.
function readEvents(buffers, out = []) {
  const length = buffers.header[EVENT_BUFFER];
  buffers.header[EVENT_BUFFER] = 0;
  const first = out.length;
  decodeEvents(buffers.events, length, out);
  const listeners = buffers.sizeListeners;
  if (listeners && listeners.length) {
    for (let i = first; i < out.length; ++i) {
      const e = out[i];
      if (e.code === EVENT.WINDOW_SIZE) for (const listen of listeners) listen(e.width, e.height);
    }
  }
  return out;
}

module.exports = { EVENT, decodeEvents, readEvents, defineEventRecord };
