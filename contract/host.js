'use strict';
// The host contract, declared once: the fixed shared blocks, the limits a host must respect, the
// bufferIDs table's entries, the command stream's opcodes with their operands, the event records
// with their fields, and the extension exports. The kit reads this module as it is; the build turns
// it into the addon's C++ header (contract/generate.js writes contract.h into the build folder), so
// a change here changes both sides together.

// Shared blocks the addon makes itself at start-up (ids 0-7), and how many ids there are.
const buffers = {
  BUFFER_COUNT: 256,
  HEADER_BUFFER: 0, POOL_BUFFER: 1, COMMAND_BUFFER: 2, RESULT_BUFFER: 3, EVENT_BUFFER: 4,
  DEBUG_BUFFER: 5, USB_BUFFER: 6, STRING_BUFFER: 7,
};

// Limits the host must keep to (each also bounds a table or a block of the addon).
const limits = {
  SOUND_COUNT: 256,            // sound ids 0-255
  IMAGE_COUNT: 256,            // image ids 0-255
  MAX_IMAGE_SIDE: 2046,        // an image and its 1-texel gutter fit the 2048-texel atlas
  MAX_IMAGE_PATH: 4096,        // bytes of an image path
  MAX_IMAGE_FILE_BYTES: 64 * 1024 * 1024,
  MAX_MUSIC_PATH: 4096,        // bytes of a music path
  MAX_TITLE_BYTES: 1024,       // bytes of a window title (UTF-8, no terminator)
  MAX_WINDOW_SIDE: 8192,       // pixels of a window side a host may ask for
  MIN_RENDER_SCALE: 0.25,      // smallest fraction of the window the scene is drawn at
  ADAPTER_REPORT_SIZE: 37,     // bytes of one USB adapter report
  MAX_SCREENSHOT_PATH: 4096,   // bytes of a screenshot path
  MESH_COUNT: 1024,            // retained mesh ids 0-1023
  MAX_MESH_VERTICES: 1048576,  // vertices of one retained mesh
  MAX_MESH_STORE_BYTES: 256 * 1024 * 1024, // bytes of every retained mesh together
  MESH_HEADER_BYTES: 64,       // the mesh block's header (gfx/core/meshkernels.h)
  INSTANCE_RECORD_BYTES: 96,   // one instance record of drawMeshes (gfx/core/meshkernels.h)
  PALETTE_MATRIX_BYTES: 64,    // one joint matrix of a palette block (16 f32, column-major)
};

// Negative results of the retained-mesh calls (createMesh, releaseMesh, the drawMeshes command).
const meshStatus = {
  MESH_NO_BLOCK: -1,     // the id names no shared block, or the block is not 4-byte aligned
  MESH_BAD_BLOCK: -2,    // the mesh block fails its checks, holds no whole triangle or too many vertices
  MESH_STORE_FULL: -3,   // every mesh id is taken, or the store's bytes would pass their limit
  MESH_UNKNOWN: -4,      // no mesh holds that id
  MESH_NOT_READY: -5,    // drawMeshes before the pipelines exist (before ready)
  MESH_BAD_RANGE: -6,    // drawMeshes' first or count is negative or not a number
};

// Results of the screenshot calls: screenshot(path) answers PENDING or a refusal, and the next
// frame writes the file; screenshotStatus() answers how the last one went.
const screenshotStatus = {
  SCREENSHOT_WRITTEN: 0,
  SCREENSHOT_PENDING: 1,      // asked for; the next frame writes it
  SCREENSHOT_NO_GL: 2,        // no window or GL context (never made, or after quit)
  SCREENSHOT_NOT_WRITTEN: 3,  // the file could not be written
  SCREENSHOT_BAD_PATH: 4,     // empty, over MAX_SCREENSHOT_PATH bytes, or holding a NUL
};

