'use strict';
// The test host: runs the function a test sends (its source as argument 1, its argument as JSON in argument 2) with
// the addon and the hosts' helpers in scope, and reports what it returns. A function that needs to be driven from
// outside calls serveRequests itself.
const requests = require('./requests');

const scope = { ...require('./common'), ...requests, require, graphics: () => require('./graphics'), kit: () => require('tessimarke/host') };
const fn = new Function(...Object.keys(scope), `return (${process.argv[2]});`)(...Object.values(scope));
Promise.resolve(fn(JSON.parse(process.argv[3] || 'null'))).then((value) => value !== undefined && requests.report(value));
