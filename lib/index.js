'use strict';
// The addon's own exports: 22 functions and 4 constants.
module.exports = require('../build/tessimarke.node');
