'use strict';
// Named input codes (SDL scancodes and modifier bits, mouse buttons, controller buttons and axes)
// and the input state a game reads each step: keys, mouse and controllers fed from the decoded
// events, with "was pressed / was released since the last step" edges and a dead zone on the
// controller axes. Pure JavaScript: it reads event objects, never the addon.
const { checkNumber, checkInteger, checkOptions, kitError } = require('./checks');

// Physical keys (SDL scancodes, the `scancode` of key events): the same key whatever the layout.
const KEY = (() => {
  const k = {};
  for (let i = 0; i < 26; ++i) k[String.fromCharCode(65 + i)] = 4 + i;            // A-Z: 4-29
  for (let i = 1; i <= 9; ++i) k[`DIGIT_${i}`] = 29 + i;                           // 1-9: 30-38
  k.DIGIT_0 = 39;
  Object.assign(k, {
    RETURN: 40, ESCAPE: 41, BACKSPACE: 42, TAB: 43, SPACE: 44, MINUS: 45, EQUALS: 46, LEFT_BRACKET: 47,
    RIGHT_BRACKET: 48, BACKSLASH: 49, SEMICOLON: 51, APOSTROPHE: 52, GRAVE: 53, COMMA: 54, PERIOD: 55, SLASH: 56,
    CAPS_LOCK: 57, PRINT_SCREEN: 70, SCROLL_LOCK: 71, PAUSE: 72, INSERT: 73, HOME: 74, PAGE_UP: 75, DELETE: 76,
    END: 77, PAGE_DOWN: 78, RIGHT: 79, LEFT: 80, DOWN: 81, UP: 82, NUM_LOCK: 83, KP_DIVIDE: 84, KP_MULTIPLY: 85,
    KP_MINUS: 86, KP_PLUS: 87, KP_ENTER: 88, KP_PERIOD: 99,
    LEFT_CTRL: 224, LEFT_SHIFT: 225, LEFT_ALT: 226, LEFT_GUI: 227, RIGHT_CTRL: 228, RIGHT_SHIFT: 229, RIGHT_ALT: 230,
    RIGHT_GUI: 231,
  });
  for (let i = 1; i <= 12; ++i) k[`F${i}`] = 57 + i;                               // F1-F12: 58-69
  for (let i = 1; i <= 9; ++i) k[`KP_${i}`] = 88 + i;                              // keypad 1-9: 89-97
  k.KP_0 = 98;
  return Object.freeze(k);
})();
// Scancodes the state tracks (SDL's whole range).
const SCANCODE_COUNT = 512;

// Bits of the `mod` field of key events.
const KEY_MOD = Object.freeze({
  LEFT_SHIFT: 0x0001, RIGHT_SHIFT: 0x0002, LEFT_CTRL: 0x0040, RIGHT_CTRL: 0x0080, LEFT_ALT: 0x0100,
  RIGHT_ALT: 0x0200, LEFT_GUI: 0x0400, RIGHT_GUI: 0x0800, NUM: 0x1000, CAPS: 0x2000,
  SHIFT: 0x0003, CTRL: 0x00c0, ALT: 0x0300, GUI: 0x0c00,
});

// The `button` of mouse events.
const MOUSE_BUTTON = Object.freeze({ LEFT: 1, MIDDLE: 2, RIGHT: 3, X1: 4, X2: 5 });
const MOUSE_BUTTON_COUNT = 8;

// The `button` of controller button events (the standard controller layout).
const CONTROLLER_BUTTON = Object.freeze({
  A: 0, B: 1, X: 2, Y: 3, BACK: 4, GUIDE: 5, START: 6, LEFT_STICK: 7, RIGHT_STICK: 8, LEFT_SHOULDER: 9,
  RIGHT_SHOULDER: 10, DPAD_UP: 11, DPAD_DOWN: 12, DPAD_LEFT: 13, DPAD_RIGHT: 14, MISC: 15, PADDLE_1: 16,
  PADDLE_2: 17, PADDLE_3: 18, PADDLE_4: 19, TOUCHPAD: 20,
});
const CONTROLLER_BUTTON_COUNT = 32;
// The `axis` of controller axis events: sticks -1..1 (y down is positive), triggers 0..1.
const CONTROLLER_AXIS = Object.freeze({ LEFT_X: 0, LEFT_Y: 1, RIGHT_X: 2, RIGHT_Y: 3, TRIGGER_LEFT: 4, TRIGGER_RIGHT: 5 });
const CONTROLLER_AXIS_COUNT = 6;

// Flags of one key, button or controller button: held now, went down / up since the last endStep.
const DOWN = 1, PRESSED = 2, RELEASED = 4;

