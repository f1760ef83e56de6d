// Frame time of Stackmoor in the browser against the native program on the same
// machine, both unpaced (TOLVANE_NO_WAIT), with seed 11 and the screenshot key script;
// the frames the page draws against those the browser shows, at full speed and with the
// processor slowed; and the download size of the page. Run by hand after a build with
// the browser part:
//
//   node bench/web_frame_time.mjs [BUILD]        (BUILD defaults to build/)
//
// The native program runs 100 and 600 frames, and the time per frame is the difference
// over the 500 frames between; the page runs 600 once and stamps each frame as it reaches
// the canvas, and the time is that from frame 100 to frame 600. Either way start-up and
// page loading drop out. The browser is Debian's chromium, headless, with software
// WebGL (SwiftShader), as in the tests; the native program draws with Mesa's software GL
// (SDL_VIDEODRIVER=offscreen).
import {spawnSync} from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import {createRequire} from 'node:module';
import path from 'node:path';
import {fileURLToPath} from 'node:url';

const SOURCE = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
const BUILD = path.resolve(process.argv[2] || path.join(SOURCE, 'build'));
const PAGE = path.join(BUILD, 'web-stackmoor');
const KEYS = path.join(SOURCE, 'tools/screenshot-keys.txt');
const {chromium} = createRequire(path.join(SOURCE, 'tools/web/node_modules/x.js'))('playwright-core');
const FEW = 100, MANY = 600;

function nativeSeconds(frames) {
  const started = process.hrtime.bigint();
  const run = spawnSync(path.join(BUILD, 'stackmoor'), [], {
    cwd: BUILD, stdio: 'ignore',
    env: {...process.env, SDL_VIDEODRIVER: 'offscreen', SDL_AUDIODRIVER: 'dummy', TOLVANE_SEED: '11',
          TOLVANE_FRAMES: String(frames), TOLVANE_INPUT: KEYS, TOLVANE_NO_WAIT: '1'}});
  if (run.status !== 0) throw new Error(`the native program ended with ${run.status}`);
  return Number(process.hrtime.bigint() - started) / 1e9;
}

function serve(root) {
  const types = {'.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm'};
  const server = http.createServer((req, res) => {
    const file = path.resolve(root, decodeURIComponent(new URL(req.url, 'http://x').pathname).slice(1) || 'index.html');
    if (!file.startsWith(root + path.sep) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
      res.writeHead(404);
      res.end();
      return;
    }
    res.writeHead(200, {'Content-Type': types[path.extname(file)] || 'application/octet-stream'});
    fs.createReadStream(file).pipe(res);
  });
  return new Promise(resolve => server.listen(0, '127.0.0.1', () => resolve(server)));
}

// The browser's time a frame: the page records when each frame reaches the canvas (its
// blit into the canvas's own framebuffer), and the time from frame FEW to frame MANY is
// taken, so page loading and start-up drop out without a second run.
function stampFrames() {
  window.frameStamps = [];
  const blit = WebGL2RenderingContext.prototype.blitFramebuffer;
  WebGL2RenderingContext.prototype.blitFramebuffer = function(...args) {
    if (this.getParameter(this.DRAW_FRAMEBUFFER_BINDING) === null) window.frameStamps.push(performance.now());
    return blit.apply(this, args);
  };
}

async function browserFrames(browser, port, frames) {
  const context = await browser.newContext({viewport: {width: 800, height: 600}});
  await context.addInitScript(stampFrames);
  const page = await context.newPage();
  await page.goto(`http://127.0.0.1:${port}/index.html?TOLVANE_SEED=11&TOLVANE_FRAMES=${frames}` +
                  '&TOLVANE_INPUT=keys.txt&TOLVANE_NO_WAIT=1');
  await page.waitForFunction(() => document.title.endsWith(' \u2014 ended'), null, {timeout: 600000});
  const stamps = await page.evaluate(() => window.frameStamps);
  await context.close();
  return stamps;
}

function folderBytes(folder) {
  let total = 0;
  for (const entry of fs.readdirSync(folder, {withFileTypes: true})) {
    const p = path.join(folder, entry.name);
    total += entry.isDirectory() ? folderBytes(p) : fs.statSync(p).size;
  }
  return total;
}

const ms = (few, many) => (1000 * (many - few) / (MANY - FEW)).toFixed(2);

