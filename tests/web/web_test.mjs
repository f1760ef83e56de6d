// Tolvane programs in a real browser: Debian's chromium, headless, with software WebGL
// (SwiftShader), the pages served from 127.0.0.1. One case per run:
//
//   node web_test.mjs CASE --modules DIR --build DIR --source DIR
//
//   stackmoor  Stackmoor (seed 11, the screenshot key script, unpaced) reaches frame 600
//              and ends; its canvas is compared with the native program's frame 600
//   keys       keys typed into the page move the probe's square
//   sound      the probe's effect and MIDI music reach the Web Audio graph's output
//   storage    the probe's data file survives a reload of the page
//   example    `tolvanec run --web` makes and serves a BASIC example, which runs
//   drawing    every kind of 2D drawing (drawing.bas) matches the native program's
//              picture, and pixel collisions read the sprites' texels back alike
import {spawn, spawnSync} from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import {createRequire} from 'node:module';
import os from 'node:os';
import path from 'node:path';

import {compareWithBmp, readBmp, writePng} from './frames.mjs';

const args = process.argv.slice(2);
const testCase = args[0];
const opt = name => {
  const i = args.indexOf('--' + name);
  return i >= 0 ? args[i + 1] : undefined;
};
const MODULES = opt('modules'), BUILD = opt('build'), SOURCE = opt('source');
const {chromium} = createRequire(path.join(MODULES, 'x.js'))('playwright-core');
const OUT = path.join(BUILD, 'web-test', testCase);
fs.rmSync(OUT, {recursive: true, force: true});
fs.mkdirSync(OUT, {recursive: true});

const log = (...a) => console.log(`[${testCase}]`, ...a);
function check(ok, what) {
  if (!ok) throw new Error('FAILED: ' + what);
  log('ok:', what);
}

// ---- a static server on 127.0.0.1 ------------------------------------------------------
const TYPES = {'.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm', '.txt': 'text/plain'};
function serve(root) {
  const server = http.createServer((req, res) => {
    const rel = decodeURIComponent(new URL(req.url, 'http://x').pathname).replace(/^\/+/, '') || 'index.html';
    const file = path.resolve(root, rel);
    if (!file.startsWith(path.resolve(root) + path.sep) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
      res.writeHead(404);
      res.end();
      return;
    }
    res.writeHead(200, {'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream'});
    fs.createReadStream(file).pipe(res);
  });
  return new Promise(resolve => server.listen(0, '127.0.0.1', () => resolve(server)));
}

// ---- the browser ----------------------------------------------------------------------------
async function browser() {
  return chromium.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
           '--disable-background-networking', '--disable-component-update', '--disable-sync', '--no-first-run',
           '--disable-quic', '--autoplay-policy=no-user-gesture-required'],
  });
}

async function open(context, url) {
  const page = await context.newPage();
  page.on('console', m => { if (m.type() === 'error') log('console:', m.text()); });
  page.on('pageerror', e => { if (e.message) log('page error:', e.message); });
  await page.goto(url);
  return page;
}

const ended = page => page.waitForFunction(() => document.title.endsWith(' \u2014 ended'), null, {timeout: 240000});

// The canvas as RGBA rows, top row first.
async function canvasPixels(page) {
  return page.evaluate(() => {
    const c = document.getElementById('canvas');
    const copy = document.createElement('canvas');
    copy.width = c.width;
    copy.height = c.height;
    const g = copy.getContext('2d');
    g.drawImage(c, 0, 0);
    return {width: c.width, height: c.height, data: Array.from(g.getImageData(0, 0, c.width, c.height).data)};
  });
}