function press(flags, i) { if (!(flags[i] & DOWN)) flags[i] |= DOWN | PRESSED; }
function release(flags, i) { if (flags[i] & DOWN) flags[i] = (flags[i] & ~DOWN) | RELEASED; }
function clearEdges(flags) { for (let i = 0; i < flags.length; ++i) flags[i] &= DOWN; }

// `value` with the dead zone cut out and the rest stretched back over 0..1, so that the value
// grows from 0 at the zone's edge instead of jumping.
function applyDeadZone(value, deadZone) {
  const a = Math.abs(value);
  if (a <= deadZone) return 0;
  return Math.sign(value) * Math.min(1, (a - deadZone) / (1 - deadZone));
}

// One controller: raw axis values and button flags.
class ControllerState {
  constructor(id) {
    this.id = id;
    this.axes = new Float32Array(CONTROLLER_AXIS_COUNT);
    this.buttons = new Uint8Array(CONTROLLER_BUTTON_COUNT);
  }
}

// What the keyboard, mouse and controllers are doing, from the events handed to `handle` / `feed`.
// Edges (wasPressed, wasReleased, typed text, controllers added or removed) collect until
// `endStep()`, so a step sees every press since the step before, even a press and release between
// two steps. The fixed-step runner calls endStep after each step it runs.
class InputState {
  constructor(options) {
    const { deadZone = 0.15 } = checkOptions(options, ['deadZone'], 'InputState');
    checkNumber(deadZone, 'deadZone');
    if (deadZone < 0 || deadZone >= 1) throw kitError(RangeError, 'ERR_RANGE', `deadZone must be in 0..1 (1 excluded), got ${deadZone}`);
    this.deadZone = deadZone;
    this.keys = new Uint8Array(SCANCODE_COUNT);
    this.buttons = new Uint8Array(MOUSE_BUTTON_COUNT);
    this.mouse = { x: 0, y: 0, dx: 0, dy: 0 };
    this.mouseSeen = false;
    this.controllers = new Map();
    this.added = [];
    this.removed = [];
    this.text = '';
    this.quit = false;
    this.windowSize = null;
    this.adapterConnected = false;
  }

  // Takes in one decoded event.
  handle(e) {
    switch (e.type) {
      case 'keyDown': if (e.scancode < SCANCODE_COUNT) press(this.keys, e.scancode); break;
      case 'keyUp': if (e.scancode < SCANCODE_COUNT) release(this.keys, e.scancode); break;
      case 'textInput': this.text += e.text; break;
      case 'mouseMove':
        // The first position known is no motion.
        if (this.mouseSeen) { this.mouse.dx += e.x - this.mouse.x; this.mouse.dy += e.y - this.mouse.y; }
        this.mouse.x = e.x; this.mouse.y = e.y; this.mouseSeen = true;
        break;
      case 'mouseDown': case 'mouseUp':
        this.mouse.x = e.x; this.mouse.y = e.y; this.mouseSeen = true;
        if (e.button < MOUSE_BUTTON_COUNT) (e.type === 'mouseDown' ? press : release)(this.buttons, e.button);
        break;
      case 'controllerAdded': this.controller(e.controller); this.added.push(e.controller); break;
      case 'controllerRemoved':
        if (this.controllers.delete(e.controller)) this.removed.push(e.controller);
        break;
      case 'controllerAxis': if (e.axis < CONTROLLER_AXIS_COUNT) this.controller(e.controller).axes[e.axis] = e.value; break;
      case 'controllerButtonDown': case 'controllerButtonUp':
        if (e.button < CONTROLLER_BUTTON_COUNT) {
          (e.type === 'controllerButtonDown' ? press : release)(this.controller(e.controller).buttons, e.button);
        }
        break;
      case 'windowSize': this.windowSize = { width: e.width, height: e.height }; break;
      case 'quit': this.quit = true; break;
      case 'adapterConnected': this.adapterConnected = true; break;
      default: break;
    }
  }
  // Takes in a list of decoded events (what readEvents returns); returns this.
  feed(events) {
    for (let i = 0; i < events.length; ++i) this.handle(events[i]);
    return this;
  }
  // Ends a step: the edges, the typed text, the mouse motion and the controllers added or removed
  // start again from nothing. What is held stays held.
  endStep() {
    clearEdges(this.keys);
    clearEdges(this.buttons);
    for (const c of this.controllers.values()) clearEdges(c.buttons);
    this.text = '';
    this.mouse.dx = 0; this.mouse.dy = 0;
    this.added.length = 0;
    this.removed.length = 0;
  }

  // The state of controller `id`, made on first mention (a record can come before the added one
  // when the controller was there at start-up).
  controller(id) {
    let c = this.controllers.get(id);
    if (!c) { c = new ControllerState(id); this.controllers.set(id, c); }
    return c;
  }

