// Tolvane programs in a real browser: Debian's chromium, headless, with software WebGL
// (SwiftShader), the pages served from 127.0.0.1. One case per run:
//
//   node web_test.mjs CASE --modules DIR --build DIR --source DIR
//
//   stackmoor  Stackmoor (seed 11, the screenshot key script, unpaced) reaches frame 600
//              and ends; its canvas is compared with the native program's frame 600
//   keys       keys typed into the page move the probe's square, the mouse its mark, and
//              the keys and the mouse are recorded
//   worker     keys typed into Stackmoor's page move the worker: the keys the page
//              recorded, replayed by the native program, walk the worker, and the native
//              program's last frame is the page's
//   page       where the browser wants a click before sound, the page asks for one and
//              the game starts with it; the canvas is centred and scaled; without WebGL 2
//              the page says so
//   sound      the probe's effect and MIDI music reach the Web Audio graph's output; its
//              looping sound is heard past its length until stopped, while the effect
//              plays on; its console line shows DATE$, TIME$ and RANDOMIZE at work
//   storage    the probe's data file survives a reload of the page; two games of one
//              name on one web site keep their saves apart; a new version of a game,
//              and a game whose page was made before storage names, take the saves over
//   frames     every frame the probe presents is one the browser shows; a hidden page
//              rests (no frames, sound suspended, the clock stands still) and goes on;
//              a busy loop leaves the page its turn
//   absent     networking and other programs answer in the browser as the
//              documentation says: their failure values; a picture given to PLAYMOVIE
//              and a movie found nowhere answer 3; 3D commands with nothing to do
//              answer as on the desktop
//   example    `tolvanec build --web` works in a game folder as `build` does, and
//              `tolvanec run --web` makes and serves a BASIC example, which runs
//   pixels     the pixel cases of tests/pixels/cases.tsv hold on the pages of their
//              programs (draw2d, draw3d, debug3d, the 3D example), as they do
//              natively; each page's last frame matches the native program's
//   touch      the pointer not locked puts the probe's mark on the canvas pixel under
//              it, however the canvas is scaled and placed; locked, it moves it; on a
//              phone a tap is a click there, a drag moves the mark with the button
//              held, and the on-screen keys (only there) are held by fingers
//   net        a page in a session with two desktop programs: messages both ways come
//              once each and in order, also while the host desktop program is killed and
//              the other takes over; alone, the page loses the session. Three pages in a
//              session of tolvane-host get each other's messages, all of them
//   chat       the chat example between a page and a desktop program
//   movie      movies of every container (movie.bas) play their length, letterboxed,
//              turned and widened as on the desktop, in their colours and heard;
//              LOOPMOVIE repeats until a key; a file that is no movie and one found
//              nowhere answer 3 with a warning; unpaced, with key replay, every movie
//              plays once and its pictures are kept as screenshots
//   websocket  the browser runtime's WebSocket endpoint (websocket_endpoint.cpp, its own
//              checks) against a WebSocket server here: echoes whole and in order, close
//              codes both ways, refused text and long messages, dropped connections
//              silent; from a page loaded over https an insecure address gives none
import {spawn, spawnSync} from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import {createRequire} from 'node:module';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';

import {compareWithBmp, readBmp, writePng} from './frames.mjs';
import {consoleLines, desktop, freePort, sessionHost, until} from './sessions.mjs';

const args = process.argv.slice(2);
const testCase = args[0];
const opt = name => {
  const i = args.indexOf('--' + name);
  return i >= 0 ? args[i + 1] : undefined;
};
const MODULES = opt('modules'), BUILD = opt('build'), SOURCE = opt('source');
const {chromium, devices} = createRequire(path.join(MODULES, 'x.js'))('playwright-core');
const OUT = path.join(BUILD, 'web-test', testCase);
fs.rmSync(OUT, {recursive: true, force: true});
fs.mkdirSync(OUT, {recursive: true});

const log = (...a) => console.log(`[${testCase}]`, ...a);
function check(ok, what) {
  if (!ok) throw new Error('FAILED: ' + what);
  log('ok:', what);
}

// Counts the page's requests to lock the pointer (an init script of a context).
function countPointerLocks() {
  window.pointerLocksAsked = 0;
  const ask = HTMLCanvasElement.prototype.requestPointerLock;
  HTMLCanvasElement.prototype.requestPointerLock = function(...args) {
    ++window.pointerLocksAsked;
    return ask.apply(this, args);
  };
}

// Counts the frames the program copies to the canvas: blits into the canvas's own
// framebuffer (an init script of a context).
function countDrawnFrames() {
  window.framesDrawn = 0;
  const blit = WebGL2RenderingContext.prototype.blitFramebuffer;
  WebGL2RenderingContext.prototype.blitFramebuffer = function(...args) {
    if (this.getParameter(this.DRAW_FRAMEBUFFER_BINDING) === null) ++window.framesDrawn;
    return blit.apply(this, args);
  };
}

