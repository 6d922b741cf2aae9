// Typings of lib/buffers.js: the fixed shared blocks.
import * as addonExports from './index';

export const HEADER_BUFFER: 0, POOL_BUFFER: 1, COMMAND_BUFFER: 2, RESULT_BUFFER: 3, EVENT_BUFFER: 4,
  DEBUG_BUFFER: 5, USB_BUFFER: 6, STRING_BUFFER: 7;
export const BUFFER_COUNT: 256;
export const ADAPTER_REPORT_SIZE: 37;

/** Byte sizes of the fixed blocks 0-7. */
export interface BufferSizes {
  /** 1024 (at least: a fill length for each of the 256 ids). */
  header: number;
  /** 4096; the last byte is never handed out. */
  pool: number;
  /** 65536 (8192 words), a multiple of 8. */
  command: number;
  /** 65536, a multiple of 8: one result per command word. */
  result: number;
  /** 65536. */
  event: number;
  /** 16. */
  debug: number;
  /** 64 (at least 37, one adapter report). */
  usb: number;
  /** 65536: the UTF-8 text of one step. */
  string: number;
}
export const DEFAULT_SIZES: Readonly<BufferSizes>;

export interface Block { buffer: ArrayBuffer; id: number; }

export class SharedBuffers {
  constructor(options?: { sizes?: Partial<BufferSizes> });
  readonly addon: typeof addonExports;
  readonly sizes: Readonly<BufferSizes>;
  readonly blocks: Record<keyof BufferSizes, ArrayBuffer>;
  readonly header: Uint32Array;
  readonly commandWords: Float64Array;
  readonly resultWords: Float64Array;
  readonly events: Uint8Array;
  readonly debug: Uint8Array;
  /** The adapter's latest report after pollUSB. */
  readonly usb: Uint8Array;
  readonly strings: Uint8Array;
  /** Every further block made through this object, kept alive with it. */
  readonly kept: ArrayBuffer[];
  lenBuffer(id: number): number;
  setLenBuffer(id: number, length: number): void;
  nextBuffer(size: number): Block;
  nextPool(length: number): Block;
  /** Bit 0 of DEBUG_BUFFER: the G-buffer thumbnails. */
  debugView: boolean;
  /** Called with the new size by readEvents for each window size record (the Graphics object's interface transform). */
  readonly sizeListeners: Array<(width: number, height: number) => void>;
}
/** Creates the fixed blocks 0-7 (once per process). Unknown option or size names throw. */
export function createBuffers(options?: { sizes?: Partial<BufferSizes> }): SharedBuffers;

