'use strict';
// Both entry points' typings under the TypeScript compiler in strict mode: a small game compiles,
// and each misuse below is refused (an unused @ts-expect-error fails the compile).
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs'), os = require('node:os'), path = require('node:path');
const { spawnSync } = require('node:child_process');

const root = path.resolve(__dirname, '..', '..');

const GAME = `import * as addon from 'tessimarke';
import * as kit from 'tessimarke/host';
const game: kit.Game = kit.createGame({ title: 'Typed', sun: { direction: [0, -1, 0], extent: 5 }, frameBudget: { target: 0.016 } });
const chime: kit.Sound = game.sound({ pcm: new Uint8Array(400), format: 'mono16', sampleRate: 22050 });
const flag: kit.Image = game.image({ pixels: new Uint8Array(16), width: 2, height: 2 });
let typed = '';
const loop: kit.Loop = game.run({
  update: (dt: number) => { if (game.input.pressed('space') || game.input.isDown(kit.KEY.W)) chime.play({ at: [1, 0, 0] }).gain(dt); },
  draw: () => {
    game.camera([0, 2, 5], [0, 0, 0], { fov: 1 });
    kit.box(game.gfx.solid, null, { size: [1, 2, 1], color: [1, 0, 0], specular: 0.5, image: flag });
    const placed: kit.TextLayout = kit.drawText(game.commands, 'two words', 700, 40, { align: 'center', width: 300, font: 'mono' });
    game.text(\`\${placed.lines[0].x} \${game.input.axis(kit.CONTROLLER_AXIS.LEFT_X) + game.commands.tick().result(0)}\`, 10, 30, { color: [1, 1, 0] });
    for (const e of kit.readEvents(game.buffers)) if (e.type === 'textInput') typed += e.text;
  },
});
export const shot: string = game.screenshot('shot.png') + addon.measureText(typed, 24, kit.FONT.sans) + loop.frame;
`;
// Each row is a line the typings must refuse: why, then the code.
const MISUSE = [
  ['anti-aliasing has levels 0-2', 'kit.setAntialias(3);'],
  ['meshes take a colour, not a colour name', "kit.box(game.gfx.solid, null, { colour: 'red' });"],
  ['the loop\'s callbacks are update and draw', 'kit.runLoop({ frame: () => {} });'],
  ['the font is one of the three faces', "game.commands.text('a', 0, 0, { font: 'serif' });"],
  ['play options have no volume', 'game.commands.play(0, { volume: 1 });'],
  ['text input events carry text, not a key', "kit.readEvents(game.buffers).filter((e) => e.type === 'textInput').map((e) => e.key);"],
  ['sizes are numbers', "kit.createBuffers({ sizes: { command: '64k' } });"],
  ['the addon has no such export', 'addon.drawEverything();'],
];

test('both typings compile in strict mode against a small game, and refuse misuse', () => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tm-typings-'));
  fs.writeFileSync(path.join(dir, 'game.ts'), GAME + MISUSE.map(([why, code]) => `// @ts-expect-error: ${why}\n${code}\n`).join(''));
  fs.writeFileSync(path.join(dir, 'tsconfig.json'), JSON.stringify({ files: ['game.ts'], compilerOptions: {
    strict: true, noEmit: true, target: 'es2022', module: 'commonjs', moduleResolution: 'node10', types: [], lib: ['es2022'], baseUrl: root,
    paths: { tessimarke: ['lib/index.d.ts'], 'tessimarke/host': ['lib/host.d.ts'] } } }));
  const r = spawnSync(process.execPath, [path.join(root, 'node_modules', 'typescript', 'bin', 'tsc'), '-p', dir], { encoding: 'utf8', timeout: 300000 });
  fs.rmSync(dir, { recursive: true, force: true });
  assert.equal(r.status, 0, r.stdout + r.stderr);
});
