'use strict';
// Host-kit event host, driven line by line: each line on standard input is one JSON request,
// answered by one report. The test acts on the window from outside between requests and reads
// back what the kit's event reader decoded. Requests: setup, poll, quit.
const kit = require('tessimarke/host');

let buffers = null;
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
const { report, serveRequests } = require('./requests');

const handlers = {
  setup() {
    buffers = kit.createBuffers();
    kit.setupGraphics(buffers);
    return true;
  },
  // Polls until an event of type `until` was read (or `max` polls), every poll read by the kit;
  // reports the events and the queue length the reader left.
  async poll({ until, max = 300 }) {
    const events = [];
    for (let i = 0; i < max; ++i) {
      kit.addon.poll();
      kit.readEvents(buffers, events);
      if (!until || events.some((e) => e.type === until)) break;
      await sleep(10);
    }
    return { events, left: buffers.lenBuffer(kit.EVENT_BUFFER) };
  },
  quit() { return kit.addon.quit(); },
};

serveRequests(handlers);