// The page seems hidden (a tab in the background) or shown again, as the browser says it
// through the page's visibility.
function seemHidden(hidden) {
  Object.defineProperty(document, 'visibilityState', {configurable: true, get: () => (hidden ? 'hidden' : 'visible')});
  Object.defineProperty(document, 'hidden', {configurable: true, get: () => hidden});
  document.dispatchEvent(new Event('visibilitychange'));
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

// A page whose program cannot start (a WebAssembly that does not load, a missing
// function) ends the test at once rather than at a time-out.
const aborted = new WeakMap();
async function open(context, url, setUp) {
  const page = await context.newPage();
  if (setUp) setUp(page);
  let abort;
  aborted.set(page, new Promise((_, reject) => { abort = reject; }));
  aborted.get(page).catch(() => {});
  page.on('console', m => {
    if (m.type() !== 'error') return;
    log('console:', m.text());
    if (m.text().startsWith('Aborted(')) abort(new Error('the program could not run: ' + m.text()));
  });
  page.on('pageerror', e => { if (e.message) log('page error:', e.message); });
  await page.goto(url);
  return page;
}

const waitFor = (page, fn, timeout) => Promise.race([page.waitForFunction(fn, null, {timeout}), aborted.get(page)]);
const ended = page => waitFor(page, () => document.title.endsWith(' \u2014 ended'), 240000);

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

// ---- the probe's picture ----------------------------------------------------------------------
// The square's left edge on its middle row (only that row is read: on a loaded machine
// the whole canvas takes long to come back); -1 when it is not there.
const probeSquareX = page => page.evaluate(() => {
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

// The mouse's mark: its top left pixel, and whether it is magenta (the left button
// down) rather than grey; null when it is not on the canvas.
const probeMark = page => page.evaluate(() => {
  const c = document.getElementById('canvas');
  const copy = document.createElement('canvas');
  copy.width = c.width;
  copy.height = c.height;
  copy.getContext('2d').drawImage(c, 0, 0);
  const d = copy.getContext('2d').getImageData(0, 0, c.width, c.height).data;
  for (let i = 0; i < d.length; i += 4) {
    const grey = d[i] === 128 && d[i + 1] === 128 && d[i + 2] === 128;
    const magenta = d[i] === 255 && d[i + 1] === 0 && d[i + 2] === 255;
    if (grey || magenta) return {x: (i / 4) % c.width, y: Math.floor(i / 4 / c.width), down: magenta};
  }
  return null;
});

// The mark once `ok` holds of it, or as it is after about ten seconds.
async function probeMarkUntil(page, ok) {
  let m = await probeMark(page);
  for (let t = 0; t < 100 && !ok(m); ++t) {
    await page.waitForTimeout(100);
    m = await probeMark(page);
  }
  return m;
}

// The middle of canvas pixel (x, y) on the page, in CSS pixels.
const pageSpot = (page, x, y) => page.evaluate(([x, y]) => {
  const c = document.getElementById('canvas'), r = c.getBoundingClientRect();
  return [r.left + (x + 0.5) * r.width / c.width, r.top + (y + 0.5) * r.height / c.height];
}, [x, y]);

// ---- the cases ---------------------------------------------------------------------------------
// The movies of movie.bas in the order it plays them (each a second long, but the
// loop's 0.6 s), with points of the 320 x 240 canvas in the picture's colour
// (`colour`), black (`black`, around a letterboxed picture) and blue (`blue`: the
// corner square of the turned movie, at the picture's top right once turned).
const MOVIES = [
  {name: 'plain.avi', colour: [200, 80, 40], inside: [[160, 180], [5, 235]], black: []},
  {name: 'wide.mkv', colour: [40, 200, 80], inside: [[160, 200], [20, 40]], black: [[160, 10], [160, 232]]},
  {name: 'small.ogv', colour: [80, 40, 200], inside: [[160, 180], [5, 235]], black: []},
  {name: 'program.mpg', colour: [220, 220, 60], inside: [[160, 180], [300, 230]], black: []},
  // 720 x 576 with pixels 64:45 wide: shown 1024 x 576, so 320 x 180 here.
  {name: 'anamorphic.vob', colour: [60, 160, 220], inside: [[160, 200], [10, 40]], black: [[160, 10], [160, 232]]},
  // 160 x 90 turned a quarter clockwise: 90 x 160, so 135 x 240 from x = 92 on.
  {name: 'turned.mp4', colour: [200, 80, 40], inside: [[160, 200], [100, 30]], black: [[40, 120], [280, 120]],
   blue: [[219, 8]]},
  {name: 'ready.webm', colour: [200, 200, 200], inside: [[160, 180]], black: []},
  {name: 'loop.mkv', colour: [40, 200, 80], inside: [[160, 180]], black: [], seconds: 0.6},
];

// The slope through the points [x, y], robust to a few far off (a picture presented
// late): the median of the slopes between every two points at least `apart` in x.
function slope(points, apart) {
  const slopes = [];
  for (let i = 0; i < points.length; ++i)
    for (let j = i + 1; j < points.length; ++j)
      if (Math.abs(points[j][0] - points[i][0]) >= apart)
        slopes.push((points[j][1] - points[i][1]) / (points[j][0] - points[i][0]));
  slopes.sort((a, b) => a - b);
  return slopes.length ? slopes[slopes.length >> 1] : NaN;
}

// A page of the network test program (tests/web/netpage.bas) in the session at that port,
// with the lines it writes to its console.
async function netPage(context, site, port, args) {
  let said;
  const page = await open(context, `${site}?TOLVANE_NET_PORT=${port}&args=${encodeURIComponent(args)}`,
                          p => { said = consoleLines(p); });
  return {page, said, id: () => (said.find(l => l.startsWith('me ')) || '').slice(3)};
}
const NET_COUNT = 1000;  // the messages the network test page sends
const badLines = said => said.filter(l => l.startsWith('bad') || l === 'lost');

const cases = {
  // Ann hosts the chat example on the desktop and greets whoever comes; a page joins her
  // over WebSocket, says hello and goodbye, which ends the chat for both. Each log holds
  // the other's line.
  chat: async b => {
    const tolvanec = path.join(BUILD, 'compiler/tolvanec');
    const source = path.join(SOURCE, 'examples/chat.bas');
    const native = path.join(OUT, 'chat');
    check(spawnSync(tolvanec, ['build', source, '-o', native], {stdio: ['ignore', 'ignore', 'inherit']}).status === 0 &&
          spawnSync(tolvanec, ['build', '--web', source, '-o', native + '-web'],
                    {stdio: ['ignore', 'ignore', 'inherit']}).status === 0,
          'the chat example builds for the desktop and the browser');
    const port = await freePort();
    const ann = spawn(native, ['host', 'Ann', '--say', 'Hello page', '--log', 'ann.dat'], {
      cwd: OUT, stdio: ['ignore', 'ignore', 'inherit'],
      env: {...process.env, SDL_VIDEODRIVER: 'offscreen', SDL_AUDIODRIVER: 'dummy', TOLVANE_FRAMES: '3600',
            TOLVANE_NET_PORT: String(port)}});
    const annEnded = new Promise(resolve => ann.on('exit', code => resolve(code)));
    try {
      const server = await serve(native + '-web');
      const args = encodeURIComponent('join ws://127.0.0.1 Page --say "Hello Ann" --say /bye --log page.dat');
      const page = await open(await b.newContext(),
                              `http://127.0.0.1:${server.address().port}/index.html?TOLVANE_NET_PORT=${port}&args=${args}`);
      await ended(page);
      const said = await page.evaluate(() => window.tolvane.FS.readFile(
          window.tolvane.programPath.replace(/[^/]*$/, 'page.dat'), {encoding: 'utf8'}).split(/\r?\n/));
      check(said.includes('Ann: Hello page'), 'the page got Ann\'s line: ' + said.slice(1).join(' | '));
      check(await annEnded === 0, 'Ann\'s program ended after the page\'s goodbye');
      const annSaid = fs.readFileSync(path.join(OUT, 'ann.dat'), 'latin1').split(/\r?\n/);
      check(annSaid.includes('Page: Hello Ann') && annSaid.includes('Page ended the chat.'),
            'Ann got the page\'s line and its goodbye: ' + annSaid.slice(1).join(' | '));
    } finally {
      ann.kill('SIGKILL');
    }
  },
  net: async b => {
    const server = await serve(path.join(BUILD, 'web-netpage'));
    const site = `http://127.0.0.1:${server.address().port}/index.html`;
    const context = await b.newContext();
    const N = NET_COUNT;
    {
      const port = await freePort();
      const env = {TOLVANE_NET_PORT: String(port)};
      const hostProgram = desktop(BUILD, env), other = desktop(BUILD, env);
      try {
        check(await hostProgram.ask('host 0 Web') === '1', 'a desktop program hosts the session');
        const a = await hostProgram.ask('create a');
        check(await other.ask(`join 0 Web 127.0.0.1:${port}`) === '1', 'a second desktop program joins it');
        const o = await other.ask('create o');
        const pg = await netPage(context, site, port, 'page 3');
        check(await until(() => pg.id(), 30000), `the page joins over WebSocket and makes a player (${pg.id()})`);
        const p = pg.id();
        await hostProgram.ask(`collect ${a}`);
        await other.ask(`collect ${o}`);
        await hostProgram.ask(`stream ${a} 0 ${N}`);
        await other.ask(`stream ${o} 0 ${N}`);
        check(await until(() => pg.said.includes(`from ${o} 200`) && pg.said.includes(`from ${a} 200`), 30000),
              'the desktop programs\' messages reach the page');
        check(await until(async () => /^(ok|have [1-9])/.test(await other.ask(`check ${o} ${p} ${N}`)), 30000),
              'the page\'s messages reach the desktop programs');
        await hostProgram.kill();
        log('the host is killed');
        let last = '';
        check(await until(async () => (last = await other.ask(`check ${o} ${p} ${N}`)) === 'ok', 40000),
              `every message of the page reached the other desktop program once and in order, through the host's death (${last})`);
        check(await until(() => pg.said.includes(`from ${o} ${N}`), 40000),
              'every message of the other desktop program reached the page, through the host\'s death');
        check(badLines(pg.said).length === 0, 'the page saw nothing twice or out of order: ' + badLines(pg.said).slice(0, 3));
        check(await other.ask('num') === '2', 'the desktop program that is left hosts on, with the page\'s player');
        await other.end();
        check(await until(() => pg.said.includes('lost'), 5000), 'when the last desktop program leaves, the page loses the session');
        await pg.page.close();
      } finally {
        hostProgram.child.kill('SIGKILL');
        other.child.kill('SIGKILL');
      }
    }
    {
      const port = await freePort();
      const host = sessionHost(BUILD, ['--name', 'Web', '--port', String(port)]);
      try {
        check(await until(() => host.lines.length > 0, 10000), 'tolvane-host starts: ' + host.lines[0]);
        const pages = [];
        for (const name of ['ann', 'bob', 'cid']) pages.push(await netPage(context, site, port, `${name} 3`));
        check(await until(() => pages.every(pg => pg.id()), 30000), 'three pages join the session of tolvane-host');
        const everyone = pages.map(pg => pg.id());
        check(await until(() => pages.every(pg => everyone.filter(id => id !== pg.id())
                                                          .every(id => pg.said.includes(`from ${id} ${N}`))), 60000),
              'every page got every message of the other two');
        for (const pg of pages) check(badLines(pg.said).length === 0, 'nothing twice or out of order: ' + badLines(pg.said));
        check(host.lines.filter(l => /joined/.test(l)).length >= 3, 'tolvane-host logged the joins');
        // A page whose tab is hidden for longer than the host waits for a silent program
        // comes back in, with its player, and sends on.
        const [ann, bob, cid] = pages;
        await bob.page.evaluate(seemHidden, true);
        await new Promise(resolve => setTimeout(resolve, 5000));
        await bob.page.evaluate(seemHidden, false);
        await bob.page.keyboard.press('Space');
        check(await until(() => [ann, cid].every(pg => pg.said.includes(`from ${bob.id()} ${2 * N}`)), 30000),
              'a page hidden for 5 s is back in the session and its next messages reach the others');
        check(![ann, bob, cid].some(pg => badLines(pg.said).length) && !host.lines.some(l => /left/.test(l)),
              'nobody lost anything or left meanwhile: ' + [...badLines(bob.said), ...host.lines.filter(l => /left/.test(l))]);
      } finally {
        const end = await host.stop();
        log('tolvane-host:', host.lines.join('\n  '));
        check(end.code === 0, 'tolvane-host ends cleanly on SIGTERM');
      }
    }
  },

  async movie(b) {
    const root = path.join(BUILD, 'web-movie');
    const server = await serve(root);
    const url = `http://127.0.0.1:${server.address().port}/index.html`;
    const near = (a, want, tolerance) => a.every((v, k) => Math.abs(v - want[k]) <= tolerance);
    const answers = async page => page.evaluate(
        () => window.tolvane.FS.readFile(window.tolvane.programPath.replace(/[^/]*$/, 'movies.dat'),
                                         {encoding: 'utf8'}).split(/\r?\n/).slice(0, 10));
    {
      const context = await b.newContext();
      const warnings = [];
      context.on('console', m => { if (m.type() === 'error') warnings.push(m.text()); });
      const page = await open(context, url);
      // While each movie plays: the loudest the effects bus gets, and the canvas at its
      // middle. Z goes down after the seventh movie (the program waits for it) and is
      // held into the looping movie's second pass; X, pressed in its third, ends it.
      const heard = MOVIES.map(() => 0), pictures = MOVIES.map(() => null);
      let keyDown = false, zHeld = false, zPasses = 0;
      const deadline = Date.now() + 120000;
      while (Date.now() < deadline) {
        const now = await page.evaluate(([sampled, points]) => {
          const T = window.tolvane, M = T && T.tolvaneMovie;
          if (document.title.endsWith(' \u2014 ended')) return {ended: true};
          if (!M || !M.current) return {waiting: M && M.log.length === 7 && !!M.log[6].closedAt};
          const m = M.current, i = M.log.indexOf(m.entry), t = m.video.currentTime;
          const state = {i, t, passes: m.passes, level: T.tolvaneAudio.level('effects')};
          if (i >= 0 && i < points.length && !sampled[i] && t > 0.2 && t < 0.5) {
            const c = document.getElementById('canvas'), copy = document.createElement('canvas');
            copy.width = c.width;
            copy.height = c.height;
            const g = copy.getContext('2d');
            g.drawImage(c, 0, 0);
            state.pixels = points[i].map(([x, y]) => Array.from(g.getImageData(x, y, 1, 1).data.slice(0, 3)));
          }
          return state;
        }, [pictures.map(p => p !== null), MOVIES.map(m => [...m.inside, ...m.black, ...(m.blue || [])])]);
        if (now.ended) break;
        if (now.waiting && !zHeld && zPasses === 0) {
          await page.keyboard.down('z');
          zHeld = true;
        }
        if (zHeld && now.i === 7 && now.passes >= 2) {
          zPasses = now.passes;
          await page.keyboard.up('z');
          zHeld = false;
        }
        if (now.i >= 0 && now.i < MOVIES.length) {
          heard[now.i] = Math.max(heard[now.i], now.level);
          if (now.pixels) pictures[now.i] = now.pixels;
          if (now.i === 7 && zPasses > 0 && now.passes >= 3 && !keyDown) {
            await page.keyboard.down('x');
            keyDown = true;
          }
        }
        if (keyDown && now.i !== 7) {
          await page.keyboard.up('x');
          keyDown = false;
        }
        await page.waitForTimeout(40);
      }
      await ended(page);
      check(await page.evaluate(() => window.tolvane.exitCode) === 0, 'the program played its movies and ended');
      const got = await answers(page);
      check(JSON.stringify(got) === '["0","0","0","0","0","0","0","0","3","3"]',
            `PLAYMOVIE and LOOPMOVIE answer 0 for every movie, 3 for no movie and for none (${got})`);
      const entries = await page.evaluate(() => window.tolvane.tolvaneMovie.log);
      check(entries.length === 9 && entries[8].refused && !entries.slice(0, 8).some(e => e.refused),
            'every movie opens in the browser, the file that is no movie does not');
      for (const name of ['broken.mpg', 'nowhere.mpg'])
        check(warnings.some(w => w.includes(`PLAYMOVIE "Movies/${name}"`)), `a warning names ${name}: ` +
              warnings.filter(w => w.includes(name)).join(' | '));
      MOVIES.forEach((movie, i) => {
        const e = entries[i], seconds = movie.seconds || 1;
        // How long it took to play, measured two ways: the whole movie at the pace of its
        // pictures (the compositor's clock against their movie times, the slope through
        // all of them; loose where few pictures are presented), and from the events that
        // tell when its clock began and when it ended (which a busy main thread may
        // deliver late). A movie that plays slow or fast shows in both; on a machine
        // busy with other work each alone strays by a few per cent now and then.
        const pace = slope(e.presented.map(([shownAt, time]) => [time, shownAt / 1000]), 0.3);
        const played = e.length * pace, events = (e.endedAt - e.clockStartedAt) / 1000;
        log(`${movie.name}: ${e.width} x ${e.height}, ${e.length.toFixed(3)} s long, ` +
            (i === 7 ? '' : `played in ${played.toFixed(3)} s (by its events ${events.toFixed(3)} s), `) +
            `${e.pictures} pictures, ${e.passes} passes, loudest ${heard[i].toFixed(3)}`);
        check(Math.abs(e.length - seconds) <= 0.05 * seconds, `${movie.name} is ${seconds} s long (${e.length} s)`);
        check(heard[i] >= 0.01 && e.sound, `${movie.name} is heard on the effects bus (${heard[i].toFixed(4)})`);
        check(pictures[i] !== null, `${movie.name}'s middle was seen`);
        const px = pictures[i];
        const inside = px.slice(0, movie.inside.length), black = px.slice(movie.inside.length,
            movie.inside.length + movie.black.length), blue = px.slice(movie.inside.length + movie.black.length);
        check(inside.every(p => near(p, movie.colour, 14)), `${movie.name} shows its colour ${movie.colour} ` +
              `(${JSON.stringify(inside)})`);
        if (black.length)
          check(black.every(p => near(p, [0, 0, 0], 6)), `${movie.name} is letterboxed with black (${JSON.stringify(black)})`);
        if (blue.length)
          check(blue.every(p => p[2] > 150 && p[0] < 90 && p[1] < 90),
                `${movie.name}'s corner is turned (${JSON.stringify(blue)})`);
        if (i === 7) {
          check(zPasses >= 2, `a key held when LOOPMOVIE starts does not end it (${zPasses} passes with Z held)`);
          check(e.passes >= 3, `LOOPMOVIE repeats until a key (${e.passes} passes)`);
        } else {
          check(e.endedAt > 0, `${movie.name} plays to its end`);
          // A measure the run gives no number for (too few pictures for a slope) is left out.
          const off = Math.min(...[played, events].filter(Number.isFinite).map(v => Math.abs(v - e.length)));
          check(off <= 0.05 * e.length,
                `${movie.name} plays its length, ${e.length.toFixed(3)} s, within 5 % (${played.toFixed(3)} s, ` +
                `${events.toFixed(3)} s)`);
          // 25 a second; software WebGL on a busy machine takes fewer in time.
          check(e.pictures >= 3, `${movie.name} shows its pictures as it plays (${e.pictures})`);
        }
      });
      await context.close();
    }
    {
      // Unpaced and replaying keys (Z, which the program waits for): every movie plays
      // once, silent, to its end; every fifth picture is a screenshot.
      fs.writeFileSync(path.join(root, 'keys.txt'), '# Z held from the last frames before the movies on\n25 44\n200\n');
      const context = await b.newContext();
      const page = await open(context, url + '?TOLVANE_NO_WAIT=1&TOLVANE_INPUT=keys.txt&TOLVANE_SHOTS=5');
      await ended(page);
      const got = await answers(page);
      check(JSON.stringify(got) === '["0","0","0","0","0","0","0","0","3","3"]', `unpaced, the same answers (${got})`);
      const entries = await page.evaluate(() => window.tolvane.tolvaneMovie.log);
      check(entries[7].passes === 1, `under key replay LOOPMOVIE plays once (${entries[7].passes})`);
      const shots = await page.evaluate(() => window.tolvane.FS.readdir('/tolvane-shots').filter(n => n.startsWith('movie-')));
      const shown = entries.reduce((n, e) => n + (e.pictures || 0), 0);
      check(shots.length === Math.floor(shown / 5) && shots.length > 0,
            `every fifth movie picture is a screenshot (${shots.length} of ${shown})`);
      await context.close();
    }
    server.close();
  },

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
        '?TOLVANE_SEED=11&TOLVANE_FRAMES=600&TOLVANE_INPUT=keys.txt&TOLVANE_NO_WAIT=1&TOLVANE_SHOTS=shots:300');
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
    // The page's own screenshots (TOLVANE_SHOTS), offered as downloads at the end.
    const shot = await page.evaluate(() => {
      const FS = window.tolvane.FS;
      return {names: FS.readdir('/tolvane-shots').filter(n => n[0] !== '.').sort(),
              links: Array.from(document.querySelectorAll('#files a')).map(a => a.download),
              bytes: Array.from(FS.readFile('/tolvane-shots/frame-000600.bmp'))};
    });
    check(JSON.stringify(shot.names) === '["frame-000300.bmp","frame-000600.bmp"]',
          `every 300th frame is a screenshot (${shot.names})`);
    check(JSON.stringify(shot.links) === JSON.stringify(shot.names), 'the page offers them as downloads');
    const nativeShot = fs.readFileSync(path.join(shots, 'frame-000600.bmp'));
    fs.writeFileSync(path.join(OUT, 'web-shot-000600.bmp'), Buffer.from(shot.bytes));
    check(Buffer.from(shot.bytes).equals(nativeShot), 'the page\'s screenshot of frame 600 is the native one, byte for byte');
    server.close();
  },

  async pixels(b) {
    // The pixel cases of tests/pixels/cases.tsv, as tests/gfx2d/pixel_cases_test.cpp
    // checks them on the desktop, on each program's page; and each page's last frame
    // against the native program's whole, which catches drift anywhere else.
    const cases = [];
    fs.readFileSync(path.join(SOURCE, 'tests/pixels/cases.tsv'), 'utf8').split('\n').forEach((text, i) => {
      if (!text || text[0] === '#' || text.startsWith('program\t')) return;
      const [program, frame, x, y, colour, tolerance, what] = text.split('\t');
      cases.push({line: i + 1, program, frame: +frame, x: +x, y: +y, tolerance: +tolerance, what,
                  rgb: [1, 3, 5].map(k => parseInt(colour.slice(k, k + 2), 16))});
    });
    const failed = [];
    for (const program of [...new Set(cases.map(c => c.program))]) {
      const mine = cases.filter(c => c.program === program);
      const frames = Math.max(...mine.map(c => c.frame));
      const shots = path.join(OUT, 'native-' + program);
      const exe = path.join(OUT, program);
      const built = spawnSync(path.join(BUILD, 'compiler/tolvanec'),
          ['build', path.join(SOURCE, 'tests/pixels', program + '.bas'), '--assets', path.join(BUILD, 'assets'),
           '-o', exe], {stdio: ['ignore', 'ignore', 'inherit']});
      check(built.status === 0, `${program}: the native program builds`);
      const native = spawnSync(exe, [], {
        env: {...process.env, SDL_VIDEODRIVER: 'offscreen', SDL_AUDIODRIVER: 'dummy', TOLVANE_NO_WAIT: '1',
              TOLVANE_FRAMES: String(frames), TOLVANE_SHOTS: shots + ':1'},
        cwd: OUT, stdio: ['ignore', 'ignore', 'inherit']});
      check(native.status === 0, `${program}: the native program ran ${frames} frames`);
      const server = await serve(path.join(BUILD, 'web-' + program));
      const context = await b.newContext({viewport: {width: 800, height: 600}});
      const page = await open(context, `http://127.0.0.1:${server.address().port}/index.html` +
          `?TOLVANE_FRAMES=${frames}&TOLVANE_NO_WAIT=1&TOLVANE_SHOTS=shots:1`);
      await ended(page);
      // The screenshots the cases look at (and the last), from the page's files, as
      // base64: far faster through the page's protocol than arrays of numbers.
      const pictures = {};
      for (const f of new Set([...mine.map(c => c.frame), frames])) {
        const name = `frame-${String(f).padStart(6, '0')}.bmp`;
        const base64 = await page.evaluate(n => {
          const d = window.tolvane.FS.readFile('/tolvane-shots/' + n);
          let text = '';
          for (let i = 0; i < d.length; i += 32768) text += String.fromCharCode.apply(null, d.subarray(i, i + 32768));
          return btoa(text);
        }, name);
        fs.writeFileSync(path.join(OUT, `web-${program}-${name}`), Buffer.from(base64, 'base64'));
        pictures[f] = readBmp(path.join(OUT, `web-${program}-${name}`));
      }
      const last = pictures[frames];
      writePng(path.join(OUT, `web-${program}.png`), last);
      const same = compareWithBmp(last, path.join(shots, `frame-${String(frames).padStart(6, '0')}.bmp`),
                                  path.join(OUT, `difference-${program}.png`));
      log(`${program}: pixels equal to the native frame ${frames}: ${(100 * same.equal).toFixed(2)} % ` +
          `(within 8 per channel: ${(100 * same.close).toFixed(2)} %)`);
      // Filtered texels and blended or lit colours round differently in the two GL
      // implementations, by a step or two.
      check(same.close >= 0.99, `${program}: at least 99 % of the pixels within 8 per channel of the native frame`);
      for (const c of mine) {
        const p = pictures[c.frame];
        const at = (c.y * p.width + c.x) * 4;
        const have = [0, 1, 2].map(k => p.data[at + k]);
        const most = Math.max(...have.map((v, k) => Math.abs(v - c.rgb[k])));
        if (!(most <= c.tolerance)) {
          const hex = v => v.map(n => n.toString(16).padStart(2, '0')).join('').toUpperCase();
          failed.push(`cases.tsv line ${c.line}, ${c.what}: (${c.x}, ${c.y}) of frame ${c.frame} is ` +
                      `#${hex(have)}, not #${hex(c.rgb)} (tolerance ${c.tolerance})`);
        }
      }
      await context.close();
      server.close();
    }
    failed.forEach(f => log('FAILED:', f));
    check(failed.length === 0, `all ${cases.length} pixel cases hold in the browser`);
  },

  async keys(b) {
    const server = await serve(path.join(BUILD, 'web-probe'));
    const context = await b.newContext({viewport: {width: 640, height: 480}});
    await context.addInitScript(countPointerLocks);
    const page = await open(context, `http://127.0.0.1:${server.address().port}/index.html?TOLVANE_RECORD=held.txt`);
    await waitFor(page, () => document.title === 'Web probe', 60000);
    const squareX = () => probeSquareX(page);
    // Until the first frames are on the canvas (a loaded machine takes its time).
    let before = await squareX();
    for (let t = 0; t < 100 && before < 0; ++t) {
      await page.waitForTimeout(100);
      before = await squareX();
    }
    check(before === 100, `the square starts at x 100 (${before})`);
    // The probe reads the relative mouse: a key does not lock the pointer, a click does.
    await page.keyboard.press('Shift');
    await page.waitForTimeout(200);
    check(await page.evaluate(() => window.pointerLocksAsked) === 0, 'a key does not lock the pointer');
    await page.click('#canvas');
    await waitFor(page, () => window.pointerLocksAsked === 1, 10000);
    check(true, 'a click locks the pointer of a program that reads the mouse');
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
    // The mouse: its mark moves by the mouse's movement in canvas pixels (the canvas is
    // shown at twice its size), and turns magenta while the left button is down.
    const mark = () => probeMark(page);
    const markUntil = ok => probeMarkUntil(page, ok);
    await page.mouse.move(200, 200, {steps: 2});
    await page.waitForTimeout(500);
    const m0 = await mark();
    check(m0 !== null && !m0.down, `the mouse's mark is on the canvas (${JSON.stringify(m0)})`);
    await page.mouse.move(280, 260, {steps: 4});
    // Until the mark has come to rest: the program takes the movement over a few frames.
    let m1 = await markUntil(m => m && m.x !== m0.x && m.y !== m0.y);
    for (let t = 0, last = null; t < 50 && JSON.stringify(last) !== JSON.stringify(m1); ++t) {
      last = m1;
      await page.waitForTimeout(300);
      m1 = await mark();
    }
    check(m1 && m1.x - m0.x === 40 && m1.y - m0.y === 30,
          `moving the mouse by 80, 60 on the page moves it by 40, 30 canvas pixels (${JSON.stringify(m1)})`);
    await page.mouse.down();
    const m2 = await markUntil(m => m && m.down);
    await page.mouse.up();
    check(m2 && m2.down, 'the left button is seen down');
    check((await markUntil(m => m && !m.down)).down === false, 'and up again');
    // Two wheel steps away from the user (100 pixels of the page's scroll each).
    await page.mouse.wheel(0, -200);
    await page.waitForTimeout(300);
    // Held for a few frames, as a hand does: a press and release within one frame is
    // never seen held.
    await page.keyboard.down('Escape');
    await page.waitForTimeout(300);
    await page.keyboard.up('Escape');
    await ended(page);
    check(true, 'Escape ends the program');
    // The keys were recorded (TOLVANE_RECORD) as a key script: Shift (a tap is held for a
    // frame), then Right, then Left, then Escape held, each from a frame on, and nothing
    // held in between.
    const script = await page.evaluate(() => window.tolvane.FS.readFile('/tolvane-record/held.txt', {encoding: 'utf8'}));
    const lines = script.split('\n').filter(l => l.trim() && !l.startsWith('#')).map(l => l.trim().split(/\s+/));
    log('recorded:', JSON.stringify(script.split('\n').filter(l => l && !l.startsWith('#'))));
    const held = lines.filter(w => w[1] !== 'mouse').map(w => w.slice(1).join(' '));
    check(JSON.stringify(held.filter(k => k)) === '["42","205","203","1"]',
          'the recorded key script holds Shift, Right, Left, Escape in turn');
    // The mouse lines: the program's mark is made of exactly their movement (from
    // 100, 100), the left button is held in some and let go in a later one, the wheel
    // turned two steps.
    const mouse = lines.filter(w => w[1] === 'mouse').map(w => w.slice(2).map(Number));
    const sum = i => mouse.reduce((a, m) => a + m[i], 0);
    check(sum(0) === m1.x - 100 && sum(1) === m1.y - 100,
          `the recorded mouse moves add up to the mark's place (${sum(0)}, ${sum(1)}; mark ${m1.x}, ${m1.y})`);
    const clicked = mouse.findIndex(m => m.slice(3).includes(1));
    check(clicked >= 0 && mouse.slice(clicked).some(m => !m.slice(3).includes(1)),
          'the recording holds the left button, then lets it go');
    check(sum(2) === 2, `the recorded wheel turned 2 steps (${sum(2)})`);
    check(await page.evaluate(() => document.querySelector('#files a').download) === 'held.txt',
          'the page offers the key script as a download');
    // The page says the game has ended and starts it anew at a click.
    check(await page.isVisible('#ended') && (await page.textContent('#ended')).includes('The game has ended.'),
          'the page says the game has ended');
    await Promise.all([page.waitForNavigation(), page.click('#again')]);
    await waitFor(page, () => window.tolvane && window.tolvane.FS && !document.title.includes('ended'), 60000);
    check(!(await page.isVisible('#ended')), '"Play again" starts the game anew');
    server.close();
  },

  async worker(b) {
    const root = path.join(BUILD, 'web-stackmoor');
    const server = await serve(root);
    const context = await b.newContext({viewport: {width: 640, height: 480}});
    await context.addInitScript(countPointerLocks);
    const FRAMES = 240;
    const page = await open(context, `http://127.0.0.1:${server.address().port}/index.html` +
        `?TOLVANE_SEED=11&TOLVANE_FRAMES=${FRAMES}&TOLVANE_RECORD=typed.txt`);
    await waitFor(page, () => document.getElementById('canvas').width === 640, 60000);
    await page.click('#canvas');
    // Right held for a while, then Left for a moment, as a player types them.
    await page.keyboard.down('ArrowRight');
    await page.waitForTimeout(800);
    await page.keyboard.up('ArrowRight');
    await page.waitForTimeout(200);
    await page.keyboard.down('ArrowLeft');
    await page.waitForTimeout(300);
    await page.keyboard.up('ArrowLeft');
    await ended(page);
    check(await page.evaluate(() => window.tolvane.exitCode) === 0, `the game ran ${FRAMES} frames and ended`);
    check(await page.evaluate(() => window.pointerLocksAsked) === 0,
          'a game that never reads the mouse leaves the pointer alone, clicked and typed into');
    // Its page has on-screen keys for phones: Left and Right on the left, Up (jump) on
    // the right; a desktop with a mouse does not show them.
    check(fs.readFileSync(path.join(root, 'index.html'), 'utf8').includes("setUpKeys('ArrowLeft,ArrowRight/ArrowUp')"),
          'Stackmoor\'s page has Left and Right, and Up, as on-screen keys');
    check(await page.evaluate(() => getComputedStyle(document.getElementById('keys')).display) === 'none',
          'which the desktop does not show');
    const typed = await page.evaluate(() => window.tolvane.FS.readFile('/tolvane-record/typed.txt', {encoding: 'utf8'}));
    fs.writeFileSync(path.join(OUT, 'typed.txt'), typed);
    const held = typed.split('\n').filter(l => l.trim() && !l.startsWith('#')).map(l => l.trim().split(/\s+/));
    log('typed:', JSON.stringify(held.map(l => l.join(' '))));
    const rightFrom = held.find(l => l[1] !== 'mouse' && l.includes('205'));  // a key line, not a mouse line
    check(rightFrom !== undefined, 'the page saw Right held');
    const frame = await canvasPixels(page);
    writePng(path.join(OUT, `web-frame-${String(FRAMES).padStart(6, '0')}.png`), frame);

    // The same run natively, with the keys the page saw.
    const shots = path.join(OUT, 'native');
    const native = spawnSync(path.join(BUILD, 'stackmoor-trace'),
        ['--seed', '11', '--frames', String(FRAMES), '--input', path.join(OUT, 'typed.txt'),
         '--shots', `${shots}:${FRAMES}`],
        {env: {...process.env, SDL_VIDEODRIVER: 'offscreen', SDL_AUDIODRIVER: 'dummy'},
         stdio: ['ignore', 'pipe', 'inherit'], encoding: 'utf8'});
    check(native.status === 0, 'the native program replayed the typed keys');
    // <frame> <score> <MaxCrate> <ply_x> ...: where the worker stood when Right came, and
    // the farthest right it got.
    const trace = native.stdout.trim().split('\n').map(l => l.split(' '));
    const from = Number(rightFrom[0]);
    const x0 = Number(trace[from - 1][3]);
    const farthest = Math.max(...trace.slice(from).map(t => Number(t[3])));
    check(farthest > x0, `Right walks the worker right (x ${x0} -> ${farthest})`);
    const same = compareWithBmp(frame, path.join(shots, `frame-${String(FRAMES).padStart(6, '0')}.bmp`),
                                path.join(OUT, 'difference.png'));
    log(`pixels equal to the native frame ${FRAMES}: ${(100 * same.equal).toFixed(2)} %`);
    check(same.equal >= 0.99, 'the page\'s last frame is the native program\'s with the same keys');
    server.close();
  },

  async page(b) {
    const server = await serve(path.join(BUILD, 'web-probe'));
    const address = `http://127.0.0.1:${server.address().port}/index.html`;
    // A browser that starts sound only after a click, as most do for a page not visited
    // before (headless chromium lets every page play, so the rule is put in by hand):
    // the page asks for a click, and the game starts with it, its sound running.
    {
      const context = await b.newContext({viewport: {width: 1000, height: 500}});
      await context.addInitScript(() => {
        const Real = window.AudioContext;
        window.AudioContext = class extends Real {
          constructor(...args) {
            super(...args);
            this.clicked = false;
            super.suspend();
          }
          get state() { return this.clicked ? super.state : 'suspended'; }
          resume() {
            if (!navigator.userActivation.isActive) return new Promise(() => {});
            this.clicked = true;
            return super.resume();
          }
        };
      });
      const page = await open(context, address);
      await waitFor(page, () => getComputedStyle(document.getElementById('start')).display !== 'none', 30000);
      await page.waitForTimeout(1000);
      check(await page.evaluate(() => !window.tolvane), 'the game waits for the start click');
      await page.click('#start-button');
      await waitFor(page, () => window.tolvane && window.tolvane.tolvaneAudio &&
                                document.getElementById('canvas').width === 320, 60000);
      check(await page.evaluate(() => window.tolvane.tolvaneAudio.ctx.state) === 'running',
            'after the click the game runs, and so does its sound');
      // Centred and scaled with its aspect kept, in whole steps with sharp pixels: 320 x 240
      // in a 1000 x 500 window is shown twice its size.
      const box = await page.evaluate(() => {
        const r = document.getElementById('canvas').getBoundingClientRect();
        return [r.left, r.top, r.width, r.height].map(Math.round);
      });
      check(JSON.stringify(box) === '[180,10,640,480]', `the canvas is centred and scaled (${box})`);
      check(await page.evaluate(() => getComputedStyle(document.getElementById('canvas')).imageRendering) === 'pixelated',
            'its pixels are kept sharp');
      // The full-screen button asks for the whole page (headless chromium shows no full
      // screen, so the request is counted) and gives the game the keys back.
      await page.evaluate(() => {
        window.fullScreenAsked = 0;
        document.documentElement.requestFullscreen = () => { ++window.fullScreenAsked; return Promise.resolve(); };
      });
      await page.click('#full');
      await waitFor(page, () => window.fullScreenAsked === 1 && document.activeElement.id === 'canvas', 10000);
      check(true, 'the full-screen button asks for full screen and the game keeps the keys');
      await context.close();
    }
    // A browser without WebGL 2: the page says so and starts nothing.
    {
      const context = await b.newContext();
      await context.addInitScript(() => {
        const getContext = HTMLCanvasElement.prototype.getContext;
        HTMLCanvasElement.prototype.getContext = function(kind, ...rest) {
          return kind === 'webgl2' ? null : getContext.call(this, kind, ...rest);
        };
      });
      const page = await open(context, address);
      await waitFor(page, () => document.title.endsWith('no WebGL 2'), 30000);
      const text = await page.evaluate(() => document.getElementById('nogl').innerText);
      check(/needs WebGL 2/.test(text), `the page says the game needs WebGL 2 ("${text.split('\n')[0]}")`);
      check(await page.evaluate(() => !window.tolvane), 'and does not start it');
      await context.close();
    }
    server.close();
  },

  async touch(b) {
    const server = await serve(path.join(BUILD, 'web-probe'));
    const address = `http://127.0.0.1:${server.address().port}/index.html`;
    const said = [];  // the probe's console lines: its clicks and Return's presses
    const saidUntil = async (page, line) => {
      for (let t = 0; t < 100 && !said.includes(line); ++t) await page.waitForTimeout(100);
      return said.includes(line);
    };
    // A desktop with a mouse: the canvas twice its size, half a pixel off the grid.
    {
      const context = await b.newContext({viewport: {width: 701, height: 500}});
      await context.addInitScript(countPointerLocks);
      context.on('console', m => said.push(m.text()));
      const page = await open(context, address);
      await waitFor(page, () => document.title === 'Web probe', 60000);
      check(await page.evaluate(() => getComputedStyle(document.getElementById('keys')).display) === 'none',
            'a desktop with a mouse shows no on-screen keys');
      const markAt = async (x, y, what) => {
        const [px, py] = await pageSpot(page, x, y);
        await page.mouse.move(px, py, {steps: 3});
        const m = await probeMarkUntil(page, m => m && m.x === x && m.y === y);
        check(m && m.x === x && m.y === y, `${what}: the mark is on canvas pixel ${x}, ${y} (${JSON.stringify(m)})`);
      };
      await markAt(57, 83, 'the pointer over the canvas at 2 x, from 30.5, 10');
      await markAt(301, 7, 'moved on');
      // SETMOUSE places the mark until the pointer moves again.
      await page.keyboard.down('m');
      const placed = await probeMarkUntil(page, m => m && m.x === 10 && m.y === 10);
      await page.keyboard.up('m');
      check(placed && placed.x === 10 && placed.y === 10, 'SETMOUSE puts the mark at 10, 10');
      await markAt(120, 90, 'the pointer moved after SETMOUSE');
      // Shrunk to fit a small window (0.78 CSS pixels a canvas pixel).
      await page.setViewportSize({width: 250, height: 200});
      await waitFor(page, () => document.getElementById('canvas').getBoundingClientRect().width === 250, 10000);
      await markAt(200, 150, 'the canvas shrunk to 250 x 187');
      await page.setViewportSize({width: 701, height: 500});
      await waitFor(page, () => document.getElementById('canvas').getBoundingClientRect().width === 640, 10000);
      await markAt(160, 120, 'grown again');
      // A click at a pixel is a click there; it locks the pointer, and the mark then
      // moves by the mouse's movement: SETMOUSE's place and 20, 10 canvas pixels on, not
      // the pointer's place.
      const [cx, cy] = await pageSpot(page, 160, 120);
      await page.mouse.click(cx, cy);
      check(await saidUntil(page, 'click 160 120'), 'a click is seen where it came');
      await waitFor(page, () => window.pointerLocksAsked === 1, 10000);
      await waitFor(page, () => document.pointerLockElement === document.getElementById('canvas'), 10000);
      check(true, 'the click locked the pointer');
      await page.keyboard.down('m');
      await probeMarkUntil(page, m => m && m.x === 10 && m.y === 10);
      await page.keyboard.up('m');
      await page.mouse.move(cx + 40, cy + 20, {steps: 4});
      const moved = await probeMarkUntil(page, m => m && m.x === 30 && m.y === 20);
      check(moved && moved.x === 30 && moved.y === 20, `locked, the mark moves by the movement (${JSON.stringify(moved)})`);
      await context.close();
    }
    // A phone: taps and drags on the canvas are the mouse, the on-screen keys are keys.
    {
      const context = await b.newContext({...devices['Pixel 7']});
      context.on('console', m => said.push(m.text()));
      const page = await open(context, address);
      await waitFor(page, () => document.title === 'Web probe', 60000);
      const coarse = await page.evaluate(() => matchMedia('(pointer: coarse)').matches);
      const [tx, ty] = await pageSpot(page, 150, 60);
      await page.touchscreen.tap(tx, ty);
      check(await saidUntil(page, 'click 150 60'), 'a tap is a click at the tapped pixel');
      check(await page.evaluate(() => getComputedStyle(document.getElementById('keys')).display) === 'block',
            `the phone shows the on-screen keys (pointer: coarse ${coarse})`);
      const boxes = await page.evaluate(() => {
        const box = e => { const r = e.getBoundingClientRect(); return [r.left, r.top, r.right, r.bottom]; };
        return {canvas: box(document.getElementById('canvas')),
                keys: Array.from(document.querySelectorAll('#keys .key')).map(k => [k.dataset.code, ...box(k)])};
      });
      log('canvas and keys on the phone:', JSON.stringify(boxes));
      check(JSON.stringify(boxes.keys.map(k => k[0])) ===
                '["ArrowUp","ArrowDown","ArrowLeft","ArrowRight","Space","Enter"]',
            'the keys are the four arrows, Space and Return');
      const [l, t, r, bottom] = boxes.canvas;
      check(boxes.keys.every(([, kl, kt, kr, kb]) => kr <= l || kl >= r || kb <= t || kt >= bottom),
            'no key covers the game');
      const cdp = await context.newCDPSession(page);
      const touch = (type, points) => cdp.send('Input.dispatchTouchEvent', {type, touchPoints: points});
      // A drag: the mark goes where the finger goes, the button held.
      const [ax, ay] = await pageSpot(page, 40, 200);
      const [bx, by] = await pageSpot(page, 100, 170);
      await touch('touchStart', [{x: ax, y: ay, id: 1}]);
      for (let i = 1; i <= 4; ++i) await touch('touchMove', [{x: ax + (bx - ax) * i / 4, y: ay + (by - ay) * i / 4, id: 1}]);
      const dragged = await probeMarkUntil(page, m => m && m.x === 100 && m.y === 170 && m.down);
      check(dragged && dragged.x === 100 && dragged.y === 170 && dragged.down,
            `a drag moves the mark with the button held (${JSON.stringify(dragged)})`);
      await touch('touchEnd', []);
      const lifted = await probeMarkUntil(page, m => m && !m.down);
      check(lifted && lifted.x === 100 && lifted.y === 170 && !lifted.down, 'the button goes up where the finger lifts');
      // Right held by one finger moves the square; Return tapped by another meanwhile
      // is a key press of its own; the finger sliding off the key lets it go.
      const keyAt = code => {
        const k = boxes.keys.find(k => k[0] === code);
        return {x: (k[1] + k[3]) / 2, y: (k[2] + k[4]) / 2};
      };
      const right = {...keyAt('ArrowRight'), id: 1}, enter = {...keyAt('Enter'), id: 2};
      const x0 = await probeSquareX(page);
      await touch('touchStart', [right]);
      let x1 = x0;
      for (let i = 0; i < 100 && x1 < x0 + 10; ++i) x1 = await probeSquareX(page);
      check(x1 >= x0 + 10, `a finger on the right arrow moves the square right (${x0} -> ${x1})`);
      await touch('touchStart', [right, enter]);
      await page.waitForTimeout(100);
      await touch('touchMove', [right]);  // the second finger lifts, the first stays
      for (let i = 0; i < 100 && !said.some(l => l.startsWith('return ')); ++i) await page.waitForTimeout(100);
      const line = said.find(l => l.startsWith('return '));
      const x2 = await probeSquareX(page);
      let x3 = x2;
      for (let i = 0; i < 100 && x3 < x2 + 6; ++i) x3 = await probeSquareX(page);
      check(line !== undefined && x3 >= x2 + 6,
            `Return tapped meanwhile is pressed ("${line}") and the square goes on (${x2} -> ${x3})`);
      await touch('touchMove', [{x: (l + r) / 2, y: (t + bottom) / 2, id: 1}]);
      // Until it rests (a frame may take long on a loaded machine); held, it would run
      // on to the edge at 280.
      let x4 = -1, x5 = -2;
      for (let i = 0; i < 20 && x4 !== x5; ++i) {
        x4 = await probeSquareX(page);
        await page.waitForTimeout(400);
        x5 = await probeSquareX(page);
      }
      check(x5 === x4 && x4 < 280, `the finger slid off the key: the square stops short of the edge (${x4}, ${x5})`);
      await touch('touchEnd', []);
      check(await page.evaluate(() => document.querySelectorAll('#keys .down').length) === 0, 'no key is left held');
      // Turned on its side with the browser's bars (640 x 320): the game at its own size
      // would reach under the keys, so it moves over and the keys stand beside it.
      await page.setViewportSize({width: 640, height: 320});
      await page.waitForTimeout(300);
      const side = await page.evaluate(() => {
        const box = e => { const r = e.getBoundingClientRect(); return [r.left, r.top, r.right, r.bottom]; };
        return {canvas: box(document.getElementById('canvas')),
                keys: Array.from(document.querySelectorAll('#keys .key')).map(k => [k.dataset.code, ...box(k)])};
      });
      log('canvas and keys on the phone on its side:', JSON.stringify(side));
      const [sl, st, sr, sb] = side.canvas;
      check(side.keys.every(([, kl, kt, kr, kb]) => kr <= sl || kl >= sr || kb <= st || kt >= sb) &&
                side.keys.every(([code, kl, , kr]) => code.startsWith('Arrow') ? kr <= sl : kl >= sr),
            'on its side the arrows stand left of the game and Space and Return right of it, over none of it');
      await context.close();
    }
    server.close();
  },

  async sound(b) {
    const server = await serve(path.join(BUILD, 'web-probe'));
    const context = await b.newContext();
    const lines = [];
    context.on('console', m => { if (m.type() === 'log') lines.push(m.text()); });
    const page = await open(context, `http://127.0.0.1:${server.address().port}/index.html`);
    await waitFor(page, () => window.tolvane && window.tolvane.tolvaneAudio, 60000);
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
    check(lines.includes('probe 10 8 0'), `STDOUT's line is on the console (${lines.filter(l => l.startsWith('probe'))})`);

    // Slot 1's one copy plays on channel 4. L held: LOOPSOUND in every frame; K: STOPSOUND.
    await page.click('#canvas');
    const holdUntil = async (key, fn) => {
      await page.keyboard.down(key);
      await waitFor(page, fn, 30000);
      await page.keyboard.up(key);
    };
    await holdUntil('l', () => window.tolvane.tolvaneAudio.channels[4].source);
    // What the channel sends to the effects bus, heard apart from the rest.
    const length = await page.evaluate(() => {
      const A = window.tolvane.tolvaneAudio, ch = A.channels[4];
      window.loopTap = A.ctx.createAnalyser();
      window.loopTap.fftSize = 2048;
      ch.output.connect(window.loopTap);
      window.loopFrom = A.ctx.currentTime;
      window.loopLength = ch.source.buffer.duration;
      return window.loopLength;
    });
    const tapLevel = () => page.evaluate(() => {
      const data = new Float32Array(window.loopTap.fftSize);
      window.loopTap.getFloatTimeDomainData(data);
      return Math.sqrt(data.reduce((sum, v) => sum + v * v, 0) / data.length);
    });
    await waitFor(page, () => window.tolvane.tolvaneAudio.ctx.currentTime > window.loopFrom + 2 * window.loopLength + 0.2,
                  30000);
    let loud = 0;
    for (let t = 0; t < 20; ++t, await page.waitForTimeout(25)) loud = Math.max(loud, await tapLevel());
    check(loud >= 0.01, `the looping sound (${length.toFixed(2)} s long) is heard after twice its length (${loud.toFixed(4)})`);
    await holdUntil('k', () => !window.tolvane.tolvaneAudio.channels[4].source);
    // The tap holds the last 2048 frames it was given: a tenth of a second on, all silence.
    await page.evaluate(() => { window.loopFrom = window.tolvane.tolvaneAudio.ctx.currentTime; });
    await waitFor(page, () => window.tolvane.tolvaneAudio.ctx.currentTime > window.loopFrom + 0.1, 30000);
    let after = 0, effects = 0;
    for (let t = 0; t < 80 && (t < 20 || effects < 0.01); ++t, await page.waitForTimeout(25)) {
      after = Math.max(after, await tapLevel());
      effects = Math.max(effects, await page.evaluate(() => window.tolvane.tolvaneAudio.level('effects')));
    }
    check(after < 0.001, `STOPSOUND silences the loop (${after.toFixed(4)})`);
    check(effects >= 0.01, `the effect in slot 0 plays on (${effects.toFixed(4)})`);
    // J held: slot 2 loaded again in every frame; the table of sounds reuses the ids.
    await page.keyboard.down('j');
    await page.waitForTimeout(800);
    await page.keyboard.up('j');
    const table = await page.evaluate(() => window.tolvane.tolvaneAudio.sounds.length);
    check(table <= 4, `sounds loaded again and again reuse their ids (a table of ${table})`);
    server.close();
  },

  async storage(b) {
    // The probe's page at several addresses of one web site: a/ as built, b/ another game
    // of the same name, and later a new version of a/; c/ and d/ try the folder of pages
    // made before games had storage names of their own.
    const built = path.join(BUILD, 'web-probe'), site = path.join(OUT, 'site');
    const page0 = fs.readFileSync(path.join(built, 'index.html'), 'utf8');
    const store = (page0.match(/const STORE = '([^']*)'/) || [])[1];
    check(/^probe-[0-9a-f]{16}$/.test(store), `the page keeps its files under a name of its own (${store})`);
    const place = (folder, storeName) => {
      fs.mkdirSync(path.join(site, folder), {recursive: true});
      for (const f of fs.readdirSync(built))
        if (f !== 'index.html' && !fs.existsSync(path.join(site, folder, f)))
          fs.symlinkSync(path.join(built, f), path.join(site, folder, f));
      fs.writeFileSync(path.join(site, folder, 'index.html'), page0.replace(`'${store}'`, `'${storeName}'`));
    };
    place('a', store);
    place('b', 'probe-0123456789abcdef');
    const server = await serve(site);
    const context = await b.newContext();
    const at = folder => `http://127.0.0.1:${server.address().port}/${folder}/index.html?TOLVANE_FRAMES=10`;
    const url = at('a');
    const visits = async page => page.evaluate(() => window.tolvane.FS.readFile(
        window.tolvane.programPath.replace(/[^/]*$/, 'visits.dat'), {encoding: 'utf8'}).split(/\r?\n/)[0]);
    const visit = async (ctx, folder) => {
      const p = await open(ctx, at(folder));
      await ended(p);
      const n = await visits(p);
      await p.close();
      return n;
    };
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
    await again.close();
    n = await visit(context, 'b');
    check(n === '1', `another game of the same name on the site starts with its own saves (${n})`);
    n = await visit(context, 'a');
    check(n === '4', `and the first game's saves are still its own (${n})`);
    place('a', 'probe-fedcba9876543210');
    n = await visit(context, 'a');
    check(n === '5', `a new version of the game at the same address takes its saves over (${n})`);
    n = await visit(context, 'a');
    check(n === '6', `and keeps them from then on (${n})`);
    n = await visit(context, 'b');
    check(n === '2', `the other game's saves stay apart (${n})`);
    // A browser that kept a game's files where pages made before storage names kept them.
    const older = await b.newContext();
    place('c', 'probe');
    place('d', store);
    n = await visit(older, 'c');
    check(n === '1', `a page keeping its files in the old folder starts there (${n})`);
    n = await visit(older, 'd');
    check(n === '2', `the game at an address of its own takes those saves over (${n})`);
    server.close();
  },

  async frames(b) {
    const server = await serve(path.join(BUILD, 'web-probe'));
    const context = await b.newContext();
    await context.addInitScript(countDrawnFrames);
    const lines = [];
    context.on('console', m => { if (m.type() === 'log') lines.push({text: m.text(), at: Date.now()}); });
    const page = await open(context, `http://127.0.0.1:${server.address().port}/index.html`);
    await waitFor(page, () => window.framesDrawn > 10 && window.tolvane.tolvaneAudio, 60000);
    // An observer counts the browser's frames at which the canvas holds a frame it did not
    // hold at the frame before: the frames shown.
    const watch = ms => page.evaluate(ms => new Promise(resolve => {
      const first = window.framesDrawn, started = performance.now();
      let last = first, shown = 0;
      const tick = now => {
        if (window.framesDrawn !== last) {
          ++shown;
          last = window.framesDrawn;
        }
        if (now - started < ms) requestAnimationFrame(tick);
        else resolve({drawn: window.framesDrawn - first, shown});
      };
      requestAnimationFrame(tick);
    }), ms);
    const seen = await watch(1500);
    log('in 1.5 s:', JSON.stringify(seen));
    check(seen.drawn >= 3 && Math.abs(seen.drawn - seen.shown) <= 1,
          `every frame the program presents is one the browser shows (${seen.drawn} drawn, ${seen.shown} shown)`);

    // Hidden: the program rests at its next frame and its sound is suspended.
    const hiddenAt = Date.now();
    await page.evaluate(seemHidden, true);
    await page.waitForTimeout(200);
    const atHiding = await page.evaluate(() => window.framesDrawn);
    await page.waitForTimeout(2000);
    const hidden = await page.evaluate(() => ({drawn: window.framesDrawn, sound: window.tolvane.tolvaneAudio.ctx.state}));
    check(hidden.drawn === atHiding, `no frame is drawn while the page is hidden (${hidden.drawn - atHiding})`);
    check(hidden.sound === 'suspended', `the sound is suspended (${hidden.sound})`);
    // Shown again: on at the usual pace, no burst of frames to catch up, the sound on, and
    // the program's clock went on from where it stood.
    await page.evaluate(seemHidden, false);
    const after = await watch(500);
    log('in the 0.5 s after showing:', JSON.stringify(after));
    check(after.drawn >= 5 && after.drawn <= 34, `frames go on at the usual pace (${after.drawn} in 0.5 s)`);
    check(await page.evaluate(() => window.tolvane.tolvaneAudio.ctx.state) === 'running', 'the sound goes on');
    // The probe tells of every leap of its clock over 1 s between two frames; one of the
    // time the page was hidden would be over 2 s.
    const leaps = lines.filter(l => l.at >= hiddenAt && l.text.startsWith('clock leap')).map(l => l.text);
    check(leaps.every(l => Number(l.split(' ')[2]) < 1800), `the program's clock stood still while hidden (${leaps})`);

    // A loop that never presents a frame nor waits still leaves the page its turn: the
    // page answers, and Escape reaches the loop, which ends the program.
    await page.click('#canvas');
    await page.keyboard.down('b');
    await waitFor(page, () => true, 1000);
    for (let t = 0; t < 100 && !lines.some(l => l.text === 'busy'); ++t) await page.waitForTimeout(100);
    await page.keyboard.up('b');
    check(lines.some(l => l.text === 'busy'), 'the probe is in its busy loop');
    check(await page.evaluate(() => document.title) === 'Web probe', 'the page answers during the loop');
    await page.keyboard.down('Escape');
    await ended(page);
    check(true, 'a key reaches the busy loop, which ends the program');
    server.close();
  },

  async absent(b) {
    const server = await serve(path.join(BUILD, 'web-probe'));
    const context = await b.newContext();
    const page = await open(context, `http://127.0.0.1:${server.address().port}/index.html?TOLVANE_FRAMES=3`);
    await ended(page);
    check(await page.evaluate(() => window.tolvane.exitCode) === 0, 'the probe ran 3 frames and ended');
    const lines = await page.evaluate(() => window.tolvane.FS.readFile(
        window.tolvane.programPath.replace(/[^/]*$/, 'absent.dat'), {encoding: 'utf8'}).split(/\r?\n/));
    const expected = [
      ['X_MAKE3D', '0'], ['X_LOADOBJ of a picture', '0'], ['X_DRAWOBJ', '0'], ['X_COLLISION (no object)', '0'],
      ['X_WORLD2SCREEN of the eye\'s own point (results unchanged)', '-7,-8,-9'], ['X_MAKE2D', '0'],
      ['PLAYMOVIE of a picture, no movie', '3'], ['LOOPMOVIE of a file found nowhere', '3'],
      ['NETHOSTGAME', '0'], ['NETJOINGAME', '0'], ['NETCREATEPLAYER$', '0'], ['NETSENDMSG', '0'],
      ['NETGETMSG$ (in brackets: empty)', '[]'], ['NETNUMPLAYERS', '0'], ['NETPLAYERNAME$', 'NO_DATA'],
      ['SHELLCMD', '0'], ['SHELLCMD\'s exit code', '0'], ['FILEREQUEST$', 'NO_FILE'],
    ];
    expected.forEach(([what, value], i) => check(lines[i] === value, `${what}: ${value} (${lines[i]})`));
    server.close();
  },

  async example(b) {
    // In a game folder made by `tolvanec new`, `build --web` alone finds the program and
    // its assets, as `build` does.
    const game = path.join(OUT, 'mygame');
    const tolvanecPath = path.join(BUILD, 'compiler/tolvanec');
    check(spawnSync(tolvanecPath, ['new', game], {stdio: ['ignore', 'ignore', 'inherit']}).status === 0,
          'tolvanec new makes a game folder');
    check(spawnSync(tolvanecPath, ['build', '--web'], {cwd: game, stdio: ['ignore', 'ignore', 'inherit']}).status === 0,
          'build --web in it needs no file name');
    const archive = fs.readFileSync(path.join(game, 'mygame-web/mygame.sbx')).toString('latin1');
    check(archive.includes('ball.bmp') && archive.includes('beep.wav'), 'the page\'s archive holds the folder\'s assets');
    {
      const server = await serve(path.join(game, 'mygame-web'));
      const page = await open(await b.newContext(), `http://127.0.0.1:${server.address().port}/index.html?TOLVANE_FRAMES=10`);
      await ended(page);
      check(await page.evaluate(() => window.tolvane.exitCode) === 0, 'the new game runs in the browser');
      server.close();
    }

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
      // Only the page's own folder is served.
      const status = target => new Promise((resolve, reject) => {
        const {hostname, port} = new URL(address);
        http.get({hostname, port, path: target}, res => {
          res.resume();
          resolve(res.statusCode);
        }).on('error', reject);
      });
      for (const target of ['/../../../../etc/passwd', '/%2e%2e/%2e%2e/%2e%2e/etc/passwd', '/..%2f..%2f..%2fetc%2fpasswd',
                            '/%00index.html', '/no-such-file.js']) {
        const code = await status(target);
        check(code === 400 || code === 404, `${target} is refused (${code})`);
      }
      check(await status('/index.html?x=1') === 200, 'the page itself is served');
      check(await status('/build-key') === 404, 'tolvanec\'s note of the build (it names this machine\'s paths) is not');
      // A client that sends a byte and falls silent holds up nobody else; one whose
      // request head is too large is told so.
      const {hostname, port} = new URL(address);
      const slow = net.connect(Number(port), hostname, () => slow.write('G'));
      slow.on('error', () => {});
      await new Promise(resolve => setTimeout(resolve, 100));
      const started = Date.now();
      check(await status('/index.html') === 200 && Date.now() - started < 1000,
            `another request is answered while a silent client waits (${Date.now() - started} ms)`);
      slow.destroy();
      const big = await new Promise(resolve => {
        let reply = '';
        const c = net.connect(Number(port), hostname, () => c.write('GET / HTTP/1.1\r\nX: ' + 'a'.repeat(20000)));
        c.on('data', d => { reply += d; });
        c.on('close', () => resolve(reply));
        c.on('error', () => resolve(reply));
      });
      check(big.startsWith('HTTP/1.1 431'), 'a request head over 16 KiB is refused (' + big.split('\r\n')[0] + ')');
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

  websocket: async b => {
    const {WebSocketServer} = createRequire(path.join(MODULES, 'x.js'))('ws');
    // Per path: the messages the server got and the close code it saw.
    const seen = {};
    const wss = new WebSocketServer({host: '127.0.0.1', port: 0});
    wss.on('connection', (socket, request) => {
      const at = request.url;
      const s = seen[at] = {messages: 0, code: null};
      socket.on('message', (data, binary) => {
        ++s.messages;
        if (at === '/echo') socket.send(data, {binary});
      });
      socket.on('close', code => { s.code = code; });
      if (at === '/text') {
        socket.send('a text');
        socket.send(Buffer.from('after it'));
      }
      if (at === '/big') {
        socket.send(Buffer.alloc(1000, 1));
        socket.send(Buffer.alloc(1001, 2));
        socket.send(Buffer.from('after it'));
      }
      if (at === '/closing') socket.close(4100, 'bye');
      if (at === '/last') for (let i = 0; i < 50; ++i) socket.send(Buffer.alloc(100, i));
    });
    await new Promise(resolve => wss.on('listening', resolve));
    const server = `ws://127.0.0.1:${wss.address().port}`;
    const root = path.join(BUILD, 'web-websocket');
    // Runs the page to its end; its checks' lines are logged and none may fail.
    const runPage = async (context, url, what) => {
      const page = await context.newPage();
      const lines = [];
      const finished = new Promise(resolve => page.on('console', m => {
        lines.push(m.text());
        if (m.text().startsWith('finished')) resolve();
      }));
      let timer, fail;
      const failed = new Promise((_, reject) => {
        fail = why => reject(new Error(`${what}: ${why}:\n${lines.join('\n')}`));
        timer = setTimeout(() => fail('the page did not finish'), 20000);
      });
      page.on('pageerror', e => fail('page error: ' + e.message));
      await page.goto(url);
      await Promise.race([finished, failed]);
      clearTimeout(timer);
      for (const line of lines) if (/^(ok|FAILED):/.test(line)) log(`  page (${what}): ${line}`);
      check(lines.includes('finished with 0 failures'), `${what}: the page's own checks pass`);
      await page.close();
    };
    const site = await serve(root);
    try {
      const context = await b.newContext();
      await runPage(context, `http://127.0.0.1:${site.address().port}/index.html?server=${server}`, 'http');
      // The server hears of the last closes a moment after the page has finished.
      const closed = ['/echo', '/text', '/big', '/closing', '/going', '/dropped', '/last'];
      for (let i = 0; i < 500 && closed.some(p => !seen[p] || seen[p].code === null); ++i)
        await new Promise(resolve => setTimeout(resolve, 10));
      const code = p => seen[p] && seen[p].code;
      check(seen['/echo'] && seen['/echo'].messages === 4 && code('/echo') === 4321,
            `the server got the four messages sent before Close and its code (${JSON.stringify(seen['/echo'])})`);
      check(code('/text') === 4003, `a refused text message: the page closed with 4003 (${code('/text')})`);
      check(code('/big') === 4009, `a refused long message: the page closed with 4009 (${code('/big')})`);
      check(code('/going') === 4001, `Close with 1001: the page closed with 4001 (${code('/going')})`);
      check(code('/closing') === 4100, `the server's own close (${code('/closing')})`);
      check(code('/dropped') === 1000, `a dropped connection is closed (${code('/dropped')})`);
      check(code('/last') === 1000, `ending the endpoint closes its connections (${code('/last')})`);
      await context.close();

      // Served over https (the page's files handed over by the browser's route).
      const secure = await b.newContext();
      await secure.route('https://page.test/**', route => {
        const file = path.join(root, new URL(route.request().url()).pathname.slice(1));
        if (!fs.existsSync(file)) return route.fulfill({status: 404});
        route.fulfill({status: 200, contentType: TYPES[path.extname(file)] || 'application/octet-stream',
                       body: fs.readFileSync(file)});
      });
      await runPage(secure, `https://page.test/index.html?server=${server}&insecure=1`, 'https');
      await secure.close();
    } finally {
      site.close();
      wss.close();
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
