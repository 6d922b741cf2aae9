'use strict';
// The extensions from a real host under a private X server: window title and size measured from
// outside, the render scale on screen and its frame-time figure, the opt-in wheel record; the
// listener and music through OpenAL Soft's wave writer; the sprite atlas on screen.
const test = require('node:test');
const assert = require('node:assert/strict');
const { startXvfb, assertOk } = require('./harness');
const { startInteractive, findWindow, windowInfo, xdotool, x } = require('./window-helpers');
const { screenshot, assertPixel } = require('./render-helpers');

let xs;
test.before(async () => { xs = await startXvfb(); });
test.after(() => xs.stop());

const LP = { LP_NUM_THREADS: '0' };

// The id of the window titled exactly `title`.
async function windowNamed(title) {
  const out = await x(xs.display, 'xdotool', ['search', '--name', `^${title}$`]);
  return out.trim().split('\n').filter(Boolean).pop();
}

test('window: title and size from outside, render scale on screen, after quit every call answers', { timeout: 240000 }, async (t) => {
  const host = startInteractive('extensions.js', [], { display: xs.display, audio: 'null', env: LP });
  await host.next();
  assert.deepEqual(await host.request({ op: 'setup' }), [1400, 800]);
  const id = await findWindow(xs.display);

  assert.equal(await host.request({ op: 'title', title: 'Arena 3' }), true);
  assert.equal(await windowNamed('Arena 3'), id);
  assert.equal((await windowInfo(xs.display, id)).title, 'Arena 3');

  const sized = await host.request({ op: 'size', width: 700, height: 400 });
  assert.equal(sized.asked, true);
  assert.deepEqual(sized.seen.at(-1), [700, 400]);
  assert.deepEqual(sized.size, [700, 400]);
  const info = await windowInfo(xs.display, id);
  assert.deepEqual([info.width, info.height], [700, 400]);
  assert.ok(host.takeLines().includes('resized 700x400'));

  // Out of range: the addon answers -1 and changes nothing.
  for (const [name, args] of [['setWindowSize', [0, 400]], ['setWindowSize', [700, 8193]], ['setWindowSize', ['NaN', 5]],
    ['setRenderScale', [0.2]], ['setRenderScale', [1.5]], ['setRenderScale', ['NaN']],
    ['setWindowTitle', ['x'.repeat(1025)]], ['setWindowTitle', ['a\0b']]]) {
    assert.equal(await host.request({ op: 'raw', name, args }), -1, `${name}(${args})`);
  }
  assert.equal(await host.request({ op: 'raw', name: 'enableEvent', args: [1024, true] }), 0);

  // Half scale: the scene still covers the whole window, the interface square is drawn at the
  // window's own pixels. Full scale for comparison.
  const figures = {};
  for (const scale of [1, 0.5]) {
    const f = await host.request({ op: 'frames', scale, count: 6, ssao: 3 });
    figures[scale] = f.ms;
    const shot = await screenshot(xs.display, id);
    assert.equal(shot.width, 700);
    assertPixel(shot, 40, 40, [0, 0, 255], 2, `interface square at scale ${scale}`);
    assertPixel(shot, 61, 40, shot.pixel(75, 40), 40, `beside the square at scale ${scale}`);
    const box = shot.pixel(...f.box), floor = shot.pixel(...f.floor);
    assert.ok(box[0] > box[1] + 40, `box red at scale ${scale}: ${box}`);
    assert.ok(Math.abs(floor[0] - floor[1]) < 25 && floor[0] > 40, `floor grey at scale ${scale}: ${floor}`);
  }
  t.diagnostic(`frame time at 700x400, ssao 3: scale 1 ${figures[1].toFixed(1)} ms, scale 0.5 ${figures[0.5].toFixed(1)} ms, ratio ${(figures[0.5] / figures[1]).toFixed(2)}`);
  // The host may write anything into the size pair: scaled sizes saturate (the sanitized build
  // reports any conversion that overflows), and drawing goes on once the pair is sane again.
  for (const [scale, pair] of [[0.6, ['NaN', 'NaN']], [0.7, [1e30, -1e30]], [0.5, [1e9, 3]]]) {
    await host.request({ op: 'frames', scale, count: 1, pair });
  }
  await host.request({ op: 'frames', scale: 1, count: 1, pair: [700, 400] });
  assertPixel(await screenshot(xs.display, id), 40, 40, [0, 0, 255], 2, 'interface square after wild sizes');

  const end = await host.request({ op: 'quit' });
  assert.deepEqual([end.after.title, end.after.size, end.after.scale, end.after.wheel], [1, 1, 0, 1]);
  assertOk(await host.done);
});

