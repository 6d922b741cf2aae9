'use strict';
// The event reader: the packed records the addon queues in EVENT_BUFFER, decoded into plain
// objects, and the queue emptied. Every record type of the host contract is decoded from its field
// list; defineEventRecord registers a decoder for a type the contract does not hold.
const { kitError } = require('./checks');
const { EVENT_BUFFER } = require('./buffers');

const contract = require('../contract/host');

// Event record types by name (QUIT, WINDOW_SIZE, KEY_DOWN, MOUSE_MOVE, ...), from the contract.
const upperSnake = (name) => name.replace(/[A-Z]/g, (c) => `_${c}`).toUpperCase();
const EVENT = Object.freeze(Object.fromEntries(contract.events.map((e) => [upperSnake(e.name), e.code])));

const decoder = new TextDecoder();

// code -> { size: bytes, or (view, offset, available) => bytes; decode: (view, offset, bytes, code) => event }.
// `available` is how many bytes of the queue are left from the record's start.
const RECORDS = new Map();

// Registers the decoder of record type `code`. `size` is the record's byte count, or a function of
// (DataView, offset, available) for records whose size is written in them; `decode` builds the event
// object from the whole record (it is called only when the record fits in the queue).
function defineEventRecord(code, { size, decode }) {
  if (!Number.isInteger(code) || code < 0 || code > 0xffff) throw kitError(RangeError, 'ERR_RANGE', `event record type must be 0..65535, got ${code}`);
  if (RECORDS.has(code)) throw kitError(Error, 'ERR_STATE', `event record type ${code} is defined already`);
  if (typeof decode !== 'function' || !(typeof size === 'function' || (Number.isInteger(size) && size >= 2))) {
    throw kitError(TypeError, 'ERR_TYPE', 'an event record needs a size (bytes, at least 2, or a function) and a decode function');
  }
  RECORDS.set(code, { size, decode });
}

// Readers of the contract's field types at a byte offset.
const READ = {
  u8: (v, o) => v.getUint8(o), bool: (v, o) => v.getUint8(o) !== 0, u16: (v, o) => v.getUint16(o, true),
  i32: (v, o) => v.getInt32(o, true), u32: (v, o) => v.getUint32(o, true), f32: (v, o) => v.getFloat32(o, true),
};

// Every record of the contract, decoded field by field into { type, code, ...fields }.
for (const record of contract.events) {
  const plan = [];
  let at = 2;
  let text = null;
  for (const [name, type] of record.fields) {
    if (type === 'text') text = { name, at };
    else if (name !== null) plan.push({ name, at, read: READ[type] });
    at += type === 'text' ? 1 : contract.FIELD_BYTES[type];
  }
  const fixed = contract.recordSize(record);
  const type = record.name;
  defineEventRecord(record.code, {
    size: text ? (v, o, available) => fixed + (available >= fixed ? v.getUint8(o + text.at) : 0) : fixed,
    decode: (v, o, bytes, code) => {
      const event = { type, code };
      for (const f of plan) event[f.name] = f.read(v, o + f.at);
      if (text) {
        const start = o + text.at + 1;
        event[text.name] = decoder.decode(bytes.subarray(start, start + v.getUint8(o + text.at)));
      }
      return event;
    },
  });
}

// Decodes the packed records in bytes[0, length) into plain objects, appended to `out`. A type it
// does not know, or a record cut off by `length`, throws: the records after it cannot be found.
function decodeEvents(bytes, length = bytes.length, out = []) {
  if (length > bytes.length) throw kitError(RangeError, 'ERR_RANGE', `event length ${length} is past the block's ${bytes.length} bytes`);
  const v = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  let o = 0;
  while (o < length) {
    if (o + 2 > length) throw kitError(RangeError, 'ERR_RANGE', `event record cut off at byte ${o}`);
    const code = v.getUint16(o, true);
    const record = RECORDS.get(code);
    if (!record) throw kitError(Error, 'ERR_RECORD', `unknown event record type ${code} at byte ${o}`);
    const size = typeof record.size === 'number' ? record.size : record.size(v, o, length - o);
    if (o + size > length) throw kitError(RangeError, 'ERR_RANGE', `event record of type ${code} at byte ${o} cut off by the queue length ${length}`);
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
