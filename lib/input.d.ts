// Typings of lib/input.js: input names and the input state.
import { HostEvent } from './events';

type Letter = 'A' | 'B' | 'C' | 'D' | 'E' | 'F' | 'G' | 'H' | 'I' | 'J' | 'K' | 'L' | 'M' | 'N' | 'O' | 'P' | 'Q' | 'R'
  | 'S' | 'T' | 'U' | 'V' | 'W' | 'X' | 'Y' | 'Z';
type Digit = 0 | 1 | 2 | 3 | 4 | 5 | 6 | 7 | 8 | 9;
type FKey = 1 | 2 | 3 | 4 | 5 | 6 | 7 | 8 | 9 | 10 | 11 | 12;
type KeyName = Letter | `DIGIT_${Digit}` | `F${FKey}` | `KP_${Digit}`
  | 'RETURN' | 'ESCAPE' | 'BACKSPACE' | 'TAB' | 'SPACE' | 'MINUS' | 'EQUALS' | 'LEFT_BRACKET' | 'RIGHT_BRACKET'
  | 'BACKSLASH' | 'SEMICOLON' | 'APOSTROPHE' | 'GRAVE' | 'COMMA' | 'PERIOD' | 'SLASH' | 'CAPS_LOCK' | 'PRINT_SCREEN'
  | 'SCROLL_LOCK' | 'PAUSE' | 'INSERT' | 'HOME' | 'PAGE_UP' | 'DELETE' | 'END' | 'PAGE_DOWN' | 'RIGHT' | 'LEFT' | 'DOWN'
  | 'UP' | 'NUM_LOCK' | 'KP_DIVIDE' | 'KP_MULTIPLY' | 'KP_MINUS' | 'KP_PLUS' | 'KP_ENTER' | 'KP_PERIOD'
  | 'LEFT_CTRL' | 'LEFT_SHIFT' | 'LEFT_ALT' | 'LEFT_GUI' | 'RIGHT_CTRL' | 'RIGHT_SHIFT' | 'RIGHT_ALT' | 'RIGHT_GUI';
/** Physical keys: SDL scancodes, the `scancode` of key events. */
export const KEY: { readonly [name in KeyName]: number };
/** Bits of the `mod` field of key events; SHIFT, CTRL, ALT and GUI cover both sides. */
type ModName = 'LEFT_SHIFT' | 'RIGHT_SHIFT' | 'LEFT_CTRL' | 'RIGHT_CTRL' | 'LEFT_ALT' | 'RIGHT_ALT'
  | 'LEFT_GUI' | 'RIGHT_GUI' | 'NUM' | 'CAPS' | 'SHIFT' | 'CTRL' | 'ALT' | 'GUI';
export const KEY_MOD: { readonly [name in ModName]: number };
export const MOUSE_BUTTON: Readonly<{ LEFT: 1; MIDDLE: 2; RIGHT: 3; X1: 4; X2: 5 }>;
export const CONTROLLER_BUTTON: Readonly<{
  A: 0; B: 1; X: 2; Y: 3; BACK: 4; GUIDE: 5; START: 6; LEFT_STICK: 7; RIGHT_STICK: 8; LEFT_SHOULDER: 9;
  RIGHT_SHOULDER: 10; DPAD_UP: 11; DPAD_DOWN: 12; DPAD_LEFT: 13; DPAD_RIGHT: 14; MISC: 15; PADDLE_1: 16;
  PADDLE_2: 17; PADDLE_3: 18; PADDLE_4: 19; TOUCHPAD: 20;
}>;
/** Sticks -1..1 (y positive downwards), triggers 0..1. */
export const CONTROLLER_AXIS: Readonly<{ LEFT_X: 0; LEFT_Y: 1; RIGHT_X: 2; RIGHT_Y: 3; TRIGGER_LEFT: 4; TRIGGER_RIGHT: 5 }>;

/** `value` with |value| <= deadZone cut to 0 and the rest stretched back over 0..1. */
export function applyDeadZone(value: number, deadZone: number): number;

export interface ControllerState {
  readonly id: number;
  /** Raw axis values, before the dead zone. */
  readonly axes: Float32Array;
  /** Per button: bit 0 held, bit 1 pressed, bit 2 released since the last endStep. */
  readonly buttons: Uint8Array;
}

/** Keys, mouse and controllers from the decoded events. Edges (pressed, released, text, motion,
 * controllers added or removed) collect until endStep(). */
export class InputState {
  /** deadZone: default 0.15. */
  constructor(options?: { deadZone?: number });
  readonly deadZone: number;
  /** Position in window pixels; dx, dy: motion since the last endStep. */
  readonly mouse: { x: number; y: number; dx: number; dy: number };
  readonly controllers: Map<number, ControllerState>;
  /** Controllers added / removed since the last endStep. */
  readonly added: number[];
  readonly removed: number[];
  /** Text typed since the last endStep. */
  readonly text: string;
  /** A quit was requested (stays true). */
  readonly quit: boolean;
  /** The last window size record. */
  readonly windowSize: { width: number; height: number } | null;
  readonly adapterConnected: boolean;
  handle(event: HostEvent): void;
  feed(events: readonly HostEvent[]): this;
  endStep(): void;
  /** The state of controller `id`, made on first mention. */
  controller(id: number): ControllerState;
  /** Held now: a key name ('a', 'space', 'escape', 'left', 'digit1', 'f1', ...), 'mouse.left' /
   * 'mouse.middle' / 'mouse.right', or a button of any controller ('pad.a', 'pad.start', 'pad.dpadUp', ...). */
  down(name: string): boolean;
  /** Went down since the last step. */
  pressed(name: string): boolean;
  /** Went up since the last step. */
  released(name: string): boolean;
  /** The lower layer: keys by scancode (KEY), mouse buttons (MOUSE_BUTTON), controller buttons. */
  isDown(scancode: number): boolean;
  wasPressed(scancode: number): boolean;
  wasReleased(scancode: number): boolean;
  mouseDown(button: number): boolean;
  mousePressed(button: number): boolean;
  mouseReleased(button: number): boolean;
  /** Of controller `id`, or of any controller when left out. */
  buttonDown(button: number, id?: number): boolean;
  buttonPressed(button: number, id?: number): boolean;
  buttonReleased(button: number, id?: number): boolean;
  /** Past the dead zone; without `id`, the strongest of all controllers'. By number (CONTROLLER_AXIS)
   * or name ('pad.leftX', 'pad.leftY', 'pad.rightX', 'pad.rightY', 'pad.triggerLeft', 'pad.triggerRight'). */
  axis(axis: number | string, id?: number): number;
}
