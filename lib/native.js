'use strict';
// The addon, loaded on first use by every module of the kit. Loading it opens the window, so the
// pure parts of the kit (decoders, constants, layout arithmetic, the fixed-step clock) stay usable
// without a display or a build.
let loaded = null;
function native() { return loaded || (loaded = require('./index')); }

module.exports = { native };
