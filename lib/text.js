'use strict';
// Text helpers on top of the addon's measureText and the text command: measuring with the same font
// names as CommandWriter.text, word wrapping to a width, and lines aligned left, centred or right
// within a box (or on an anchor when no width is given). The layout arithmetic takes any measuring
// function, so it runs without the addon too.
const { native } = require('./native');
const { checkNumber, checkString, checkOptions, checkChoice, kitError } = require('./checks');
const { fontFace } = require('./commands');

const ALIGN = Object.freeze({ left: 'left', center: 'center', right: 'right' });
// Baseline-to-baseline distance of wrapped lines, as a multiple of the size, unless given.
const LINE_HEIGHT = 1.25;

// The width in interface pixels of `text` on one line at `size` pixels in `font` ('sans', 'mono',
// 'fallback' or 0-3; default 'sans'), as the text command would lay it out.
function measureText(text, size = 24, font = 'sans') {
  checkString(text, 'text');
  if (checkNumber(size, 'size') <= 0) throw kitError(RangeError, 'ERR_RANGE', `size must be positive, got ${size}`);
  const face = fontFace(font);
  return native().measureText(text, size, face);
}

// Where a line of width `lineWidth` starts: within [x, x + boxWidth] by `align`; with boxWidth 0,
// `x` is where the line starts (left), its middle (center) or its end (right).
function alignX(align, x, lineWidth, boxWidth = 0) {
  switch (checkChoice(align, ALIGN, 'align')) {
    case 'center': return x + (boxWidth - lineWidth) / 2;
    case 'right': return x + boxWidth - lineWidth;
    default: return x;
  }
}

// Splits `text` into lines no wider than `width` by `measure(line)`: at newlines, then between
// words (runs of spaces between two words on different lines are dropped), and a word wider than
// `width` by itself is broken between characters. width 0 only splits at newlines.
function wrapLines(text, width, measure) {
  checkString(text, 'text');
  if (checkNumber(width, 'width') < 0) throw kitError(RangeError, 'ERR_RANGE', `width must be 0 or more, got ${width}`);
  const lines = [];
  for (const paragraph of text.split('\n')) {
    if (width === 0) { lines.push(paragraph); continue; }
    let line = '';
    for (const word of paragraph.split(/ +/)) {
      const candidate = line ? `${line} ${word}` : word;
      if (!line || measure(candidate) <= width) {
        line = candidate;
        if (measure(line) <= width) continue;
      } else {
        lines.push(line);
        line = word;
        if (measure(line) <= width) continue;
      }
      // `line` ends with a word too wide for a line of its own: break it between characters.
      const chars = Array.from(line);
      let start = 0;
      while (start < chars.length) {
        let end = start + 1;
        while (end < chars.length && measure(chars.slice(start, end + 1).join('')) <= width) ++end;
        const piece = chars.slice(start, end).join('');
        if (end === chars.length) line = piece; else lines.push(piece);
        start = end;
      }
    }
    lines.push(line);
  }
  return lines;
}

const LAYOUT_OPTIONS = ['size', 'font', 'align', 'width', 'lineHeight', 'measure'];
const DRAW_OPTIONS = [...LAYOUT_OPTIONS, 'outline'];

// The lines of `text` placed from (x, y) (the first baseline): wrapped to `width` when it is more
// than 0 and aligned within it, else aligned on x. Returns { lines: [{ text, x, y, width }], width,
// height } where width is the widest line and height the lines' count times the line height.
// `measure(text)` defaults to measureText at the size and font.
function layoutText(text, x, y, options) {
  const o = checkOptions(options, LAYOUT_OPTIONS, 'layoutText');
  const { size = 24, font = 'sans', align = 'left', width = 0 } = o;
  checkNumber(x, 'x'); checkNumber(y, 'y');
  if (checkNumber(size, 'size') <= 0) throw kitError(RangeError, 'ERR_RANGE', `size must be positive, got ${size}`);
  const lineHeight = o.lineHeight === undefined ? size * LINE_HEIGHT : checkNumber(o.lineHeight, 'lineHeight');
  checkChoice(align, ALIGN, 'align');
  const measure = o.measure || ((t) => measureText(t, size, font));
  if (typeof measure !== 'function') throw kitError(TypeError, 'ERR_TYPE', 'measure must be a function of the text');
  fontFace(font);
  const lines = [];
  let widest = 0;
  for (const line of wrapLines(text, width, measure)) {
    const w = measure(line);
    widest = Math.max(widest, w);
    lines.push({ text: line, x: alignX(align, x, w, width), y: y + lines.length * lineHeight, width: w });
  }
  return { lines, width: widest, height: lines.length * lineHeight };
}

// Lays out `text` as layoutText does and writes one text command per line through `commands` (a
// CommandWriter), in the current text colour. Options: those of layoutText and `outline`.
function drawText(commands, text, x, y, options) {
  const o = checkOptions(options, DRAW_OPTIONS, 'drawText');
  const { outline = false, ...layout } = o;
  const placed = layoutText(text, x, y, layout);
  const size = o.size === undefined ? 24 : o.size, font = o.font === undefined ? 'sans' : o.font;
  for (const line of placed.lines) if (line.text) commands.text(line.text, line.x, line.y, { size, font, outline });
  return placed;
}

module.exports = { measureText, alignX, wrapLines, layoutText, drawText, ALIGN };