test('wheel: the log line by default, records once enabled, the log line again once disabled', { timeout: 120000 }, async () => {
  const host = startInteractive('extensions.js', [], { display: xs.display, audio: 'null', env: LP });
  await host.next();
  await host.request({ op: 'setup' });
  const id = await findWindow(xs.display);
  await xdotool(xs.display, 'mousemove', '--window', id, '100', '100');
  const pollFor = async (type) => {
    for (let i = 0; i < 200; ++i) {
      const events = (await host.request({ op: 'poll' })).filter((e) => e.type === type);
      if (events.length) return events;
    }
    throw new Error(`no ${type} event`);
  };
  await pollFor('mouseMove');
  host.takeLines();

  await xdotool(xs.display, 'click', '4', 'mousemove', '--window', id, '101', '100');
  await pollFor('mouseMove');
  assert.ok(host.takeLines().includes('got other SDL event: 1027'));

  await host.request({ op: 'wheel', on: true });
  await xdotool(xs.display, 'click', '4', 'click', '5', 'click', '5');
  const wheel = [];
  while (wheel.length < 3) wheel.push(...await pollFor('mouseWheel'));
  assert.deepEqual(wheel.map(({ x: wx, y, preciseX, preciseY, flipped }) => [wx, y, preciseX, preciseY, flipped]),
    [[0, 1, 0, 1, false], [0, -1, 0, -1, false], [0, -1, 0, -1, false]]);
  assert.ok(!host.takeLines().includes('got other SDL event: 1027'));

  await host.request({ op: 'wheel', on: false });
  await xdotool(xs.display, 'click', '4', 'mousemove', '--window', id, '102', '100');
  await pollFor('mouseMove');
  assert.ok(host.takeLines().includes('got other SDL event: 1027'));
  await host.request({ op: 'quit' });
  assertOk(await host.done);
});

// --- sound: listener and music, captured by the wave writer ---------------------------------------

const fs = require('node:fs');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
const { tempDir, readWav, rms, pitch, onset, waveConf, runPlan } = require('./audio-helpers');

// Left and right levels over [from, to) seconds.
function balance(wav, from, to) {
  const level = (ch) => {
    const a = Math.floor(from * wav.rate), b = Math.min(wav.frames, Math.floor(to * wav.rate));
    let sum = 0;
    for (let i = a; i < b; i++) sum += ch[i] * ch[i];
    return Math.sqrt(sum / Math.max(1, b - a));
  };
  return [level(wav.samples[0]), level(wav.samples[1])];
}

// Runs a plan with the wave writer, dry (no reverb tail), and returns the plan's values and times
// with the captured wave.
async function capture(plan) {
  const dir = tempDir('tm-ext-');
  const wave = path.join(dir, 'out.wav');
  const conf = waveConf(dir, wave, { excludefx: 'eaxreverb' });
  const run = await runPlan(plan, { display: xs.display, audio: null, env: { ALSOFT_CONF: conf } });
  assertOk(run.result);
  return { ...run, wav: readWav(wave), dir };
}

