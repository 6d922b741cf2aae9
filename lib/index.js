'use strict';
// The addon's own exports, unchanged: 22 functions and 4 constants. The addon is
// build/tessimarke.node; TESSIMARKE_BUILD_DIR (the build directory the scripts use) or
// TESSIMARKE_ADDON (a path to the .node file itself) load another build instead.
const path = require('node:path');

const root = path.join(__dirname, '..');
const addonPath = process.env.TESSIMARKE_ADDON
  || path.join(path.resolve(root, process.env.TESSIMARKE_BUILD_DIR || 'build'), 'tessimarke.node');

module.exports = require(addonPath);
