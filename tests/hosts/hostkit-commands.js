'use strict';
// Host-kit host: creates the fixed buffers and the graphics through the kit (with the reference
// shaders), then runs one step per command method and reports each command's result as the kit
// reads it back, what the addon saw (lengths, the glyph batches' fill lengths after render), and
// the errors the kit throws for misuse before anything reaches the addon.
// Argument 1 (JSON): { sizes } for createBuffers.
const kit = require('tessimarke/host');

const opts = JSON.parse(process.argv[2] || '{}');
const out = {};
const buffers = kit.createBuffers({ sizes: opts.sizes || {} });
const gfx = kit.setupGraphics(buffers);
const cmd = new kit.CommandWriter(buffers);
out.capacity = cmd.capacity;
// The addon's own exports, as require('tessimarke') gives them (they are not enumerable).
out.exports = Object.getOwnPropertyNames(require('tessimarke')).sort();
out.viewport = [gfx.width, gfx.height];

// The glyph batches' blocks are the addon's own: the six ids handed out after the host's last one.
const probe = buffers.nextBuffer(4);
const lastTable = Math.max(...Array.from(gfx.table));

// A 0.3 s tone in sound 3, 16-bit mono at 22050 Hz.
const rate = 22050;
const pcm = Buffer.alloc(rate * 0.3 * 2);
for (let i = 0; i < pcm.length / 2; ++i) pcm.writeInt16LE(Math.round(8000 * Math.sin(i * 0.1)), i * 2);
out.load = kit.addon.initALBuffer(3, pcm, kit.addon.AL_FORMAT_MONO16, rate);

function step(name, write) {
  const indices = write();
  cmd.tick();
  out[name] = { indices, results: indices.map((i) => cmd.result(i)), words: buffers.header[kit.COMMAND_BUFFER] };
}

step('play', () => [cmd.play(3, { gain: 0.5, pitch: 1.2, x: 1, y: 0, z: -1 })]);
const source = out.play.results[0];
step('source', () => [cmd.pause(source), cmd.gain(source, 0.25), cmd.resumeAll(), cmd.stop(source)]);
step('all', () => [cmd.play(3), cmd.pauseAll(), cmd.resumeAll(), cmd.stopAll()]);
step('stopZero', () => [cmd.pause(0), cmd.stop(0)]);
step('log', () => [cmd.log('hostkit: first line\n'), cmd.log('hostkit: ünïcödé λ 漢字\n')]);
step('text', () => [
  cmd.textColor(1, 0.5, 0, 1),
  cmd.text('plain sans', 100, 100, { size: 32 }),
  cmd.text('mono', 100, 150, { size: 20, font: 'mono' }),
  cmd.text('outlined', 100, 200, { size: 40, font: 'sans', outline: true }),
  cmd.text('squeezed into forty pixels', 100, 250, { size: 24, maxWidth: 40 }),
  cmd.text('Ω', 100, 300, { font: 'fallback' }),
]);
gfx.render();
// Glyph blocks in the order the pipelines made them: plain positions, texcoords, colours, then
// the outlined batch's three.
const glyphLengths = [];
for (let id = lastTable + 1; id < probe.id; ++id) {
  const bytes = kit.addon.getBuffer(id).byteLength;
  if (bytes >= 300000 * 8) glyphLengths.push(buffers.lenBuffer(id));
}
out.glyphLengths = glyphLengths;
step('fullscreen', () => [cmd.toggleFullscreen(), cmd.toggleFullscreen()]);

// Misuse: each must throw before the command or its text reaches the blocks.
function error(fn) {
  const before = { length: cmd.length, header: buffers.header[kit.COMMAND_BUFFER], text: Buffer.from(buffers.strings.subarray(cmd.stringEnd, cmd.stringEnd + 64)) };
  try { fn(); } catch (e) {
    return { name: e.name, message: e.message, unchanged: cmd.length === before.length &&
      buffers.header[kit.COMMAND_BUFFER] === before.header && before.text.equals(buffers.strings.subarray(cmd.stringEnd, cmd.stringEnd + 64)) };
  }
  return null;
}
buffers.strings.fill(0xA5, 0, 64);
const long = 'x'.repeat(buffers.strings.length + 1);
out.errors = {
  longLog: error(() => cmd.log(long)),
  longText: error(() => cmd.text(long, 0, 0)),
  badSound: error(() => cmd.play(256)),
  badFont: error(() => cmd.text('a', 0, 0, { font: 'serif' })),
  notANumber: error(() => cmd.textColor(NaN, 0, 0)),
  unran: error(() => cmd.result(5)),
  stringType: error(() => cmd.log(42)),
  overCapacity: error(() => gfx.ui.reserve(gfx.ui.capacity + 1)),
  viewCount: error(() => gfx.ui.add({ position: [0, 0, 0], color: [1, 1, 1, 1, 0, 0, 0, 1] })),
  badId: error(() => buffers.lenBuffer(256)),
  secondBuffers: error(() => kit.createBuffers()),
  secondGraphics: error(() => kit.setupGraphics(buffers)),
};
// A string that would fit an empty STRING_BUFFER but not what this step left of it.
cmd.log('y'.repeat(40000));
out.errors.notLeft = error(() => cmd.log('z'.repeat(30000)));
cmd.clear();
// Fill the command buffer with log commands of 3 words each until it is full.
let written = 0;
let full = null;
for (;;) {
  const e = error(() => cmd.log('.'));
  if (e) { full = e; break; }
  written += 1;
}
out.fill = { written, length: cmd.length, full };
// What does fit still runs: the whole full buffer in one tick.
cmd.tick();
out.fill.lastResult = cmd.result((written - 1) * 3);
out.fill.afterTick = cmd.length;
kit.addon.quit();
process.stdout.write('\n@result ' + JSON.stringify(out) + '\n');