const nFew = nativeSeconds(FEW), nMany = nativeSeconds(MANY);
console.log(`native:  ${FEW} frames ${nFew.toFixed(2)} s, ${MANY} frames ${nMany.toFixed(2)} s: ` +
            `${ms(nFew, nMany)} ms a frame`);

fs.copyFileSync(KEYS, path.join(PAGE, 'keys.txt'));
const server = await serve(PAGE);
// Headless chromium with software WebGL, as in the tests.
const launch = () => chromium.launch({
  executablePath: '/usr/bin/chromium', headless: true,
  args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--no-first-run',
         '--autoplay-policy=no-user-gesture-required'],
});

const browser = await launch();
try {
  const port = server.address().port;
  await browserFrames(browser, port, 10);  // the browser's caches warmed
  const stamps = await browserFrames(browser, port, MANY);
  if (stamps.length < MANY) throw new Error(`the page showed ${stamps.length} frames of ${MANY}`);
  const each = (stamps[MANY - 1] - stamps[FEW - 1]) / (MANY - FEW);
  console.log(`browser: frames ${FEW} to ${MANY} in ${((stamps[MANY - 1] - stamps[FEW - 1]) / 1000).toFixed(2)} s: ` +
              `${each.toFixed(2)} ms a frame, ${(each / Number(ms(nFew, nMany))).toFixed(2)} times the native time`);
} finally {
  await browser.close();
  server.close();
}

// Frames drawn against frames shown: Stackmoor paced as players run it, for a few
// seconds. A frame is drawn when the program copies it to the canvas (a blit into the
// canvas's own framebuffer); it is shown when the browser paints it, which happens once
// per animation frame: an observer's requestAnimationFrame counts the ticks at which the
// canvas holds a frame it did not hold at the tick before. The processor is then slowed
// (Chromium's CPU throttling) as on a slow machine.
function countDrawnFrames() {
  window.framesDrawn = 0;
  const blit = WebGL2RenderingContext.prototype.blitFramebuffer;
  WebGL2RenderingContext.prototype.blitFramebuffer = function(...args) {
    if (this.getParameter(this.DRAW_FRAMEBUFFER_BINDING) === null) ++window.framesDrawn;
    return blit.apply(this, args);
  };
}

async function drawnAndShown(browser, port, slowdown, seconds) {
  const context = await browser.newContext({viewport: {width: 800, height: 600}});
  await context.addInitScript(countDrawnFrames);
  const page = await context.newPage();
  const cdp = await context.newCDPSession(page);
  await page.goto(`http://127.0.0.1:${port}/index.html?TOLVANE_SEED=11&TOLVANE_INPUT=keys.txt`);
  await page.waitForFunction(() => window.framesDrawn > 30, null, {timeout: 120000});
  await cdp.send('Emulation.setCPUThrottlingRate', {rate: slowdown});
  const [drawn, shown] = await page.evaluate(ms => new Promise(resolve => {
    const first = window.framesDrawn;
    let last = first, shown = 0;
    const started = performance.now();
    const tick = now => {
      if (window.framesDrawn !== last) {
        ++shown;
        last = window.framesDrawn;
      }
      if (now - started < ms) requestAnimationFrame(tick);
      else resolve([window.framesDrawn - first, shown]);
    };
    requestAnimationFrame(tick);
  }), seconds * 1000);
  await context.close();
  return [drawn / seconds, shown / seconds];
}

{
  const server = await serve(PAGE);
  const browser = await launch();
  try {
    for (const slowdown of [1, 4, 8]) {
      const [drawn, shown] = await drawnAndShown(browser, server.address().port, slowdown, 8);
      console.log(`frames (processor ${slowdown === 1 ? 'at full speed' : slowdown + ' times slower'}): ` +
                  `${drawn.toFixed(1)} drawn and ${shown.toFixed(1)} shown a second`);
    }
  } finally {
    await browser.close();
    server.close();
  }
}

const files = fs.readdirSync(PAGE).filter(f => f !== 'keys.txt');
const sizes = files.map(f => [f, fs.statSync(path.join(PAGE, f)).isDirectory() ? folderBytes(path.join(PAGE, f))
                                                                                 : fs.statSync(path.join(PAGE, f)).size]);
const total = sizes.reduce((sum, [, n]) => sum + n, 0);
console.log('download: ' + sizes.map(([f, n]) => `${f} ${(n / 1024).toFixed(0)} KiB`).join(', ') +
            `; total ${(total / 1048576).toFixed(2)} MiB`);
