'use strict';
// Walker: an animated, skinned model walking in a circle on the ground with its shadow, drawn by
// the addon's retained-mesh path (kit.models). The model is the project's own (made by
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

const buffers = kit.createBuffers();
const gfx = kit.setupGraphics(buffers, { lightTransform: kit.directionalLight([-0.5, -1, -0.3], { extent: 8 }) });
const commands = new kit.CommandWriter(buffers);
const meshes = kit.models.createMeshRenderer(buffers, commands);
kit.window.setTitle('Walker');
kit.setQuality({ shadow: 1, ssao: 1, antialias: 1 });

const eye = [0, 5, 9];
gfx.setCamera({
  view: mat4.lookAt(mat4.create(), eye, [0, 0.5, 0], [0, 1, 0]),
  projection: mat4.perspective(mat4.create(), 0.8, gfx.width / gfx.height, 0.1, 50),
  position: eye, vector: [0, -4.5 / Math.hypot(4.5, 9), -9 / Math.hypot(4.5, 9)],
});

const ground = { position: [-10, 0, 10, 10, 0, 10, 10, 0, -10, -10, 0, 10, 10, 0, -10, -10, 0, -10],
  normal: Array(6).fill([0, 1, 0]).flat(), color: Array(6).fill([0.45, 0.6, 0.4]).flat() };

async function main() {
  const file = path.join(__dirname, 'assets', 'walker.glb');
  if (!fs.existsSync(file)) await makeWalker(file);
  const walker = await meshes.loadModel(file);
  walker.play('Walk');
  const place = mat4.create();
  let angle = 0, drawn = 0;

  kit.addon.startTicking(() => {
    const loop = kit.runLoop({
      buffers, commands, gfx, frames, realTime: !frames, minFrameTime: frames ? 0 : 1 / 60,
      update: (dt) => { angle += (SPEED / RADIUS) * dt; walker.update(dt); },
      draw: () => {
        gfx.clearAll();
        gfx.solid.add(ground);
        // On the circle, facing along it (the model faces +z).
        mat4.fromTranslation(place, [RADIUS * Math.cos(angle), 0, -RADIUS * Math.sin(angle)]);
        mat4.rotateY(place, place, angle + Math.PI);
        walker.draw(place);
        drawn = meshes.command;
      },
    });
    const vertices = drawn >= 0 ? commands.result(drawn) : 0;
    if (shot) kit.screenshot(shot);
    process.stdout.write(`walker: result ${JSON.stringify({ frames: loop.frame, vertices })}\n`);
    kit.addon.quit();
  });
}

main().catch((e) => { process.stderr.write(`walker: ${e.stack}\n`); process.exit(1); });
