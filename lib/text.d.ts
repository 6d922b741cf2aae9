// Typings of lib/text.js: measuring, wrapping and aligning text.
import { CommandWriter, FontName } from './commands';

export type Align = 'left' | 'center' | 'right';
export const ALIGN: Readonly<{ left: 'left'; center: 'center'; right: 'right' }>;
/** Width in interface pixels of one line at `size` (default 24) in `font` (default 'sans'). */
export function measureText(text: string, size?: number, font?: FontName | 0 | 1 | 2 | 3): number;
/** Where a line starts: within [x, x + boxWidth] by `align`; with boxWidth 0 (default) on the anchor x. */
export function alignX(align: Align, x: number, lineWidth: number, boxWidth?: number): number;
/** Lines no wider than `width` (0: split at newlines only), broken between words, inside over-long words. */
export function wrapLines(text: string, width: number, measure: (text: string) => number): string[];
export interface LayoutOptions {
  size?: number;
  font?: FontName | 0 | 1 | 2 | 3;
  /** Default 'left'. */
  align?: Align;
  /** Wrap to and align within this width; 0 (default): no wrapping, align on x. */
  width?: number;
  /** Baseline to baseline; default 1.25 times the size. */
  lineHeight?: number;
  /** Default measureText at the size and font. */
  measure?: (text: string) => number;
}
export interface TextLayout {
  lines: Array<{ text: string; x: number; y: number; width: number }>;
  /** The widest line. */
  width: number;
  /** Lines times the line height. */
  height: number;
}
/** Places the lines from the first baseline (x, y). */
export function layoutText(text: string, x: number, y: number, options?: LayoutOptions): TextLayout;
/** layoutText, then one text command per line in the current text colour. */
export function drawText(commands: CommandWriter, text: string, x: number, y: number,
  options?: LayoutOptions & { outline?: boolean }): TextLayout;