test('listener: world sounds pan as the listener turns and moves; relative sounds do not', async () => {
  const tone = { op: 'initALBuffer', id: 0, pcm: { freq: 440, seconds: 0.25 }, format: 4353, rate: 44100 };
  const at = (x) => [17, 0, 1, 1, x, 0, 0];
  const { value, t, wav } = await capture([
    { name: 'tone', ...tone },
    { name: 'right', op: 'commands', words: [15, 0, 0, 0, 0, 0, -1, ...at(2), 15, 0, 0, 0, 0, 0, 0] },
    { name: 'w1', op: 'ticks', ms: 700 },
    { name: 'turned', op: 'commands', words: [15, 0, 0, 0, 0, 0, 1, ...at(2)] },
    { name: 'w2', op: 'ticks', ms: 700 },
    { name: 'relative', op: 'commands', words: [1, 0, 1, 1, 2, 0, 0] },
    { name: 'w3', op: 'ticks', ms: 700 },
    { name: 'moved', op: 'commands', words: [15, 4, 0, 0, 0, 0, -1, 16, 0, 1, 0, ...at(2)] },
    { name: 'w4', op: 'ticks', ms: 700 },
    { name: 'quit', op: 'quit' },
    { name: 'afterQuit', op: 'commands', words: [15, 0, 0, 0, 0, 0, -1, 16, 0, 1, 0, ...at(1)] },
  ]);
  // After quit nothing is played and nothing fails: no context for the listener, no source.
  assert.deepEqual([value.afterQuit[0], value.afterQuit[7], value.afterQuit[11]], [1, 1, 0]);
  assert.equal(value.right[0], 0);
  assert.ok(value.right[7] > 0, 'world sound got a source');
  assert.equal(value.right[14], 1, 'a zero direction is refused');
  assert.ok(value.relative[0] > 0 && value.moved[11] > 0);
  // Each play starts where the host issued it, shifted by the device's start.
  const shift = onset(wav, 0.02) - t.right;
  const sides = ['right', 'turned', 'relative', 'moved'].map((name) => {
    const [l, r] = balance(wav, t[name] + shift + 0.05, t[name] + shift + 0.2);
    return { name, l, r };
  });
  const expected = { right: 'R', turned: 'L', relative: 'R', moved: 'L' };
  for (const { name, l, r } of sides) {
    assert.ok(l + r > 0.05, `${name}: no sound (${l}, ${r})`);
    const side = r > 2 * l ? 'R' : l > 2 * r ? 'L' : '?';
    assert.equal(side, expected[name], `${name}: left ${l.toFixed(3)} right ${r.toFixed(3)}`);
  }
});

// An Ogg file of 1 s at 440 Hz then 1 s at 880 Hz.
function twoTones(dir) {
  const part = (freq) => {
    const f = path.join(dir, `t${freq}.wav`);
    execFileSync('sox', ['-R', '-n', '-r', '44100', '-c', '1', '-b', '16', f, 'synth', '1', 'sine', String(freq), 'vol', '0.5']);
    return f;
  };
  const wav = path.join(dir, 'two.wav');
  execFileSync('sox', [part(440), part(880), wav]);
  const ogg = path.join(dir, 'two.ogg');
  execFileSync('oggenc', ['-Q', '-s', '7', '-q', '4', '-o', ogg, wav]);
  return ogg;
}

