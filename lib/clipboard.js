'use strict';
// The system clipboard: copy reaches it at the next poll (and other programs read it only while
// the host keeps polling); paste answers '' when it holds no text.
const { native } = require('./native');
const { checkString } = require('./checks');

// Puts `text` on the clipboard: 0, or negative when the system refused it.
function copy(text) {
  checkString(text, 'clipboard text');
  return native().copy(text);
}
function paste() { return native().paste(); }

module.exports = { copy, paste };
