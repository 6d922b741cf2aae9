'use strict';
// Host-kit adapter host: polls through the kit until the adapter's announcement is read, and only
// then reads reports with pollUSB (which blocks while an adapter is connected). Reports the events
// the kit decoded and each report it read.
const kit = require('tessimarke/host');

const buffers = kit.createBuffers();
const events = [];
const reports = [];
let connected = false;
for (let step = 0; step < 4; ++step) {
  kit.addon.poll();
  for (const e of kit.readEvents(buffers)) {
    events.push(e);
    if (e.type === 'adapterConnected') connected = true;
  }
  if (connected) {
    kit.addon.pollUSB();
    reports.push(Array.from(buffers.usb.subarray(0, kit.ADAPTER_REPORT_SIZE)));
  }
}
kit.addon.quit();
process.stdout.write('\n@result ' + JSON.stringify({ events, reports }) + '\n');