test('music: streamed with a loop, survives a stall, stops with stop all; unreadable files answer', async () => {
  const dir = tempDir('tm-music-');
  const ogg = twoTones(dir);
  const text = path.join(dir, 'notes.ogg');
  fs.writeFileSync(text, 'not a Vorbis stream\n'.repeat(20));
  const { value, t, wav, result } = await capture([
    { name: 'play', op: 'call', fn: 'playMusic', args: [ogg, 1, 1.0, 2.0] },
    { name: 'run', op: 'ticks', ms: 3200 },
    { name: 'stall', op: 'sleep', ms: 2200 },
    { name: 'again', op: 'ticks', ms: 1000 },
    { name: 'stopAll', op: 'commands', words: [5] },
    { name: 'after', op: 'ticks', ms: 600 },
    { name: 'missing', op: 'call', fn: 'playMusic', args: [path.join(dir, 'none.ogg'), 1, -1, 0] },
    { name: 'notVorbis', op: 'call', fn: 'playMusic', args: [text, 1, -1, 0] },
    { name: 'badLoop', op: 'call', fn: 'playMusic', args: [ogg, 1, 2, 1] },
    { name: 'badGain', op: 'call', fn: 'playMusic', args: [ogg, -1, -1, 0] },
    { name: 'stopNone', op: 'call', fn: 'stopMusic', args: [] },
    { name: 'quit', op: 'quit' },
  ]);
  assert.ok(value.play > 0, `music source ${value.play}`);
  assert.deepEqual([value.missing, value.notVorbis, value.badLoop, value.badGain, value.stopNone], [-1, -132, -131, -131, 1]);
  assert.match(result.stderr, /^Music file cannot be read: -1 - .*none\.ogg$/m);
  const start = onset(wav, 0.02);
  const at = (name) => t[name] - t.play + start;
  // First pass 440 then 880; after the loop end it goes back to 1.0 s: 880 again, never 440.
  const hz = (a, b) => Math.round(pitch(wav, start + a, start + b));
  assert.ok(Math.abs(hz(0.2, 0.8) - 440) < 5, `first second ${hz(0.2, 0.8)}`);
  for (const [a, b] of [[1.2, 1.8], [2.2, 2.8]]) assert.ok(Math.abs(hz(a, b) - 880) < 8, `${a}-${b} s: ${hz(a, b)}`);
  // The stall outlasts the ring: silence before the host ticks again, then the music goes on.
  assert.ok(rms(wav, at('again') - 0.5, at('again') - 0.05) < 0.002, 'silent at the end of the stall');
  assert.ok(rms(wav, at('again') + 0.2, at('stopAll') - 0.05) > 0.1, 'playing again after the stall');
  assert.ok(rms(wav, at('stopAll') + 0.1, at('quit') - 0.05) < 0.002, 'silent after stop all');
});

// --- outlined text ---------------------------------------------------------------------------------

test('text: an outline rings only its own glyph, in both faces at 16-64 px', { timeout: 120000 }, async () => {
  const host = startInteractive('extensions.js', [], { display: xs.display, audio: 'null', env: LP });
  await host.next();
  await host.request({ op: 'setup' });
  const id = await findWindow(xs.display);
  const lines = await host.request({ op: 'outlined' });
  const shot = await screenshot(xs.display, id);
  const ink = (p) => p[0] > 200 && p[1] > 200 && p[2] > 200;
  const outline = (p) => p[0] > 150 && p[1] < 90 && p[2] < 100;
  const REACH = 3;  // the ring is about two pixels wide; one more for the edge of the ink
  let rings = 0;
  const far = [];
  for (const [x0, y0, x1, y1] of lines) {
    for (let y = Math.max(0, y0); y < y1; ++y) {
      for (let x = x0; x < x1; ++x) {
        if (!outline(shot.pixel(x, y))) continue;
        ++rings;
        let near = false;
        for (let dy = -REACH; dy <= REACH && !near; ++dy) {
          for (let dx = -REACH; dx <= REACH && !near; ++dx) near = ink(shot.pixel(x + dx, y + dy));
        }
        if (!near) far.push([x, y]);
      }
    }
  }
  assert.ok(rings > 500, `outlines drawn: ${rings} pixels`);
  assert.deepEqual(far.slice(0, 10), [], `${far.length} outline pixels farther than ${REACH} px from any glyph ink`);
  await host.request({ op: 'quit' });
  assertOk(await host.done);
});

// --- images ----------------------------------------------------------------------------------------
const { damagedImages } = require('./image-corpus');
const { timeScale, sanitized } = require('./harness');

