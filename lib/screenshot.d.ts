// Typings of lib/screenshot.js.
/** The window (this process's, else the one titled `title`, default 'Tessimarke') as PNG, by
 * ImageMagick's import and xdotool on an X display; returns the absolute path. */
export function screenshot(file: string, options?: { title?: string }): string;
