'use strict';
// The typings of both entry points, checked by the TypeScript compiler in strict mode against a
// host written the way the README's guide writes one: every export used with the types it
// promises, and misuse the types must refuse marked as expected errors.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawnSync } = require('node:child_process');

const root = path.resolve(__dirname, '..', '..');
const tsc = path.join(root, 'node_modules', 'typescript', 'bin', 'tsc');

const HOST = `
import * as addon from 'tessimarke';
import * as kit from 'tessimarke/host';

const buffers: kit.SharedBuffers = kit.createBuffers({ sizes: { event: 8192 } });
const block: kit.Block = buffers.nextBuffer(64);
buffers.debugView = !buffers.debugView;
const length: number = buffers.lenBuffer(kit.EVENT_BUFFER) + buffers.header[0] + block.id + buffers.nextPool(8).buffer.byteLength;
const gfx: kit.Graphics = kit.setupGraphics(buffers, { shaderDir: 'shaders', capacity: { solid: 1000 },
  lightTransform: kit.directionalLight([0, -1, 0], { extent: 5 }) });
gfx.setCamera({ view: new Float32Array(16), projection: new Float32Array(16), position: [0, 0, 0], vector: [0, 0, -1] });
gfx.solid.vertex(0, 0, 0, 0, 1, 0, 1, 1, 1, 0.5, 0, 1);
gfx.transparent.add({ position: [0, 0, 0], color: [1, 1, 1, 0.5] });
gfx.lights.light(0, 1, 0, 3, 1, 0.5, 0.2, 2);
gfx.ui.rect(0, 0, 10, 10, 1, 1, 1);
const commands = new kit.CommandWriter(buffers);
const played: number = commands.play(3, { gain: 0.5, x: 1 }) + commands.playAt(3, { z: 2 }) + commands.listener([0, 0, 0], [0, 0, -1]);
commands.text('hello', 10, 20, { size: 24, font: 'mono', outline: true, maxWidth: 100 });
commands.textColor(1, 1, 1); commands.log('line\\n'); commands.pause(1); commands.stop(1); commands.gain(1, 0.5);
commands.stopAll(); commands.pauseAll(); commands.resumeAll(); commands.toggleFullscreen(); commands.listenerUp([0, 1, 0]);
const source: number = commands.tick().result(played) + gfx.width * gfx.height;
for (const e of kit.readEvents(buffers)) {
  if (e.type === 'keyDown') { const k: number = e.scancode + e.key + e.mod; const r: boolean = e.repeat; }
  if (e.type === 'textInput') { const t: string = e.text; }
  if (e.type === 'controllerAxis') { const v: number = e.value + e.axis + e.controller; }
  if (e.type === 'adapterConnected') addon.pollUSB();
}
const decoded: kit.HostEvent[] = kit.decodeEvents(new Uint8Array(16), 0);
const loadedAudio: number = addon.measureText('hello', 24, kit.FONT.sans) + addon.loadAudio(0, 'app/assets/sounds/chime.ogg', 2, 1)
  + addon.initALBuffer(1, new Uint8Array(100), addon.AL_FORMAT_MONO8, 22050);
const [raw, id]: [ArrayBuffer, number] = addon.nextBuffer(16);
addon.setShadowQuality(3);
addon.startTicking(() => { addon.poll(); addon.tick(); addon.render(); addon.quit(); });
const input = new kit.InputState({ deadZone: 0.2 });
const moving: boolean = input.isDown(kit.KEY.W) || input.wasPressed(kit.KEY.SPACE) || input.buttonDown(kit.CONTROLLER_BUTTON.A);
const loop: kit.Loop = kit.runLoop({ buffers, input, commands, gfx, frames: 2, update: (dt: number) => dt, draw: (alpha: number) => alpha });
const first: number = kit.box(gfx.solid, new Float32Array(16), { size: [1, 2, 1], color: [1, 0, 0], specular: 0.5 })
  + kit.sphere(gfx.transparent, null, { radius: 2, color: [1, 1, 1, 0.5] }) + kit.cylinder(gfx.solid, null, { caps: false })
  + kit.plane(gfx.unculled, null, { size: [4, 2] }) + input.axis(kit.CONTROLLER_AXIS.LEFT_X) + input.mouse.x;
const placed: kit.TextLayout = kit.drawText(commands, 'two words', 700, 40, { align: 'center', width: 300, font: 'mono' });
const measured: number = kit.measureText('hi', 24, 'sans') + placed.lines[0].x
  + kit.loadSound(2, 'a.ogg', { channels: 2 }) + kit.loadPcm(3, new Uint8Array(4), { format: 'stereo8', sampleRate: 8000 });
kit.setQuality({ shadow: 2 }); kit.setAntialias(1); kit.copy(kit.paste()); kit.setDebugChecks(true);
const shotFile: string = kit.screenshot('shot.png');

// @ts-expect-error: anti-aliasing has levels 0-2
kit.setAntialias(3);
// @ts-expect-error: meshes take a colour, not a colour name
kit.box(gfx.solid, null, { colour: 'red' });
// @ts-expect-error: the loop's callbacks are update and draw
kit.runLoop({ frame: () => {} });
// @ts-expect-error: the font must be one of the three faces
commands.text('a', 0, 0, { font: 'serif' });
// @ts-expect-error: play options have no volume
commands.play(0, { volume: 1 });
// @ts-expect-error: text input events carry text, not a key
kit.readEvents(buffers).filter((e) => e.type === 'textInput').map((e) => e.key);
// @ts-expect-error: sizes are numbers
kit.createBuffers({ sizes: { command: '64k' } });
// @ts-expect-error: the addon has no such export
addon.drawEverything();
export { length, source, decoded, loadedAudio, raw, id, moving, loop, first, measured, shotFile };
`;

