'use strict';
// Damaged and hostile image files made from small real ones: cuts at every PNG chunk boundary,
// bit flips with CRCs recomputed and not, wrong chunk lengths, zero and huge sizes, other formats'
// signatures, and markup hidden in a JPEG. Each entry names what loadImage must answer: a status,
// or null where random damage may leave an image (0), a damaged file (3) or a bad size (4).
const { crc32 } = require('node:zlib');

// The chunks of a PNG: { at, length, type } with `at` the offset of the length field.
function pngChunks(png) {
  const chunks = [];
  for (let at = 8; at + 12 <= png.length; at += 12 + chunks.at(-1).length) chunks.push({ at, length: png.readUInt32BE(at), type: png.toString('latin1', at + 4, at + 8) });
  return chunks;
}

function fixPngCrcs(png) {
  for (const { at, length } of pngChunks(png)) if (at + 12 + length <= png.length) png.writeUInt32BE(crc32(png.subarray(at + 4, at + 8 + length)), at + 8 + length);
  return png;
}

const jpegSegment = (marker, body) => Buffer.concat([Buffer.from([0xff, marker, (body.length + 2) >> 8, (body.length + 2) & 0xff]), body]);

// `png` and `jpeg` are lists of well-formed files; `count` damaged variants are drawn with `seed` (so
// that a failing file can be made again) on top of the fixed cases. Returns [{ name, bytes, status }].
function damagedImages({ png, jpeg }, count, seed) {
  let s = seed >>> 0 || 1;
  const rnd = (n) => { s ^= s << 13; s >>>= 0; s ^= s >>> 17; s ^= s << 5; s >>>= 0; return s % n; };
  const out = [], add = (name, bytes, status) => out.push({ name, bytes, status }), [first] = png, ihdrEnd = 33;
  png.forEach((p, i) => add(`png ${i}`, p, 0));
  jpeg.forEach((j, i) => add(`jpeg ${i}`, j, 0));
  // Cut at every chunk boundary, and inside each chunk just after its name; a valid IHDR, then only the
  // length and name of a gAMA chunk.
  for (const c of pngChunks(first)) add(`png cut before ${c.type}`, first.subarray(0, c.at), 3), add(`png cut after ${c.type}'s name`, first.subarray(0, c.at + 8), 3);
  add('png cut at gAMA', Buffer.concat([first.subarray(0, ihdrEnd), Buffer.from([0, 0, 0, 4]), Buffer.from('gAMA')]), 3);
  // A whole file whose first ancillary chunk's (or else its first data chunk's) length runs past the end.
  const longAncillary = Buffer.from(first), ancillary = pngChunks(first).find((c) => /^[a-z]/.test(c.type)) || pngChunks(first)[1];
  longAncillary.writeUInt32BE(ancillary.length ^ (1 << 20), ancillary.at);
  add('png ancillary length past the end', longAncillary, 3);
  // What an image tool leaves when it fails after a complete cHRM chunk.
  add('png ending after cHRM', fixPngCrcs(Buffer.concat([first.subarray(0, ihdrEnd), Buffer.from([0, 0, 0, 32]), Buffer.from('cHRM'), Buffer.alloc(36)])), 3);
  // Sizes: zero and past the largest image side are 4; the rest of the file is the original.
  for (const [w, h] of [[0, 16], [16, 0], [2047, 16], [16, 5000], [0x7fffffff, 1], [0xffffffff, 0xffffffff]]) {
    const sized = Buffer.from(first);
    sized.writeUInt32BE(w, 16); sized.writeUInt32BE(h, 20);
    add(`png ${w}x${h}`, fixPngCrcs(sized), 4);
  }
  // Other formats under an image's name.
  const svg = (side, body) => Buffer.from(`<svg xmlns='http://www.w3.org/2000/svg' width='${side}' height='${side}'>${body}</svg>`);
  for (const [name, bytes] of Object.entries({
    gif: Buffer.concat([Buffer.from('GIF89a'), Buffer.from([16, 0, 16, 0, 0, 0, 0]), Buffer.alloc(32)]), bmp: Buffer.concat([Buffer.from('BM'), Buffer.alloc(60, 1)]),
    svg: svg(12000, "<rect width='10' height='10'/>"), tiff: Buffer.concat([Buffer.from('II*\0'), Buffer.alloc(40, 2)]),
    webp: Buffer.concat([Buffer.from('RIFF'), Buffer.from([40, 0, 0, 0]), Buffer.from('WEBPVP8 '), Buffer.alloc(32, 3)]), text: Buffer.from('not an image\n'),
  })) add(`${name} named as an image`, bytes, 3);
  // A JPEG header for 64 x 64 with markup in its APP0 and no scan: nothing may decode the markup.
  const frame = jpegSegment(0xc0, Buffer.from([8, 0, 64, 0, 64, 1, 1, 0x11, 0]));
  for (const side of [12000, 64]) {
    const markup = jpegSegment(0xe0, svg(side, "<rect width='64' height='64' fill='red'/>"));
    add(`jpeg with ${side}-wide markup and no scan`, Buffer.concat([Buffer.from([0xff, 0xd8]), markup, frame, Buffer.from([0xff, 0xd9])]), 3);
  }
  // JPEG frame sizes of 0 are refused as sizes.
  const zeroJpeg = Buffer.from(jpeg[0]);
  for (let at = 2; at + 9 < zeroJpeg.length; at += 2 + zeroJpeg.readUInt16BE(at + 2)) {
    if (zeroJpeg[at + 1] >= 0xc0 && zeroJpeg[at + 1] <= 0xc2) { zeroJpeg.writeUInt16BE(0, at + 5); break; }
  }
  add('jpeg 0 high', zeroJpeg, 4);

  // Random damage: flips (CRCs fixed in half the PNGs), wrong chunk lengths, cuts anywhere.
  for (let i = 0; i < count; i++) {
    const isPng = rnd(2) === 0, bytes = Buffer.from(isPng ? png[rnd(png.length)] : jpeg[rnd(jpeg.length)]), kind = ['flip', 'flip', 'length', 'cut'][rnd(4)];
    if (kind === 'flip') {
      for (let k = 1 + rnd(6), at; k > 0; k--) at = rnd(bytes.length), bytes[at] = rnd(2) ? bytes[at] ^ (1 << rnd(8)) : rnd(256);
      if (isPng && rnd(2)) fixPngCrcs(bytes);
      add(`${isPng ? 'png' : 'jpeg'} ${i} flipped`, bytes, null);
    } else if (kind === 'length' && isPng) {
      const chunks = pngChunks(bytes), c = chunks[1 + rnd(chunks.length - 1)];
      bytes.writeUInt32BE((c.length + 1 + rnd(1 << 16)) >>> 0, c.at);
      add(`png ${i} ${c.type} length wrong`, bytes, null);
    } else add(`${isPng ? 'png' : 'jpeg'} ${i} cut`, bytes.subarray(0, rnd(bytes.length)), null);
  }
  return out;
}

module.exports = { damagedImages, pngChunks, fixPngCrcs };
