'use strict';
// The command stream seen from the host: conversions, results, skipping, command 9 and bounds.
const { addon, createFixed, runCommands, putString, report, COMMAND_BUFFER } = require('./common');

const scenario = process.argv[2];
const mark = (text) => process.stdout.write(`[${text}]\n`);

if (scenario === 'walk') {
  const fixed = createFixed();
  const [off, len] = putString(fixed, 'héllo|');
  const words = [0.5, -0.5, 11, 99, -7, 9.9, off, len, 12.5, 1, 0, 0, 1, 13, 1, 2, 3, 4, 4, 0, 0.5, 5, 6, 7];
  fixed.results.fill(-1, 0, words.length);
  mark('walk');
  report(runCommands(fixed, words));
  mark('again');
  addon.tick(); // the same words run again: tick clears neither the count nor the commands
  mark('count 0');
  fixed.header[COMMAND_BUFFER] = 0;
  addon.tick();
  fixed.header[COMMAND_BUFFER] = -3 >>> 0;
  addon.tick();
  mark('end');
} else if (scenario === 'log') {
  const fixed = createFixed({ string: 16 });
  putString(fixed, 'abcdefghijklmnop');
  const runs = [
    [2 ** 32 + 2, 3], // the offset keeps its low 32 bits: "cde"
    [10, 100],        // clipped to the block: "klmnop"
    [3, -1],          // negative length: nothing
    [16, 1],          // offset at the end: nothing
    [2 ** 31, 4],     // far outside: nothing
    [0, NaN],         // NaN length: nothing
    [1.9, 2.9],       // truncation: "bc"
  ];
  for (const [o, l] of runs) {
    mark(`${o},${l}`);
    report(runCommands(fixed, [9, o, l]));
  }
  mark('end');
} else if (scenario === 'bounds') {
  // A command block of 5 words: the second log command's operands would run past it.
  const fixed = createFixed({ command: 40, result: 64 });
  const [o1, l1] = putString(fixed, 'first|');
  const [o2, l2] = putString(fixed, 'second|', 16);
  fixed.commands.set([9, o1, l1, 9, o2]);
  fixed.header[COMMAND_BUFFER] = 6;
  mark('command block');
  addon.tick();
  // A result block of 2 words: the log command at index 2 has nowhere to put its result.
  const small = createFixed({ result: 16 });
  const [o3, l3] = putString(small, 'third|');
  small.commands.set([5, 5, 9, o3, l3]);
  small.header[COMMAND_BUFFER] = 5;
  mark('result block');
  addon.tick();
  report(Array.from(new Float64Array(addon.getBuffer(3))));
  mark('end');
}
