'use strict';
// Runs one renderer call scenario, named by the first argument, and quits:
// shadow-none, ssao-two, antialias-string (setter argument checks), early-quality (a setter before
// `ready`), no-gl (ready and render with no window or GL context).
const { addon, createFixed, report } = require('./common');

const mode = process.argv[2];
switch (mode) {
  case 'shadow-none': addon.setShadowQuality(); break;
  case 'ssao-two': addon.setSsaoQuality(1, 2); break;
  case 'antialias-string': addon.setAntialias('high'); break;
  case 'no-gl': {
    createFixed();
    report([addon.setShadowQuality(3), addon.ready(), addon.render(), addon.render()]);
    break;
  }
  default: throw new Error(`unknown mode ${mode}`);
}
addon.quit();
