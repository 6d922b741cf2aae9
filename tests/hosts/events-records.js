'use strict';
// Decodes the event records of EVENT_BUFFER (packed, little-endian, a 16-bit type first) into objects
// { type, at, ...fields, size } by this file's own layouts, which the contract test holds the kit's against.
// Throws on an unknown type, after which no record could be found.
const KEY = [['scancode', 'u16'], ['keycode', 'i32'], ['mod', 'u16'], ['repeat', 'u8']], XY = [['x', 'i32'], ['y', 'i32']];
const BUTTON = [...XY, ['button', 'u8']], PAD = [['id', 'i32'], ['button', 'u8'], ['state', 'u8']], ID = [['id', 'i32']];
const LAYOUT = { 256: [], 512: [['kind', 'u8'], ['width', 'i32'], ['height', 'i32']], 768: KEY, 769: KEY, 771: [['n', 'u8']], 1024: XY,
  1025: BUTTON, 1026: BUTTON, 1616: [['id', 'i32'], ['axis', 'u8'], ['value', 'f32']], 1617: PAD, 1618: PAD, 1619: ID, 1620: ID, 32768: [[null, 6]] };
const READ = { u8: ['getUint8', 1], u16: ['getUint16', 2], i32: ['getInt32', 4], f32: ['getFloat32', 4], 6: [null, 6] };  // getter, bytes

function decodeRecords(bytes, length) {
  const v = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength), out = [];
  let o = 0;
  while (o < length) {
    const type = v.getUint16(o, true), r = { type, at: o };
    if (!LAYOUT[type]) throw new Error(`unknown event record type ${type} at ${o}`);
    let at = o + 2;
    for (const [name, kind] of LAYOUT[type]) { if (name) r[name] = v[READ[kind][0]](at, true); at += READ[kind][1]; }
    // Text input: a length byte, then that many bytes of UTF-8.
    if (type === 771) r.text = Buffer.from(bytes.subarray(at, (at += r.n))).toString();
    out.push(Object.assign(r, { size: at - o }));
    o = at;
  }
  if (o !== length) throw new Error(`records end at ${o}, queue length ${length}`);
  return out;
}

module.exports = { decodeRecords };
