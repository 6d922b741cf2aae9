// Typings of lib/clipboard.js.
/** Puts text on the clipboard (at the next poll): 0, or negative when refused. */
export function copy(text: string): number;
/** The clipboard's text, '' when none. */
export function paste(): string;
