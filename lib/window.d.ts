// Typings of the kit's window control (require('tessimarke/host').window).

/** Longest title in bytes of UTF-8. */
export const MAX_TITLE_BYTES: 1024;
/** Largest window side in pixels. */
export const MAX_WINDOW_SIDE: 8192;
/** Smallest render scale. */
export const MIN_RENDER_SCALE: 0.25;
/** Record type of the opt-in mouse wheel. */
export const MOUSE_WHEEL: 1027;

/** Sets the window's title; false when there is no window (after quit). Throws for a bad title. */
export function setTitle(title: string): boolean;
/** Asks for a window (and render) size; it arrives as a windowSize event. False without a window. */
export function setSize(width: number, height: number): boolean;
/** Draws the 3D scene at `scale` (0.25..1) of the window, scaled up; the interface stays sharp. */
export function setRenderScale(scale: number): void;
/** Turns the mouse-wheel records on (or off); readEvents then yields 'mouseWheel' events. */
export function enableWheel(on?: boolean): void;