// Entries of the bufferIDs table: which block feeds which role. A pipeline's attributes take the
// entries from its first one on (solid 5, interface triangles 2, transparent and unculled 3 each,
// point lights 3 per-instance attributes after the mesh). Entries 13, 14, 17 and 18 are not read.
const bufferIds = {
  VIEWPORT: 0, VIEW: 1, PROJECTION: 2, TRANSFORM: 3, LIGHT_TRANSFORM: 4, UI_TRANSFORM: 5,
  CAMERA_POSITION: 6, CAMERA_VECTOR: 7, SOLID: 8, UI_TRIS: 15, TRANSPARENT: 19, UNCULLED: 22,
  POINT_MESH: 25, POINT_LIGHTS: 26,
};
// Entries the table must hold.
const BUFFER_ID_ENTRIES = 29;

// The command stream: each command is its opcode word followed by its operands, one 64-bit float
// word each. `name` is the kit's method, `cname` the addon's enumerant (OP_<cname>). Opcodes 11 and
// 14, and any not listed, are skipped one word with result 0.
const commands = [
  { name: 'play', cname: 'PLAY_SOUND', opcode: 1, operands: ['sound', 'gain', 'pitch', 'x', 'y', 'z'] },
  { name: 'pause', cname: 'PAUSE_SOURCE', opcode: 2, operands: ['source'] },
  { name: 'stop', cname: 'STOP_SOURCE', opcode: 3, operands: ['source'] },
  { name: 'gain', cname: 'SET_SOURCE_GAIN', opcode: 4, operands: ['source', 'gain'] },
  { name: 'stopAll', cname: 'STOP_ALL', opcode: 5, operands: [] },
  { name: 'pauseAll', cname: 'PAUSE_ALL', opcode: 6, operands: [] },
  { name: 'resumeAll', cname: 'RESUME_ALL', opcode: 7, operands: [] },
  { name: 'toggleFullscreen', cname: 'TOGGLE_FULLSCREEN', opcode: 8, operands: [] },
  { name: 'log', cname: 'LOG_TEXT', opcode: 9, operands: ['offset', 'length'] },
  { name: 'text', cname: 'LAYOUT_TEXT', opcode: 10, operands: ['offset', 'length', 'x', 'y', 'size', 'font', 'maxWidth'] },
  { name: 'textColor', cname: 'TEXT_COLOR', opcode: 12, operands: ['red', 'green', 'blue', 'alpha'] },
  { name: 'reserved', cname: 'RESERVED', opcode: 13, operands: ['a', 'b', 'c', 'd'] },
  // Extensions.
  { name: 'listener', cname: 'LISTENER', opcode: 15, operands: ['x', 'y', 'z', 'forwardX', 'forwardY', 'forwardZ'] },
  { name: 'listenerUp', cname: 'LISTENER_UP', opcode: 16, operands: ['x', 'y', 'z'] },
  { name: 'playAt', cname: 'PLAY_SOUND_AT', opcode: 17, operands: ['sound', 'gain', 'pitch', 'x', 'y', 'z'] },
  // Retained meshes: instance records [first, first + count) of block `block` (clipped to it), each
  // placed into the batch it names after the vertices already there; `palette` is the block of joint
  // matrices the records index (-1: none). Result: the vertices written, or a negative meshStatus.
  { name: 'drawMeshes', cname: 'DRAW_MESHES', opcode: 18, operands: ['block', 'first', 'count', 'palette'] },
];

