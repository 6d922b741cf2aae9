'use strict';
// The host kit, `require('tessimarke/host')`: what a JavaScript game needs around the addon's own
// exports. createGame (game) is the entry point a game starts from; the rest is its lower layer,
// one module per concern, all re-exported here:
//   game        createGame: the window, the lifecycle, loaders that return handles, forgiving errors
//   buffers     the fixed shared blocks 0-7 with typed views and fill lengths
//   commands    the command writer (one method per opcode) and the font names
//   events      the event reader, and the record table new record types register in
//   input       key, button and axis names; the input state (held, pressed, released, dead zone)
//   graphics    the graphics set-up, vertex batches, camera and interface transforms
//   meshes      box, plane, sphere and cylinder through a per-object matrix
//   text        measuring, wrapping and aligning text
//   loop        the fixed-timestep clock and the frame runner
//   audio       sound loading from Ogg Vorbis files and raw PCM
//   quality     the render quality setters with their levels
//   clipboard   copy and paste
//   screenshot  the window as PNG
//   checks      the debug switch of the per-vertex checks
// Misuse on the host's side throws a JavaScript error that names the argument and what it takes,
// before anything reaches the addon, whose own checks would end the process. The addon itself
// loads on first use (`addon`), so the pure parts work without a display.
const { checkedAddon } = require('./native');

const MODULES = ['./game', './buffers', './commands', './events', './input', './graphics', './meshes', './text', './loop',
  './audio', './quality', './clipboard', './screenshot'];

for (const name of MODULES) {
  for (const [key, value] of Object.entries(require(name))) {
    if (Object.hasOwn(module.exports, key)) throw new Error(`host kit: ${name} exports ${key} a second time`);
    module.exports[key] = value;
  }
}
const { setDebugChecks, debugChecks } = require('./checks');
Object.assign(module.exports, { setDebugChecks, debugChecks });
// The addon's exports, each function behind its parameter checks (require('tessimarke') is the raw module).
Object.defineProperty(module.exports, 'addon', { enumerable: true, get: checkedAddon });

// Extensions, one module each, kept under their own names (their functions would collide flat):
// window control with the wheel record, music, the sprite atlas.
module.exports.window = require('./window');
module.exports.music = require('./music');
module.exports.textures = require('./textures');
// Retained meshes drawn by the addon, and animated glTF models.
module.exports.models = require('./models');