  // One family for every input: down(name), pressed(name), released(name) take a key name
  // ('a', 'space', 'escape', 'left', 'digit1', 'f1', ...: KEY's names in any case), 'mouse.left',
  // 'mouse.middle', 'mouse.right', or a controller button of any controller, 'pad.a', 'pad.start',
  // 'pad.dpadUp', ... (CONTROLLER_BUTTON's names in lower camel case); axis('pad.leftX') takes
  // CONTROLLER_AXIS's names the same way.
  down(name) { return this.named(name, DOWN); }
  pressed(name) { return this.named(name, PRESSED); }
  released(name) { return this.named(name, RELEASED); }
  named(name, flag) {
    const [kind, code] = namedInput(name, 'input');
    if (kind === 'key') return (this.keys[code] & flag) !== 0;
    if (kind === 'mouse') return (this.buttons[code] & flag) !== 0;
    return this.anyButton(code, undefined, flag);
  }

  // The lower layer: keys by scancode (KEY.*).
  isDown(scancode) { return (this.keys[checkKey(scancode)] & DOWN) !== 0; }
  wasPressed(scancode) { return (this.keys[checkKey(scancode)] & PRESSED) !== 0; }
  wasReleased(scancode) { return (this.keys[checkKey(scancode)] & RELEASED) !== 0; }
  // Mouse buttons (MOUSE_BUTTON.*).
  mouseDown(button) { return (this.buttons[checkMouseButton(button)] & DOWN) !== 0; }
  mousePressed(button) { return (this.buttons[checkMouseButton(button)] & PRESSED) !== 0; }
  mouseReleased(button) { return (this.buttons[checkMouseButton(button)] & RELEASED) !== 0; }
  // Controller buttons (CONTROLLER_BUTTON.*) of controller `id`, or of any controller without one.
  buttonDown(button, id) { return this.anyButton(button, id, DOWN); }
  buttonPressed(button, id) { return this.anyButton(button, id, PRESSED); }
  buttonReleased(button, id) { return this.anyButton(button, id, RELEASED); }
  // Axis `axis` (CONTROLLER_AXIS.*) past the dead zone, of controller `id`; without one, the
  // strongest of all controllers'.
  axis(axis, id) {
    if (typeof axis === 'string') axis = namedInput(axis, 'axis')[1];
    checkInteger(axis, 0, CONTROLLER_AXIS_COUNT - 1, 'axis');
    let best = 0;
    if (id !== undefined) {
      const c = this.controllers.get(id);
      best = c ? c.axes[axis] : 0;
    } else {
      for (const c of this.controllers.values()) if (Math.abs(c.axes[axis]) > Math.abs(best)) best = c.axes[axis];
    }
    return applyDeadZone(best, this.deadZone);
  }

  anyButton(button, id, flag) {
    checkInteger(button, 0, CONTROLLER_BUTTON_COUNT - 1, 'controller button');
    if (id !== undefined) {
      const c = this.controllers.get(id);
      return !!c && (c.buttons[button] & flag) !== 0;
    }
    for (const c of this.controllers.values()) if (c.buttons[button] & flag) return true;
    return false;
  }
}

// Input names as down / pressed / released / stick take them, resolved once: [kind, code].
const camel = (upper) => upper.toLowerCase().replace(/_([a-z0-9])/g, (m, c) => c.toUpperCase());
const NAMES = new Map();
for (const [k, v] of Object.entries(KEY)) NAMES.set(camel(k).toLowerCase(), ['key', v]);
for (const [k, v] of Object.entries(MOUSE_BUTTON)) NAMES.set(`mouse.${camel(k)}`, ['mouse', v]);
for (const [k, v] of Object.entries(CONTROLLER_BUTTON)) NAMES.set(`pad.${camel(k)}`, ['pad', v]);
for (const [k, v] of Object.entries(CONTROLLER_AXIS)) NAMES.set(`pad.${camel(k)}`, ['axis', v]);
function namedInput(name, what) {
  const found = NAMES.get(name) || (typeof name === 'string' ? NAMES.get(name.toLowerCase()) : undefined);
  if (!found || (what === 'axis') !== (found[0] === 'axis')) {
    throw kitError(RangeError, 'ERR_CHOICE', `${what === 'axis' ? 'axis' : 'down / pressed / released'}: unknown ${what} name ${JSON.stringify(name)} ` +
      `(keys like 'a', 'space', 'left'; 'mouse.left'; 'pad.a'${what === 'axis' ? "; axes 'pad.leftX', 'pad.triggerRight'" : ''})`);
  }
  return found;
}

function checkKey(scancode) { return checkInteger(scancode, 0, SCANCODE_COUNT - 1, 'scancode'); }
function checkMouseButton(button) { return checkInteger(button, 0, MOUSE_BUTTON_COUNT - 1, 'mouse button'); }

module.exports = {
  KEY, KEY_MOD, MOUSE_BUTTON, CONTROLLER_BUTTON, CONTROLLER_AXIS, InputState, applyDeadZone,
};