// Event records: a 16-bit type, then the fields in order, packed little-endian with no padding.
// A field of type 'text' is a length byte followed by that many bytes (at most its `max`). A field
// named null is written but carries nothing for the host (the kit does not decode it).
const events = [
  { name: 'quit', cname: 'QUIT', code: 0x100, fields: [] },
  { name: 'windowSize', cname: 'WINDOW_SIZE', code: 0x200, fields: [[null, 'u8'], ['width', 'i32'], ['height', 'i32']] },
  { name: 'keyDown', cname: 'KEY_DOWN', code: 0x300, fields: [['scancode', 'u16'], ['key', 'i32'], ['mod', 'u16'], ['repeat', 'bool']] },
  { name: 'keyUp', cname: 'KEY_UP', code: 0x301, fields: [['scancode', 'u16'], ['key', 'i32'], ['mod', 'u16'], ['repeat', 'bool']] },
  { name: 'textInput', cname: 'TEXT_INPUT', code: 0x303, fields: [['text', 'text', 32]] },
  { name: 'mouseMove', cname: 'MOUSE_MOTION', code: 0x400, fields: [['x', 'i32'], ['y', 'i32']] },
  { name: 'mouseDown', cname: 'MOUSE_BUTTON_DOWN', code: 0x401, fields: [['x', 'i32'], ['y', 'i32'], ['button', 'u8']] },
  { name: 'mouseUp', cname: 'MOUSE_BUTTON_UP', code: 0x402, fields: [['x', 'i32'], ['y', 'i32'], ['button', 'u8']] },
  // Written only after the host enables it.
  { name: 'mouseWheel', cname: 'MOUSE_WHEEL', code: 0x403,
    fields: [['x', 'i32'], ['y', 'i32'], ['preciseX', 'f32'], ['preciseY', 'f32'], ['flipped', 'bool']] },
  { name: 'controllerAxis', cname: 'CONTROLLER_AXIS', code: 0x650, fields: [['controller', 'i32'], ['axis', 'u8'], ['value', 'f32']] },
  { name: 'controllerButtonDown', cname: 'CONTROLLER_BUTTON_DOWN', code: 0x651, fields: [['controller', 'i32'], ['button', 'u8'], ['pressed', 'bool']] },
  { name: 'controllerButtonUp', cname: 'CONTROLLER_BUTTON_UP', code: 0x652, fields: [['controller', 'i32'], ['button', 'u8'], ['pressed', 'bool']] },
  { name: 'controllerAdded', cname: 'CONTROLLER_ADDED', code: 0x653, fields: [['controller', 'i32']] },
  { name: 'controllerRemoved', cname: 'CONTROLLER_REMOVED', code: 0x654, fields: [['controller', 'i32']] },
  { name: 'adapterConnected', cname: 'ADAPTER_CONNECTED', code: 0x8000, fields: [[null, 'u16'], [null, 'u32']] },
];

// Bytes of each field type.
const FIELD_BYTES = { u8: 1, bool: 1, u16: 2, i32: 4, u32: 4, f32: 4 };

// The record's size in bytes: a number, or for records with a text field the size with no text.
function recordSize(record) {
  return record.fields.reduce((n, [, type]) => n + (type === 'text' ? 1 : FIELD_BYTES[type]), 2);
}

// The parameters of every function export, as the addon checks them: each a kind (number,
// string, boolean, function, buffer: a Buffer, bytes: any Uint8Array); null where the addon reads
// no arguments. A call that breaks these ends the process in a check; the kit's `addon` checks them
// first and throws, naming the function.
const exportParameters = {
  initBuffer: ['number', 'number'], getBuffer: ['number'], nextBuffer: ['number'], nextPool: ['number'],
  loadAudio: ['number', 'string', 'number', 'number'], initALBuffer: ['number', 'buffer', 'number', 'number'],
  compileShader: ['string', 'boolean', 'string'], checkShaders: null, setBuffers: ['number'], startTicking: ['function'],
  ready: null, poll: null, pollUSB: null, tick: null, render: null, quit: null, copy: ['string'], paste: null,
  measureText: ['string', 'number', 'number'], setShadowQuality: ['number'], setSsaoQuality: ['number'],
  setAntialias: ['number'], setWindowTitle: ['string'], setWindowSize: ['number', 'number'], setRenderScale: ['number'],
  enableEvent: ['number', 'boolean'], playMusic: ['string', 'number', 'number', 'number'], stopMusic: null,
  loadImage: ['number', 'string'], setImage: ['number', 'bytes', 'number', 'number'], createMesh: ['number'],
  releaseMesh: ['number'], screenshot: ['string'], screenshotStatus: null,
};

// Functions the addon exports beyond the 26 of the original interface, in the order they are
// registered (on the exports' prototype, so the 26 own properties stay as they are).
const extensions = [
  'setWindowTitle', 'setWindowSize', 'setRenderScale', 'enableEvent', 'playMusic', 'stopMusic', 'loadImage', 'setImage',
  'createMesh', 'releaseMesh', 'screenshot', 'screenshotStatus',
];

module.exports = { buffers, limits, meshStatus, screenshotStatus, exportParameters, bufferIds, BUFFER_ID_ENTRIES, commands, events, extensions, FIELD_BYTES, recordSize };
