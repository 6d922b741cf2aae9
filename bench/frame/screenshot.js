'use strict';
// The native screenshot at 800 x 600: frames drawn with a screenshot taken against the same frames
// without, round by round in one process; the difference is the screenshot's own cost (read back
// and PNG written). Usage: node bench/frame/screenshot.js [--quick]. Prints `@bench` lines.
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const kit = require('../../lib/host');
const { timeRounds, emit } = require('../common');

const FRAMES = 5;
const game = kit.createGame({ title: 'Screenshot bench', width: 800, height: 600 });
const out = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'tm-shot-')), 'frame.png');
function scene() {
  game.gfx.clearAll();
  game.camera([0, 3, 6], [0, 0, 0]);
  kit.plane(game.gfx.solid, null, { size: 10, color: [0.5, 0.6, 0.5] });
  kit.sphere(game.gfx.solid, null, { radius: 1, color: [0.8, 0.3, 0.2] });
  game.gfx.ui.rect(0, 0, 800, 40, 0, 0, 0, 0.6);
  game.text('Screenshot', 10, 30, { size: 24 });
  game.commands.tick();
}
let times = null;
kit.addon.startTicking(() => {
  scene();
  times = timeRounds(process.argv.includes('--quick') ? 5 : 11, {
    plain: () => { for (let i = 0; i < FRAMES; ++i) game.gfx.render(); },
    shot: () => { for (let i = 0; i < FRAMES; ++i) kit.screenshot(out); },
  });
  kit.addon.quit();
});
const cost = times.shot.map((t, i) => (t - times.plain[i]) / FRAMES);
emit('screenshot 800x600: read back and PNG, per shot', cost, 1e-6, 'ms');
emit('frame 800x600 without a screenshot', times.plain, 1e-6 / FRAMES, 'ms');
