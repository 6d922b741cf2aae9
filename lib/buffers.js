'use strict';
// The fixed shared blocks 0-7 with typed views, their fill lengths in HEADER_BUFFER, and every
// further block the host makes through them. Created once per process: the addon's fixed ids
// cannot be made twice.
const { native } = require('./native');
const { checkInteger, checkOptions, kitError } = require('./checks');

// The fixed shared-buffer ids; how many ids the addon can hold (HEADER_BUFFER has one 32-bit length
// per id); bytes of one report of the USB adapter.
const contract = require('../contract/host');
const { HEADER_BUFFER, POOL_BUFFER, COMMAND_BUFFER, RESULT_BUFFER, EVENT_BUFFER, DEBUG_BUFFER, USB_BUFFER, STRING_BUFFER,
  BUFFER_COUNT } = contract.buffers;
const { ADAPTER_REPORT_SIZE } = contract.limits;

// Default byte sizes of the fixed blocks; createBuffers({ sizes }) overrides any of them.
const DEFAULT_SIZES = Object.freeze({
  header: BUFFER_COUNT * 4, // a fill length for every id
  pool: 4096,               // small views handed out by nextPool (its last byte is never handed out)
  command: 64 * 1024,       // 8192 command words per step
  result: 64 * 1024,        // one result word per command word
  event: 64 * 1024,         // several thousand input records per step
  debug: 16,                // bit 0 of byte 0: the render targets' debug view
  usb: 64,                  // the adapter's latest report
  string: 64 * 1024,        // UTF-8 text of one step's log and text commands
});
const FIXED = [['header', HEADER_BUFFER], ['pool', POOL_BUFFER], ['command', COMMAND_BUFFER],
  ['result', RESULT_BUFFER], ['event', EVENT_BUFFER], ['debug', DEBUG_BUFFER], ['usb', USB_BUFFER],
  ['string', STRING_BUFFER]];

function checkId(id) { return checkInteger(id, 0, BUFFER_COUNT - 1, 'buffer id'); }

// The fixed blocks 0-7 with typed views, fill lengths, and every further block the host made
// through it. Every ArrayBuffer the addon hands out is kept here for the life of the object: a
// collected one frees its block, and the addon then treats the id as absent.
let fixedBlocksMade = false;
class SharedBuffers {
  constructor(options) {
    const { sizes = {} } = checkOptions(options, ['sizes'], 'createBuffers');
    checkOptions(sizes, Object.keys(DEFAULT_SIZES), 'createBuffers sizes');
    if (fixedBlocksMade) throw kitError(Error, 'ERR_STATE', 'the fixed blocks 0-7 exist already: create the shared buffers once per process');
    const s = { ...DEFAULT_SIZES, ...sizes };
    checkInteger(s.header, BUFFER_COUNT * 4, 2 ** 31, 'header size (it must hold all 256 fill lengths)');
    checkInteger(s.pool, 1, 2 ** 31, 'pool size');
    for (const name of ['command', 'result']) {
      checkInteger(s[name], 8, 2 ** 31, `${name} size`);
      if (s[name] % 8) throw kitError(RangeError, 'ERR_RANGE', `${name} size must be a multiple of 8 bytes, got ${s[name]}`);
    }
    checkInteger(s.event, 16, 2 ** 31, 'event size');
    checkInteger(s.debug, 1, 2 ** 31, 'debug size');
    checkInteger(s.usb, ADAPTER_REPORT_SIZE, 2 ** 31, `usb size (a report is ${ADAPTER_REPORT_SIZE} bytes)`);
    checkInteger(s.string, 1, 2 ** 31, 'string size');
    this.addon = native();
    this.sizes = Object.freeze(s);
    this.blocks = {};
    fixedBlocksMade = true;
    for (const [name, id] of FIXED) this.blocks[name] = native().initBuffer(id, s[name]);
    this.header = new Uint32Array(this.blocks.header);
    this.commandWords = new Float64Array(this.blocks.command);
    this.resultWords = new Float64Array(this.blocks.result);
    this.events = new Uint8Array(this.blocks.event);
    this.debug = new Uint8Array(this.blocks.debug);
    this.usb = new Uint8Array(this.blocks.usb);
    this.strings = new Uint8Array(this.blocks.string);
    this.kept = [];
    // Called with (width, height) by readEvents for each window size record it decodes: the
    // Graphics object keeps its interface transform current through this.
    this.sizeListeners = [];
  }

  // The fill length of block `id` (the 32-bit word `id` of HEADER_BUFFER).
  lenBuffer(id) { return this.header[checkId(id)]; }
  setLenBuffer(id, length) { this.header[checkId(id)] = checkInteger(length, 0, 2 ** 32 - 1, 'length'); }

  // A new block under the next id: { buffer, id }.
  nextBuffer(size) {
    checkInteger(size, 1, 2 ** 31, 'block size');
    const [buffer, id] = native().nextBuffer(size);
    this.kept.push(buffer);
    return { buffer, id };
  }

  // The next `length` bytes of POOL_BUFFER as a block of their own: { buffer, id }.
  nextPool(length) {
    checkInteger(length, 1, 2 ** 31, 'pool length');
    const left = this.sizes.pool - 1 - this.header[POOL_BUFFER];
    if (length > left) throw kitError(RangeError, 'ERR_RANGE', `POOL_BUFFER has ${left} bytes left, ${length} asked for`);
    const [buffer, id] = native().nextPool(length);
    this.kept.push(buffer);
    return { buffer, id };
  }

  // Bit 0 of DEBUG_BUFFER: the G-buffer thumbnails along the window's top edge.
  get debugView() { return (this.debug[0] & 1) === 1; }
  set debugView(on) { this.debug[0] = on ? this.debug[0] | 1 : this.debug[0] & ~1; }
}

function createBuffers(options) { return new SharedBuffers(options); }

module.exports = {
  createBuffers, SharedBuffers, DEFAULT_SIZES,
  HEADER_BUFFER, POOL_BUFFER, COMMAND_BUFFER, RESULT_BUFFER, EVENT_BUFFER, DEBUG_BUFFER, USB_BUFFER, STRING_BUFFER,
  BUFFER_COUNT, ADAPTER_REPORT_SIZE,
};