test('images: damaged and hostile files get their status in bounded time and memory', { timeout: 240000 }, async () => {
  const dir = tempDir('tm-image-corpus-');
  const make = (name, args) => {
    const f = path.join(dir, name);
    execFileSync('convert', [...args.slice(0, -1), args.at(-1) + f]);
    return fs.readFileSync(f);
  };
  const sources = {
    png: [make('a.png', ['-size', '16x12', 'gradient:red-blue', 'PNG32:']), make('b.png', ['-size', '9x5', 'xc:green', 'PNG8:']),
      make('c.png', ['-size', '7x7', 'gradient:', '-depth', '16', '-interlace', 'PNG', 'PNG48:'])],
    jpeg: [make('a.jpg', ['-size', '16x16', 'gradient:red-blue', '']), make('b.jpg', ['-size', '24x8', 'gradient:', '-interlace', 'JPEG', ''])],
  };
  const corpus = damagedImages(sources, 150, 19);
  const files = corpus.map((c, i) => { const f = path.join(dir, `${i}.img`); fs.writeFileSync(f, c.bytes); return f; });
  const host = startInteractive('extensions.js', [], { display: xs.display, audio: 'null', env: LP });
  await host.next();
  await host.request({ op: 'setup' });
  const r = await host.request({ op: 'loadFiles', files });
  corpus.forEach((c, i) => {
    const [status, ms] = r.results[i];
    if (c.status === null) assert.ok([0, 3, 4].includes(status), `${c.name}: status ${status}`);
    else assert.equal(status, c.status, c.name);
    assert.ok(ms < 1000 * timeScale, `${c.name}: ${ms.toFixed(0)} ms`);
  });
  // Every decoded image here is tiny: the peak may grow by the decoders' working memory only.
  if (!sanitized) assert.ok(r.peakGrowthMb < 64, `peak memory grew ${r.peakGrowthMb} MiB`);
  await host.request({ op: 'quit' });
  assertOk(await host.done);
});

test('images: an id replaced thousands of times by other shapes gives its place back', { timeout: 180000 }, async () => {
  const host = startInteractive('extensions.js', [], { display: xs.display, audio: 'null', env: LP });
  await host.next();
  await host.request({ op: 'setup' });
  const r = await host.request({ op: 'churn', count: 2000, a: [300, 8], b: [8, 300], last: 1024 });
  assert.deepEqual(r, { refused: [], last: 0 });
  await host.request({ op: 'quit' });
  assertOk(await host.done);
});

test('images: a textured cube and an interface sprite on screen; refusals answered; after quit too', { timeout: 180000 }, async () => {
  const dir = tempDir('tm-images-');
  const png = path.join(dir, 'checker.png');
  execFileSync('convert', ['-size', '16x32', 'xc:#00ff00', '-size', '16x32', 'xc:#0000ff', '+append', png]);
  const jpeg = path.join(dir, 'photo.jpg');
  execFileSync('convert', ['-size', '24x20', 'xc:#ff00ff', jpeg]);
  // A PNG header announcing 5000 x 5000: refused before anything decodes it.
  const fake = path.join(dir, 'huge.png');
  const ihdr = Buffer.alloc(33);
  Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0, 0, 0, 13, 0x49, 0x48, 0x44, 0x52]).copy(ihdr);
  ihdr.writeUInt32BE(5000, 16); ihdr.writeUInt32BE(5000, 20);
  fs.writeFileSync(fake, ihdr);
  const text = path.join(dir, 'notes.png');
  fs.writeFileSync(text, 'not an image\n');

  const host = startInteractive('extensions.js', [], { display: xs.display, audio: 'null', env: LP });
  await host.next();
  await host.request({ op: 'setup' });
  const id = await findWindow(xs.display);
  const r = await host.request({ op: 'images', png, jpeg, fake, text });
  assert.deepEqual([r.checker.width, r.checker.height, r.photo.width, r.photo.height, r.flag.width, r.flag.height],
    [32, 32, 24, 20, 16, 16]);
  // Places do not overlap (each keeps its gutter) and lie inside the atlas.
  const rects = [r.checker, r.photo, r.flag];
  for (const a of rects) {
    assert.ok(a.x >= 1 && a.y >= 1 && a.x + a.width < 2048 && a.y + a.height < 2048);
    for (const b of rects) {
      if (a === b) continue;
      assert.ok(a.x + a.width < b.x || b.x + b.width < a.x || a.y + a.height < b.y || b.y + b.height < a.y, 'overlap');
    }
  }
  assert.deepEqual(r.status, { missing: 2, directory: 2, text: 3, huge: 4, short: 6, empty: 4, full: 5 });
  assert.equal(r.first[0], 0);
  assert.deepEqual(r.again, [0, r.first[1], r.first[2], 8, 8], 'a smaller image keeps its place');
  assert.equal(r.thrown[0], 2);
  assert.match(r.thrown[1], /^image missing \(\/nonexistent\/none\.png\): the file cannot be read$/);

  const shot = await screenshot(xs.display, id);
  const dominant = (p) => ['r', 'g', 'b'][p.indexOf(Math.max(...p))];
  assert.equal(dominant(shot.pixel(...r.left)), 'g', `top face, left half: ${shot.pixel(...r.left)}`);
  assert.equal(dominant(shot.pixel(...r.right)), 'b', `top face, right half: ${shot.pixel(...r.right)}`);
  assert.equal(dominant(shot.pixel(...r.front)), 'g', `front face: ${shot.pixel(...r.front)}`);
  const pane = shot.pixel(...r.pane);
  assert.ok(pane[0] > pane[1] + 15 && pane[2] > pane[1] + 15, `transparent pane shows the photo's magenta: ${pane}`);
  const floor = shot.pixel(...r.floor);
  assert.ok(Math.abs(floor[0] - floor[1]) < 25 && Math.abs(floor[1] - floor[2]) < 25, `untextured floor stays grey: ${floor}`);
  // The sprite: top half red, bottom half blue, exactly (the interface is not lit).
  assertPixel(shot, 132, 110, [255, 0, 0], 2, 'sprite top');
  assertPixel(shot, 132, 154, [0, 0, 255], 2, 'sprite bottom');

  const end = await host.request({ op: 'quit' });
  assert.deepEqual([end.after.image, end.after.pixels], [[1, 0, 0, 0, 0], [1, 0, 0, 0, 0]]);
  assert.deepEqual([end.after.music, end.after.stopMusic], [-1, 1]);
  assertOk(await host.done);
});

