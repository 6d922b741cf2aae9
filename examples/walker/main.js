'use strict';
// Walker: an animated, skinned model walking in a circle on the ground with its shadow, drawn by
// the addon's retained-mesh path (game.model). The model is the project's own (made by
// scripts/walker-model.js into examples/walker/assets/walker.glb on first run); the ground is
// written by the game each frame, the walker appended after it by the addon.
//
// Options: --frames N runs N frames of one fixed 1/60 s step each and stops, then prints
// "walker: result {json}" with the frames run and the vertices the addon drew in the last one;
// --screenshot FILE (after --frames N) writes the last frame as PNG.
const fs = require('node:fs');
const path = require('node:path');
const { mat4 } = require('gl-matrix');
const kit = require('tessimarke/host');
const { makeWalker } = require('../../scripts/walker-model');

const args = process.argv.slice(2);
const frames = args[0] === '--frames' ? Number(args[1]) : 0;
const shot = args[2] === '--screenshot' ? args[3] : null;
if ((args.length && !(Number.isInteger(frames) && frames > 0)) || (args.length > 2 && !shot)) {
  process.stderr.write('walker: options: --frames N [--screenshot FILE]\n');
  process.exit(2);
}

const RADIUS = 3;   // metres of the circle walked
const SPEED = 1.2;  // metres per second

const game = kit.createGame({ title: 'Walker', width: 960, height: 600, sun: [-0.5, -1, -0.3],
  quality: { shadow: 1, ssao: 1, antialias: 1 } });

async function main() {
  const file = path.join(__dirname, 'assets', 'walker.glb');
  if (!fs.existsSync(file)) await makeWalker(file);
  const walker = await game.model(file);
  walker.play('Walk');
  const place = mat4.create();
  let angle = 0, drawn = -1;

  const loop = game.run({
    frames, realTime: !frames,
    update: (dt) => { angle += (SPEED / RADIUS) * dt; walker.update(dt); },
    draw: () => {
      game.gfx.clearAll();
      game.camera([0, 5, 9], [0, 0.5, 0], { fov: 0.8 });
      kit.plane(game.gfx.solid, null, { size: 20, color: [0.45, 0.6, 0.4] });
      // On the circle, facing along it (the model faces +z).
      mat4.fromTranslation(place, [RADIUS * Math.cos(angle), 0, -RADIUS * Math.sin(angle)]);
      mat4.rotateY(place, place, angle + Math.PI);
      walker.draw(place);
      drawn = game.meshes().command;
      if (shot && game.loop.frame === frames - 1) game.screenshot(shot);
    },
  });
  const vertices = drawn >= 0 ? game.commands.result(drawn) : 0;
  process.stdout.write(`walker: result ${JSON.stringify({ frames: loop.frame, vertices })}\n`);
}

main().catch((e) => { process.stderr.write(`walker: ${e.stack}\n`); process.exit(1); });
