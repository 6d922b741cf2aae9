'use strict';
// Runs one shader-registry scenario, named by the first argument, reports what the host saw and quits.
const { addon, report } = require('./common');

const VERTEX = '#version 400 core\nlayout(location = 0) in vec3 p;\nvoid main() { gl_Position = vec4(p, 1.0); }\n';
const FRAGMENT = '#version 400 core\nout vec4 c;\nvoid main() { c = vec4(1.0); }\n';
const BROKEN = '#version 400 core\nout vec4 c;\nvoid main() { c = vec4(undeclared); }\n';

const mode = process.argv[2];
switch (mode) {
  case 'none':
    report([addon.checkShaders(), addon.checkShaders()]);
    break;
  case 'good':
    // The same name in both stages is two entries, not a collision.
    report([addon.compileShader('solid', true, VERTEX), addon.compileShader('solid', false, FRAGMENT),
      addon.compileShader('\u00e9t\u00e9', false, FRAGMENT), addon.checkShaders(), addon.checkShaders()]);
    break;
  case 'broken':
    addon.compileShader('solid', true, VERTEX);
    report(addon.compileShader('bad', false, BROKEN));
    addon.compileShader('solid', false, FRAGMENT);
    report(addon.checkShaders());
    report(addon.checkShaders());
    // A shader compiled after the failure may get the deleted object's number; it stays good.
    addon.compileShader('later', false, FRAGMENT);
    report(addon.checkShaders());
    break;
  case 'two-broken':
    addon.compileShader('one', true, 'not glsl');
    addon.compileShader('two', false, BROKEN);
    report(addon.checkShaders());
    break;
  case 'collision':
    addon.compileShader('solid', true, VERTEX);
    addon.compileShader('solid', false, FRAGMENT);
    addon.compileShader('solid', true, VERTEX);
    break;
  case 'arena-fits':
    // Name "a" takes 2 bytes, the source n + 1: the index ends on 65535, below the arena's size.
    report(addon.compileShader('a', false, 'x'.repeat(65532)));
    break;
  case 'arena-full':
    // One byte more: the terminator lands on the arena's last byte and the index reaches 65536.
    addon.compileShader('a', false, 'x'.repeat(65533));
    break;
  case 'arena-cut':
    // A source longer than the room left is cut to fit, which fills the arena.
    addon.compileShader('a', false, 'x'.repeat(70000));
    break;
  case 'count':
    for (let i = 0; i < 33; ++i) { addon.compileShader(`s${i}`, i % 2 === 0, i % 2 ? FRAGMENT : VERTEX); report(i); }
    break;
  case 'args':
    addon.compileShader('solid', true);
    break;
  case 'stage-type':
    addon.compileShader('solid', 1, VERTEX);
    break;
  default: throw new Error(`unknown mode ${mode}`);
}
addon.quit();
