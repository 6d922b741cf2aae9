// Typings of lib/events.js: the event reader.
import { SharedBuffers } from './buffers';

export const EVENT: Readonly<{
  QUIT: 256; WINDOW_SIZE: 512; KEY_DOWN: 768; KEY_UP: 769; TEXT_INPUT: 771; MOUSE_MOVE: 1024;
  MOUSE_DOWN: 1025; MOUSE_UP: 1026; CONTROLLER_AXIS: 1616; CONTROLLER_BUTTON_DOWN: 1617;
  CONTROLLER_BUTTON_UP: 1618; CONTROLLER_ADDED: 1619; CONTROLLER_REMOVED: 1620; ADAPTER_CONNECTED: 32768;
}>;

export type HostEvent =
  | { type: 'quit'; code: 256 }
  | { type: 'windowSize'; code: 512; width: number; height: number }
  | { type: 'keyDown' | 'keyUp'; code: 768 | 769; scancode: number; key: number; mod: number; repeat: boolean }
  | { type: 'textInput'; code: 771; text: string }
  | { type: 'mouseMove'; code: 1024; x: number; y: number }
  | { type: 'mouseDown' | 'mouseUp'; code: 1025 | 1026; x: number; y: number; button: number }
  /** Only after kit.window.enableWheel(). */
  | { type: 'mouseWheel'; code: 1027; x: number; y: number; preciseX: number; preciseY: number; flipped: boolean }
  | { type: 'controllerAxis'; code: 1616; controller: number; axis: number; value: number }
  | { type: 'controllerButtonDown' | 'controllerButtonUp'; code: 1617 | 1618; controller: number; button: number; pressed: boolean }
  | { type: 'controllerAdded' | 'controllerRemoved'; code: 1619 | 1620; controller: number }
  | { type: 'adapterConnected'; code: 32768 };

/** Registers the decoder of a record type: `size` in bytes, or a function of the record for records
 * that carry their size; `decode` builds the event from the whole record. */
export function defineEventRecord(code: number, record: {
  size: number | ((view: DataView, offset: number, available: number) => number);
  decode: (view: DataView, offset: number, bytes: Uint8Array, code: number) => { type: string; code: number };
}): void;
/** Decodes packed records; throws on an unknown type or a record cut off by `length`. */
export function decodeEvents(bytes: Uint8Array, length?: number, out?: HostEvent[]): HostEvent[];
/** Decodes what the polls queued and empties EVENT_BUFFER; window size records also reach the
 * buffers' sizeListeners (the interface transform follows the window by itself). */
export function readEvents(buffers: SharedBuffers, out?: HostEvent[]): HostEvent[];

