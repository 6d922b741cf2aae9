'use strict';
// Runs one host mistake that must end the process in a failed check. argv[2] names the case.
const { addon, createFixed, runCommands } = require('./common');

const cases = {
  initBufferOneArg: () => addon.initBuffer(9),
  initBufferThreeArgs: () => addon.initBuffer(9, 4, 1),
  initBufferStringId: () => addon.initBuffer('9', 4),
  initBufferId300: () => addon.initBuffer(300, 16),
  getBufferId256: () => addon.getBuffer(256),
  nextBufferNoArg: () => addon.nextBuffer(),
  nextBufferString: () => addon.nextBuffer('big'),
  poolOverflow: () => {
    const f = createFixed({ pool: 100 });
    addon.nextPool(60);
    process.stdout.write('after 60\n');
    addon.nextPool(40);
  },
  idsExhausted: () => {
    for (let i = 8; i < 256; i++) addon.nextBuffer(1);
    process.stdout.write('id 255 handed out\n');
    addon.nextBuffer(1);
  },
  headerTooShort: () => {
    // A header of 8 bytes holds entries 0 and 1 only; the command count lives at entry 2.
    createFixed({ header: 8 });
    addon.tick();
  },
  startTickingNumber: () => addon.startTicking(5),
  startTickingNoArg: () => addon.startTicking(),
  tickFnThrows: () => addon.startTicking(function gameStep() { throw new Error('host failure'); }),
  tickFnThrowsString: () => addon.startTicking(() => { throw 'plain string'; }),
  tickFnThrowsSymbol: () => addon.startTicking(() => { throw Symbol('no string'); }),
};

cases[process.argv[2]]();
process.stdout.write('no abort\n');