// --- the kit's checks ------------------------------------------------------------------------------

test('kit: misuse of the extension helpers throws before the addon is reached', () => {
  // Each case throws in the kit; none loads the addon (which would need the display).
  const kitWindow = require('../../lib/window');
  const music = require('../../lib/music');
  const textures = require('../../lib/textures');
  const { CommandWriter } = require('../../lib/host');
  const writer = Object.create(CommandWriter.prototype);
  const cases = [
    [() => kitWindow.setTitle(5), TypeError, /title must be a string/],
    [() => kitWindow.setTitle('a\0b'), RangeError, /NUL/],
    [() => kitWindow.setTitle('é'.repeat(513)), RangeError, /at most 1024 bytes of UTF-8, got 1026/],
    [() => kitWindow.setSize(0, 10), RangeError, /width must be in 1\.\.8192, got 0/],
    [() => kitWindow.setSize(10, 1.5), TypeError, /height must be an integer/],
    [() => kitWindow.setRenderScale(0.1), RangeError, /render scale must be in 0\.25\.\.1/],
    [() => music.play('a.ogg', { loopStart: 2, loopEnd: 1 }), RangeError, /loop end 1 must come after loop start 2/],
    [() => music.play('a.ogg', { gain: -1 }), RangeError, /gain/],
    [() => music.play('x'.repeat(4097)), RangeError, /at most 4096 bytes/],
    [() => writer.listener([0, 0, 0], [0, 0, 0]), RangeError, /direction must not be zero/],
    [() => writer.listener([0, NaN, 0], [0, 0, 1]), TypeError, /position must hold 3 finite numbers/],
    [() => writer.playAt(256), RangeError, /sound id/],
    [() => textures.fromPixels('a', new Uint8Array(15), 2, 2), RangeError, /16 bytes/],
    [() => textures.fromPixels('a', new Uint8Array(0), 0, 2), RangeError, /width must be in 1\.\.2046/],
    [() => textures.load('', 'a.png'), TypeError, /non-empty string/],
    [() => textures.texel('nothing', 0, 0), RangeError, /no image named nothing/],
  ];
  for (const [call, type, message] of cases) assert.throws(call, (e) => e instanceof type && message.test(e.message), String(call));
});
