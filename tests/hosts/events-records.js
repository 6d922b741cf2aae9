'use strict';
// Decodes the event records in EVENT_BUFFER (packed, little-endian, 16-bit type first) into plain
// objects, so tests compare what the host would read. Throws on an unknown type: the records that
// follow could not be found.
const NAMES = {
  256: 'quit', 512: 'windowSize', 768: 'keyDown', 769: 'keyUp', 771: 'textInput', 1024: 'mouseMotion',
  1025: 'mouseDown', 1026: 'mouseUp', 1616: 'controllerAxis', 1617: 'controllerButtonDown',
  1618: 'controllerButtonUp', 1619: 'controllerAdded', 1620: 'controllerRemoved', 32768: 'adapterConnected',
};

function decodeRecords(bytes, length) {
  const v = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  const out = [];
  let o = 0;
  while (o < length) {
    const type = v.getUint16(o, true);
    const r = { type, name: NAMES[type], at: o };
    switch (type) {
      case 256: r.size = 2; break;
      case 512: r.kind = v.getUint8(o + 2); r.width = v.getInt32(o + 3, true); r.height = v.getInt32(o + 7, true); r.size = 11; break;
      case 768: case 769:
        r.scancode = v.getUint16(o + 2, true); r.keycode = v.getInt32(o + 4, true); r.mod = v.getUint16(o + 8, true);
        r.repeat = v.getUint8(o + 10); r.size = 11; break;
      case 771: {
        const n = v.getUint8(o + 2);
        r.n = n; r.bytes = Array.from(bytes.subarray(o + 3, o + 3 + n)); r.text = Buffer.from(r.bytes).toString('utf8');
        r.size = 3 + n; break;
      }
      case 1024: r.x = v.getInt32(o + 2, true); r.y = v.getInt32(o + 6, true); r.size = 10; break;
      case 1025: case 1026: r.x = v.getInt32(o + 2, true); r.y = v.getInt32(o + 6, true); r.button = v.getUint8(o + 10); r.size = 11; break;
      case 1616: r.id = v.getInt32(o + 2, true); r.axis = v.getUint8(o + 6); r.value = v.getFloat32(o + 7, true); r.size = 11; break;
      case 1617: case 1618: r.id = v.getInt32(o + 2, true); r.button = v.getUint8(o + 6); r.state = v.getUint8(o + 7); r.size = 8; break;
      case 1619: case 1620: r.id = v.getInt32(o + 2, true); r.size = 6; break;
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
