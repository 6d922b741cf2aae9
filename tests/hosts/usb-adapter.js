'use strict';
// Drives the USB adapter for a number of steps (poll, then pollUSB, as a game loop does), then
// quits. Options (JSON, first argument):
//   steps      number of steps (default 3)
//   usbSize    bytes of USB_BUFFER (default 64); the block is prefilled with 0xEE
//   fullQueue  steps whose poll finds the event queue with only 7 bytes free
//   quit       call quit at the end (default true)
//   afterQuit  pollUSB calls after quit (default 0)
// Prints "@step N poll" and "@step N pollUSB" before each call, "@quit" before quit, and reports
// { steps: [{ events: [...bytes queued by that poll], usb: [...USB_BUFFER after pollUSB] }] }.
const { addon, createFixed, report, EVENT_BUFFER } = require('./common');

const opts = { steps: 3, usbSize: 64, fullQueue: [], quit: true, afterQuit: 0, ...JSON.parse(process.argv[2] || '{}') };
const fixed = createFixed({ usb: opts.usbSize });
fixed.usb.fill(0xEE);

const steps = [];
for (let i = 0; i < opts.steps; i++) {
  const start = opts.fullQueue.includes(i) ? fixed.events.length - 7 : 0;
  fixed.header[EVENT_BUFFER] = start;
  process.stdout.write(`@step ${i} poll\n`);
  addon.poll();
  const events = Array.from(fixed.events.subarray(start, fixed.header[EVENT_BUFFER]));
  fixed.header[EVENT_BUFFER] = 0;
  process.stdout.write(`@step ${i} pollUSB\n`);
  const result = addon.pollUSB();
  steps.push({ events, usb: Array.from(fixed.usb), result });
}
if (opts.quit) {
  process.stdout.write('@quit\n');
  addon.quit();
  for (let i = 0; i < opts.afterQuit; i++) addon.pollUSB();
}
report({ steps });
