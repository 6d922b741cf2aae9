'use strict';
// Decodes the event records of EVENT_BUFFER (packed, little-endian, a 16-bit type first) into plain
// objects { type, at, ...fields, size }, as the host reads them. Throws on an unknown type, after
// which no record could be found.
function decodeRecords(bytes, length) {
  const v = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  const out = [];
  let o = 0;
  const i32 = (at) => v.getInt32(o + at, true);
  while (o < length) {
    const type = v.getUint16(o, true);
    const r = { type, at: o };
    switch (type) {
      case 256: r.size = 2; break;
      case 512: Object.assign(r, { kind: v.getUint8(o + 2), width: i32(3), height: i32(7), size: 11 }); break;
      case 768: case 769:
        Object.assign(r, { scancode: v.getUint16(o + 2, true), keycode: i32(4), mod: v.getUint16(o + 8, true),
          repeat: v.getUint8(o + 10), size: 11 });
        break;
      case 771: r.n = v.getUint8(o + 2); r.text = Buffer.from(bytes.subarray(o + 3, o + 3 + r.n)).toString(); r.size = 3 + r.n; break;
      case 1024: Object.assign(r, { x: i32(2), y: i32(6), size: 10 }); break;
      case 1025: case 1026: Object.assign(r, { x: i32(2), y: i32(6), button: v.getUint8(o + 10), size: 11 }); break;
      case 1616: Object.assign(r, { id: i32(2), axis: v.getUint8(o + 6), value: v.getFloat32(o + 7, true), size: 11 }); break;
      case 1617: case 1618: Object.assign(r, { id: i32(2), button: v.getUint8(o + 6), state: v.getUint8(o + 7), size: 8 }); break;
      case 1619: case 1620: Object.assign(r, { id: i32(2), size: 6 }); break;
      case 32768: r.size = 8; break;
      default: throw new Error(`unknown event record type ${type} at ${o}`);
    }
    out.push(r);
    o += r.size;
  }
  if (o !== length) throw new Error(`records end at ${o}, queue length ${length}`);
  return out;
}

module.exports = { decodeRecords };
