'use strict';
// Argument checks shared by the kit's modules: each names the argument and what it accepts, and
// throws before anything reaches the addon (whose own checks end the process). Also the debug
// switch for checks that would cost time on every vertex.
//
// The switch starts on when TESSIMARKE_DEBUG is set to anything but "" or "0", and setDebugChecks
// turns it on or off at any time; the kit's examples turn it on.
const state = { debug: !!process.env.TESSIMARKE_DEBUG && process.env.TESSIMARKE_DEBUG !== '0' };

function setDebugChecks(on) { state.debug = !!on; }
function debugChecks() { return state.debug; }

const show = (value) => (typeof value === 'string' ? JSON.stringify(value) : String(value));

// Every error the kit throws carries a `code` naming the case: ERR_TYPE (a value of the wrong
// kind), ERR_RANGE (out of range), ERR_OPTION (an unknown option), ERR_CHOICE (not one of the names
// allowed), ERR_FULL (a table or block is full), ERR_STATE (called at the wrong time), ERR_FILE.
function kitError(Class, code, message) {
  const error = new Class(message);
  error.code = code;
  return error;
}

function checkInteger(value, min, max, what) {
  if (typeof value !== 'number' || !Number.isInteger(value)) throw kitError(TypeError, 'ERR_TYPE', `${what} must be an integer, got ${show(value)}`);
  if (value < min || value > max) throw kitError(RangeError, 'ERR_RANGE', `${what} must be in ${min}..${max}, got ${value}`);
  return value;
}
function checkNumber(value, what) {
  if (typeof value !== 'number' || !Number.isFinite(value)) throw kitError(TypeError, 'ERR_TYPE', `${what} must be a finite number, got ${show(value)}`);
  return value;
}
function checkString(value, what) {
  if (typeof value !== 'string') throw kitError(TypeError, 'ERR_TYPE', `${what} must be a string, got ${typeof value}`);
  return value;
}
// `value` is one of the keys of `table` (or already one of its values): the value.
function checkChoice(value, table, what) {
  if (typeof value === 'string' && Object.hasOwn(table, value)) return table[value];
  if (Object.values(table).includes(value)) return value;
  throw kitError(RangeError, 'ERR_CHOICE', `${what} must be one of ${Object.keys(table).join(', ')}, got ${value}`);
}
// A plain options object whose keys are all in `allowed`; undefined reads as {}.
function checkOptions(options, allowed, what) {
  if (options === undefined) return {};
  if (options === null || typeof options !== 'object' || Array.isArray(options)) {
    throw kitError(TypeError, 'ERR_TYPE', `${what} options must be an object, got ${show(options)}`);
  }
  for (const key in options) {
    if (!allowed.includes(key) && Object.hasOwn(options, key)) {
      throw kitError(RangeError, 'ERR_OPTION', `${what}: unknown option '${key}' (options: ${allowed.join(', ')})`);
    }
  }
  return options;
}
// An array-like of `length` finite numbers.
function checkFloats(values, length, what) {
  if (!values || typeof values.length !== 'number') throw kitError(TypeError, 'ERR_TYPE', `${what} must be an array of ${length} numbers, got ${show(values)}`);
  if (values.length !== length) throw kitError(RangeError, 'ERR_RANGE', `${what} must hold ${length} numbers, got ${values.length}`);
  for (let i = 0; i < length; ++i) checkNumber(values[i], `${what}[${i}]`);
  return values;
}
// Every argument of a vertex writer is a finite number: `names` name them in order.
function checkArguments(args, names, what) {
  for (let i = 0; i < args.length; ++i) checkNumber(args[i], `${what}: ${names[i] || `argument ${i}`}`);
}

module.exports = {
  state, setDebugChecks, debugChecks, kitError, checkInteger, checkNumber, checkString, checkChoice, checkOptions, checkFloats,
  checkArguments,
};
