// Typings of lib/screenshot.js: screenshots read back by the addon from the frame it draws.

/** Draws one frame of what the batches hold and writes it to `file` as PNG; the absolute path.
 * Throws (code ERR_STATE) without a window, or (ERR_FILE) when the file cannot be written. */
export function screenshot(file: string, options?: { title?: string }): string;
/** Asks for the next frame the renderer draws at `file`; the absolute path. */
export function requestScreenshot(file: string): string;
/** After that frame: the path, or a throw when the file was not written. */
export function checkScreenshot(file: string): string;