test('both typings compile in strict mode against a typical host, and refuse misuse', () => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tm-typings-'));
  fs.writeFileSync(path.join(dir, 'host.ts'), HOST);
  fs.writeFileSync(path.join(dir, 'tsconfig.json'), JSON.stringify({ files: ['host.ts'], compilerOptions: {
    strict: true, noEmit: true, target: 'es2022', module: 'commonjs', moduleResolution: 'node10', types: [], lib: ['es2022'], baseUrl: root,
    paths: { tessimarke: ['lib/index.d.ts'], 'tessimarke/host': ['lib/host.d.ts'] } } }));
  const r = spawnSync(process.execPath, [tsc, '-p', path.join(dir, 'tsconfig.json')], { encoding: 'utf8', timeout: 120000 });
  fs.rmSync(dir, { recursive: true, force: true });
  assert.equal(r.status, 0, r.stdout + r.stderr);
});

test('the typings declare exactly what the modules export', () => {
  // Names a typings file declares, following its `export * from './module'` lines.
  const declared = (file) => {
    const names = new Set();
    const text = fs.readFileSync(path.join(root, 'lib', file), 'utf8');
    for (const m of text.matchAll(/^export (?:function|class|const|let) (\w+)/gm)) names.add(m[1]);
    for (const m of text.matchAll(/^export const ((?:\w+: [^,;]+, )*\w+: [^;]+);/gm)) {
      for (const part of m[1].split(/,\s*/)) names.add(part.split(':')[0].trim());
    }
    for (const m of text.matchAll(/^export \* from '\.\/(\w+)';/gm)) for (const name of declared(`${m[1]}.d.ts`)) names.add(name);
    return [...names].sort();
  };
  // The kit's exports without loading the addon: `addon` is a getter that loads it on first use.
  const kit = require('../../lib/host');
  assert.deepEqual(declared('host.d.ts'), Object.keys(kit).sort());
  // The addon's 26: the functions of the native export table and the four format constants (the
  // loaded module's own keys are compared in hostkit.test.js, which has a display to load it).
  const names = declared('index.d.ts');
  const module = fs.readFileSync(path.join(root, 'native', 'bridge', 'module.cpp'), 'utf8');
  const functions = [...module.matchAll(/HOST\(\w+, (\w+)\),/g)].map((m) => m[1]);
  assert.equal(functions.length, 22);
  assert.deepEqual(names, [...functions, 'AL_FORMAT_MONO8', 'AL_FORMAT_MONO16', 'AL_FORMAT_STEREO8', 'AL_FORMAT_STEREO16'].sort());
});
