'use strict';
// measureText called wrongly, named by the first argument: count (two arguments), not-string (a
// number as the text), size-string (a string as the size), before-ready (a good call before the
// glyph set exists).
const { addon, report } = require('./common');

switch (process.argv[2]) {
  case 'count': addon.measureText('abc', 16); break;
  case 'not-string': addon.measureText(42, 16, 0); break;
  case 'size-string': addon.measureText('abc', '16', 0); break;
  case 'before-ready': report(addon.measureText('abc', 16, 0)); break;
  default: throw new Error(`unknown mode ${process.argv[2]}`);
}
addon.quit();
