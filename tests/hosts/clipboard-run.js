'use strict';
// Clipboard scenarios that need no outside program: round trips, the empty text, argument checks.
const { addon, report } = require('./common');

const mode = process.argv[2];
switch (mode) {
  case 'roundtrip': {
    const text = 'héllo wörld ✓ 😀 Ω';
    report([addon.copy(text), addon.paste(), addon.paste('ignored', 2)]);
    report([addon.copy(''), addon.paste()]);
    break;
  }
  case 'noargs': addon.copy(); break;
  case 'number': addon.copy(5); break;
  default: throw new Error(`unknown mode ${mode}`);
}
addon.quit();
