'use strict';
// How test hosts answer the tests: values as "@result <json>" lines, and hosts driven line by line with one JSON
// request per line of standard input. Loads nothing of the addon.

// One line the test reads back, on a line of its own whatever came before it. The harness removes exactly
// "\n@result ...\n", leaving the native output as it was.
function report(value) {
  process.stdout.write('\n@result ' + JSON.stringify(value) + '\n');
}

// Reports 'started', then answers each request line { op, ... } with the report of handlers[op](request) (awaited), in
// order; the request with op 'quit' ends the input.
function serveRequests(handlers) {
  const rl = require('node:readline').createInterface({ input: process.stdin });
  report('started');
  rl.on('line', async (line) => {
    const request = JSON.parse(line);
    report(await handlers[request.op](request));
    if (request.op === 'quit') { rl.close(); process.stdin.destroy(); }
  });
}

module.exports = { report, serveRequests };