// ---- the cases ---------------------------------------------------------------------------------
const cases = {
  async stackmoor(b) {
    const root = path.join(BUILD, 'web-stackmoor');
    fs.copyFileSync(path.join(SOURCE, 'tools/screenshot-keys.txt'), path.join(root, 'keys.txt'));
    // The native program's frame 600, the same run.
    const shots = path.join(OUT, 'native');
    const native = spawnSync(path.join(BUILD, 'stackmoor-trace'),
        ['--seed', '11', '--frames', '600', '--input', path.join(SOURCE, 'tools/screenshot-keys.txt'),
         '--shots', shots + ':600'], {env: {...process.env, SDL_VIDEODRIVER: 'offscreen', SDL_AUDIODRIVER: 'dummy'},
                                       stdio: ['ignore', 'ignore', 'inherit']});
    check(native.status === 0, 'the native program ran 600 frames');
    const server = await serve(root);
    const context = await b.newContext({viewport: {width: 800, height: 600}});
    const started = Date.now();
    const page = await open(context, `http://127.0.0.1:${server.address().port}/index.html` +
        '?TOLVANE_SEED=11&TOLVANE_FRAMES=600&TOLVANE_INPUT=keys.txt&TOLVANE_NO_WAIT=1');
    await ended(page);
    log(`600 frames in ${((Date.now() - started) / 1000).toFixed(1)} s (page load included)`);
    check(await page.evaluate(() => window.tolvane.exitCode) === 0, 'the program ended normally at the frame cap');
    const frame = await canvasPixels(page);
    check(frame.width === 640 && frame.height === 480, 'the canvas is 640 x 480');
    writePng(path.join(OUT, 'web-frame-000600.png'), frame);
    await page.screenshot({path: path.join(OUT, 'page.png')});
    const same = compareWithBmp(frame, path.join(shots, 'frame-000600.bmp'), path.join(OUT, 'difference.png'));
    log(`pixels equal to the native frame 600: ${(100 * same.equal).toFixed(2)} % ` +
        `(within 8 per channel: ${(100 * same.close).toFixed(2)} %)`);
    check(same.equal >= 0.99, 'at least 99 % of the pixels equal the native frame');
    server.close();
  },

  async drawing(b) {
    // The native program's third frame.
    const shots = path.join(OUT, 'native');
    const program = path.join(OUT, 'drawing');
    const built = spawnSync(path.join(BUILD, 'compiler/tolvanec'),
        ['build', path.join(SOURCE, 'tests/web/drawing.bas'), '--assets', path.join(BUILD, 'assets'), '-o', program],
        {stdio: ['ignore', 'ignore', 'inherit']});
    check(built.status === 0, 'the native program builds');
    const native = spawnSync(program, [], {
      env: {...process.env, SDL_VIDEODRIVER: 'offscreen', SDL_AUDIODRIVER: 'dummy', TOLVANE_FRAMES: '3',
            TOLVANE_SHOTS: shots + ':3'}, stdio: ['ignore', 'ignore', 'inherit']});
    check(native.status === 0, 'the native program ran 3 frames');
    const server = await serve(path.join(BUILD, 'web-drawing'));
    const context = await b.newContext({viewport: {width: 640, height: 480}});
    const page = await open(context, `http://127.0.0.1:${server.address().port}/index.html?TOLVANE_FRAMES=3`);
    await ended(page);
    const frame = await canvasPixels(page);
    check(frame.width === 320 && frame.height === 240, 'the canvas is 320 x 240');
    writePng(path.join(OUT, 'web-frame-000003.png'), frame);
    const reference = path.join(shots, 'frame-000003.bmp');
    const same = compareWithBmp(frame, reference, path.join(OUT, 'difference.png'));
    log(`pixels equal to the native frame: ${(100 * same.equal).toFixed(2)} % ` +
        `(within 8 per channel: ${(100 * same.close).toFixed(2)} %)`);
    // Filtered texels (stretched, zoomed and turned sprites, textured polygons) and
    // blended colours round differently in the two GL implementations, by a step or two.
    check(same.close >= 0.99, 'at least 99 % of the pixels within 8 per channel of the native frame');
    // The collision boxes: the same answers, and both kinds among them.
    const ref = readBmp(reference);
    const box = (f, x) => Array.from(f.data.slice((232 * f.width + x) * 4, (232 * f.width + x) * 4 + 3)).join(',');
    const answers = [12, 28, 44, 60].map(x => [box(ref, x), box(frame, x)]);
    log('collision boxes (native, browser):', JSON.stringify(answers));
    check(answers.every(([n, w]) => n === w), 'every pixel collision gives the native answer');
    check(answers.some(([n]) => n === '0,255,0') && answers.some(([n]) => n === '0,0,255'),
          'contacts and misses are both among them');
    server.close();
  },

  async keys(b) {
    const server = await serve(path.join(BUILD, 'web-probe'));
    const context = await b.newContext({viewport: {width: 640, height: 480}});
    const page = await open(context, `http://127.0.0.1:${server.address().port}/index.html`);
    await page.waitForFunction(() => document.title === 'Web probe', null, {timeout: 60000});
    // The square's left edge on its middle row (only that row is read: on a loaded
    // machine the whole canvas takes long to come back).
    const squareX = async () => page.evaluate(() => {
      const c = document.getElementById('canvas');
      const copy = document.createElement('canvas');
      copy.width = c.width;
      copy.height = c.height;
      copy.getContext('2d').drawImage(c, 0, 0);
      const row = copy.getContext('2d').getImageData(0, 110, c.width, 1).data;
      for (let x = 0; x < c.width; ++x)
        if (row[4 * x] < 40 && row[4 * x + 1] > 200 && row[4 * x + 2] < 40) return x;
      return -1;
    });
    await page.waitForTimeout(500);
    const before = await squareX();
    check(before === 100, `the square starts at x 100 (${before})`);
    await page.click('#canvas');
    // A key is held until the program has seen it: on a loaded machine a frame can take
    // longer than a quick press.
    const hold = async (key, moved) => {
      await page.keyboard.down(key);
      let x = await squareX();
      for (let t = 0; t < 100 && !moved(x); ++t) {
        await page.waitForTimeout(100);
        x = await squareX();
      }
      await page.keyboard.up(key);
      return x;
    };
    const right = await hold('ArrowRight', x => x > before + 10);
    check(right > before + 10, `Right held moves the square right (${before} -> ${right})`);
    const left = await hold('ArrowLeft', x => x >= 0 && x < right - 10);
    check(left >= 0 && left < right - 10, `Left held moves it back left (${right} -> ${left})`);
    // Held for a few frames, as a hand does: a press and release within one frame is
    // never seen held.
    await page.keyboard.down('Escape');
    await page.waitForTimeout(300);
    await page.keyboard.up('Escape');
    await ended(page);
    check(true, 'Escape ends the program');
    server.close();
  },

  async sound(b) {
    const server = await serve(path.join(BUILD, 'web-probe'));
    const context = await b.newContext();
    const page = await open(context, `http://127.0.0.1:${server.address().port}/index.html`);
    await page.waitForFunction(() => window.tolvane && window.tolvane.tolvaneAudio, null, {timeout: 60000});
    // The loudest moment of each bus over a while: the effect plays every half second,
    // the music once the synthesizer has its soundfont.
    const heard = {effects: 0, music: 0};
    for (let t = 0; t < 300 && (heard.effects < 0.01 || heard.music < 0.01); ++t) {
      const now = await page.evaluate(() => ({effects: window.tolvane.tolvaneAudio.level('effects'),
                                               music: window.tolvane.tolvaneAudio.level('music')}));
      heard.effects = Math.max(heard.effects, now.effects);
      heard.music = Math.max(heard.music, now.music);
      await page.waitForTimeout(100);
    }
    log(`loudest (RMS): effects ${heard.effects.toFixed(4)}, music ${heard.music.toFixed(4)}`);
    check(heard.effects >= 0.01, 'the sound effect is heard');
    check(heard.music >= 0.01, 'the MIDI music is heard');
    server.close();
  },

  async storage(b) {
    const server = await serve(path.join(BUILD, 'web-probe'));
    const context = await b.newContext();
    const url = `http://127.0.0.1:${server.address().port}/index.html?TOLVANE_FRAMES=10`;
    const visits = async page => page.evaluate(
        () => window.tolvane.FS.readFile('/tolvane/probe/visits.dat', {encoding: 'utf8'}).split(/\r?\n/)[0]);
    const page = await open(context, url);
    await ended(page);
    let n = await visits(page);
    check(n === '1', `the first visit writes 1 (${n})`);
    await page.reload();
    await ended(page);
    n = await visits(page);
    check(n === '2', `after a reload the program read 1 back and wrote 2 (${n})`);
    await page.close();
    const again = await open(context, url);
    await ended(again);
    n = await visits(again);
    check(n === '3', `a new visit of the page finds it too (${n})`);
    server.close();
  },

  async example(b) {
    const cache = path.join(OUT, 'cache');
    const tolvanec = spawn(path.join(BUILD, 'compiler/tolvanec'),
        ['run', '--web', path.join(SOURCE, 'examples/pathfind.bas')], {env: {...process.env, XDG_CACHE_HOME: cache}, stdio: ['ignore', 'pipe', 'inherit']});
    const address = await new Promise((resolve, reject) => {
      let text = '';
      tolvanec.stdout.on('data', d => {
        text += d;
        const m = text.match(/http:\/\/127\.0\.0\.1:\d+\//);
        if (m) resolve(m[0]);
      });
      tolvanec.on('exit', code => reject(new Error('tolvanec ended with ' + code + ': ' + text)));
    });
    log('tolvanec serves at', address);
    try {
      const context = await b.newContext();
      const page = await open(context, address + '?TOLVANE_FRAMES=30&TOLVANE_NO_WAIT=1');
      await ended(page);
      check(await page.evaluate(() => window.tolvane.exitCode) === 0, 'the example ran 30 frames and ended');
      const frame = await canvasPixels(page);
      writePng(path.join(OUT, 'pathfind.png'), frame);
      check(frame.data.some((v, i) => i % 4 !== 3 && v > 0), 'it drew something');
    } finally {
      tolvanec.kill();
    }
  },
};

const run = cases[testCase];
if (!run) {
  console.error('unknown case ' + testCase);
  process.exit(2);
}
const b = await browser();
try {
  await run(b);
  log('passed');
} catch (e) {
  console.error(`[${testCase}]`, e.message);
  process.exitCode = 1;
} finally {
  await b.close();
  // Servers and the child tolvanec go with the process.
  process.exit(process.exitCode || 0);
}
