// Messages between a page in headless chromium and a program on this machine, over
// WebSocket on loopback: the round trip of a 32-byte message (a message sent, its echo
// awaited; the median and the 99th percentile of ROUNDS after WARM unmeasured) and
// messages per second one way (MESSAGES of 32 bytes sent at once, counted at the
// receiver from a start message to the last one).
//
//   plain:   a plain browser WebSocket in a page, against an echo server in this Node
//            process (the ws package of tools/web);
//   Tolvane: a Tolvane page (bench/ws_echo_page.bas) that joins, over WebSocket, the
//            session of a desktop Tolvane program (bench/ws_echo_desktop.bas), which
//            hosts it and echoes every message back with NETSENDMSG; both are built
//            here with the build's tolvanec.
//
// Run by hand after a build with the browser part:
//
//   node bench/ws_round_trip.mjs [BUILD] [--plain]     (BUILD defaults to build/)
//
// --plain measures the plain WebSocket only. The counts are those of the page's
// program (its CONST line), for both. The pages are served with cross-origin isolation,
// so that the browser's clock is fine enough for round trips of a few microseconds.
import {spawn, spawnSync} from 'node:child_process';
import dgram from 'node:dgram';
import fs from 'node:fs';
import http from 'node:http';
import net from 'node:net';
import {createRequire} from 'node:module';
import os from 'node:os';
import path from 'node:path';
import {fileURLToPath} from 'node:url';

const SOURCE = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
const args = process.argv.slice(2);
const PLAIN_ONLY = args.includes('--plain');
const BUILD = path.resolve(args.find(a => !a.startsWith('--')) || path.join(SOURCE, 'build'));
const modules = createRequire(path.join(SOURCE, 'tools/web/node_modules/x.js'));
const {chromium} = modules('playwright-core');
const {WebSocketServer} = modules('ws');

const PAGE_SOURCE = path.join(SOURCE, 'bench/ws_echo_page.bas');
const DESKTOP_SOURCE = path.join(SOURCE, 'bench/ws_echo_desktop.bas');
const counts = fs.readFileSync(PAGE_SOURCE, 'utf8').match(/^CONST WARM = (\d+), ROUNDS = (\d+), MESSAGES = (\d+)$/m);
if (!counts) throw new Error(`${PAGE_SOURCE}: no line "CONST WARM = .., ROUNDS = .., MESSAGES = .."`);
const [WARM, ROUNDS, MESSAGES] = counts.slice(1).map(Number);
const SESSION_PORT_IN_SOURCE = 'ws://127.0.0.1:26814';

// The median and the 99th percentile (nearest rank) of the round trips, in ms.
function spread(ms) {
  const s = [...ms].sort((a, b) => a - b);
  const rank = q => s[Math.min(s.length - 1, Math.max(0, Math.ceil(q * s.length) - 1))];
  return {median: rank(0.5), p99: rank(0.99)};
}

function report(name, trips, oneWayMs) {
  const {median, p99} = spread(trips);
  console.log(`${name}: round trip median ${median.toFixed(3)} ms, p99 ${p99.toFixed(3)} ms ` +
              `(${trips.length} after ${WARM}); ${MESSAGES} messages one way in ${oneWayMs.toFixed(1)} ms: ` +
              `${Math.round(MESSAGES / (oneWayMs / 1000)).toLocaleString('en')} a second`);
  return median;
}

// Serves a folder, and the plain page, with the headers that isolate the page.
function serve(root) {
  const types = {'.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm'};
  const isolated = {'Cross-Origin-Opener-Policy': 'same-origin', 'Cross-Origin-Embedder-Policy': 'require-corp'};
  const server = http.createServer((req, res) => {
    const name = decodeURIComponent(new URL(req.url, 'http://x').pathname);
    if (name === '/plain.html') {
      res.writeHead(200, {'Content-Type': 'text/html', ...isolated});
      res.end('<!doctype html><title>plain</title>');
      return;
    }
    const file = root && path.resolve(root, name.slice(1) || 'index.html');
    if (!file || !file.startsWith(root + path.sep) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
      res.writeHead(404);
      res.end();
      return;
    }
    res.writeHead(200, {'Content-Type': types[path.extname(file)] || 'application/octet-stream', ...isolated});
    fs.createReadStream(file).pipe(res);
  });
  return new Promise(resolve => server.listen(0, '127.0.0.1', () => resolve(server)));
}

// Headless chromium with software WebGL, as in the tests.
const launch = () => chromium.launch({
  executablePath: '/usr/bin/chromium', headless: true,
  args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--no-first-run',
         '--autoplay-policy=no-user-gesture-required'],
});

// ---- plain: a browser WebSocket against the ws package's server ---------------------

// The echo server at /echo; at /count, the time from a 1-byte start message to the
// MESSAGES-th message after it (this process's clock), answered with one byte.
async function plainServer() {
  const wss = new WebSocketServer({host: '127.0.0.1', port: 0, perMessageDeflate: false});
  const counted = [];
  wss.on('connection', (socket, request) => {
    if (request.url === '/echo') {
      socket.on('message', data => socket.send(data, {binary: true}));
      return;
    }
    let started = 0n, n = -1;
    socket.on('message', data => {
      if (data.length === 1) {
        started = process.hrtime.bigint();
        n = 0;
      } else if (n >= 0 && ++n === MESSAGES) {
        counted.push(Number(process.hrtime.bigint() - started) / 1e6);
        n = -1;
        socket.send(Buffer.from([1]), {binary: true});
      }
    });
  });
  await new Promise(resolve => wss.on('listening', resolve));
  return {wss, url: `ws://127.0.0.1:${wss.address().port}`, counted};
}

// In the page: the round trips, then the one-way messages (sent in one go; the page
// waits for the server's answer).
async function plainPage({url, warm, rounds, messages}) {
  const connect = path => new Promise((resolve, reject) => {
    const ws = new WebSocket(url + path);
    ws.binaryType = 'arraybuffer';
    ws.onopen = () => resolve(ws);
    ws.onerror = () => reject(new Error('cannot connect to ' + url + path));
  });
  if (!crossOriginIsolated) throw new Error('the page is not isolated: its clock is coarse');
  const message = new Uint8Array(32).fill(7);
  const echo = await connect('/echo');
  let arrived = null;
  echo.onmessage = () => arrived();
  const trips = [];
  for (let i = 0; i < warm + rounds; ++i) {
    const started = performance.now();
    await new Promise(resolve => {
      arrived = resolve;
      echo.send(message);
    });
    if (i >= warm) trips.push(performance.now() - started);
  }
  echo.close();
  const count = await connect('/count');
  const done = new Promise(resolve => count.onmessage = resolve);
  count.send(new Uint8Array(1));
  for (let i = 0; i < messages; ++i) count.send(message);
  await done;
  count.close();
  return trips;
}

async function plain(browser, server) {
  const {wss, url, counted} = await plainServer();
  try {
    const context = await browser.newContext();
    const page = await context.newPage();
    await page.goto(`http://127.0.0.1:${server.address().port}/plain.html`);
    const trips = await page.evaluate(plainPage, {url, warm: WARM, rounds: ROUNDS, messages: MESSAGES});
    await context.close();
    return report('plain WebSocket (page and the ws server)', trips, counted[0]);
  } finally {
    wss.close();
  }
}

// ---- Tolvane: a page in the session of a desktop program -----------------------------

// A port free for both the session's datagrams and the WebSocket connections (TCP).
async function freePort() {
  for (;;) {
    const port = await new Promise((resolve, reject) => {
      const s = net.createServer().listen(0, '0.0.0.0', () => {
        const p = s.address().port;
        s.close(() => resolve(p));
      });
      s.on('error', reject);
    });
    const udp = await new Promise(resolve => {
      const s = dgram.createSocket('udp4');
      s.once('error', () => resolve(false));
      s.bind(port, '0.0.0.0', () => s.close(() => resolve(true)));
    });
    if (udp) return port;
  }
}

function build(work, port) {
  const tolvanec = path.join(BUILD, 'compiler/tolvanec');
  const pageSource = path.join(work, 'ws_echo_page.bas');
  const text = fs.readFileSync(PAGE_SOURCE, 'utf8');
  if (!text.includes(SESSION_PORT_IN_SOURCE)) throw new Error(`${PAGE_SOURCE} does not join ${SESSION_PORT_IN_SOURCE}`);
  fs.writeFileSync(pageSource, text.replace(SESSION_PORT_IN_SOURCE, `ws://127.0.0.1:${port}`));
  for (const [what, argv] of [['the desktop program', ['build', DESKTOP_SOURCE, '-o', path.join(work, 'echo')]],
                              ['the page', ['build', '--web', pageSource, '-o', path.join(work, 'page'), '--optimize']]]) {
    const run = spawnSync(tolvanec, argv, {stdio: ['ignore', 'ignore', 'pipe'], encoding: 'utf8'});
    if (run.status !== 0) throw new Error(`tolvanec could not build ${what}:\n${run.stderr}`);
  }
}

// The desktop program, hosting on that port; resolves once it says it is hosting.
function startDesktop(work, port) {
  const child = spawn(path.join(work, 'echo'), [], {
    cwd: work, stdio: ['ignore', 'pipe', 'pipe'],
    env: {...process.env, SDL_VIDEODRIVER: 'offscreen', SDL_AUDIODRIVER: 'dummy', TOLVANE_NET_PORT: String(port)}});
  const lines = [];
  let pending = '', errors = '';
  child.stderr.setEncoding('utf8');
  child.stderr.on('data', chunk => { errors += chunk; });
  const hosting = new Promise((resolve, reject) => {
    child.stdout.setEncoding('utf8');
    child.stdout.on('data', chunk => {
      pending += chunk;
      let end;
      while ((end = pending.indexOf('\n')) >= 0) {
        const line = pending.slice(0, end).trim();
        pending = pending.slice(end + 1);
        lines.push(line);
        if (line === 'hosting') resolve();
        if (line.startsWith('bench:')) reject(new Error(`the desktop program: ${line}\n${errors}`));
      }
    });
    child.on('exit', code => reject(new Error(`the desktop program ended (${code}) before hosting\n${errors}`)));
  });
  hosting.catch(() => {});  // awaited later; an early end is no unhandled rejection meanwhile
  return {child, lines, hosting};
}

async function tolvane(browser) {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'ws-round-trip-'));
  const port = await freePort();
  build(work, port);
  const desktop = startDesktop(work, port);
  const server = await serve(path.join(work, 'page'));
  try {
    await desktop.hosting;
    const context = await browser.newContext({viewport: {width: 320, height: 240}});
    const page = await context.newPage();
    const lines = [];
    let finish;
    const finished = new Promise((resolve, reject) => finish = {resolve, reject});
    page.on('console', m => {
      const line = m.text().trim();
      lines.push(line);
      if (line === 'done') finish.resolve();
      if (line.startsWith('bench:')) finish.reject(new Error(`the page: ${line.slice(7)}`));
    });
    page.on('pageerror', e => finish.reject(e));
    await page.goto(`http://127.0.0.1:${server.address().port}/index.html?TOLVANE_NO_WAIT=1`);
    const timeout = setTimeout(() => finish.reject(new Error('the page did not finish within 5 minutes')), 300000);
    try {
      await finished;
    } finally {
      clearTimeout(timeout);
    }
    await context.close();
    const from = lines.indexOf('rtt_us'), to = lines.indexOf('sent');
    const trips = lines.slice(from + 1, to).map(v => parseFloat(v) / 1000);
    if (from < 0 || to < 0 || trips.length !== ROUNDS || trips.some(v => !(v >= 0)))
      throw new Error(`the page wrote ${trips.length} round trips, not ${ROUNDS}`);
    // The desktop program wrote its count before it answered; its output may still be on its way.
    const counted = () => desktop.lines.findIndex(l => l.startsWith('counted ')) + 1;
    for (let i = 0; i < 500 && !(counted() > 0 && counted() < desktop.lines.length); ++i)
      await new Promise(resolve => setTimeout(resolve, 10));
    const oneWay = counted() > 0 ? parseFloat(desktop.lines[counted()]) : NaN;
    if (!(oneWay > 0)) throw new Error('the desktop program did not say how long the messages took');
    return report('Tolvane page and desktop program (one session)', trips, oneWay);
  } finally {
    server.close();
    desktop.child.kill();
    fs.rmSync(work, {recursive: true, force: true});
  }
}

const browser = await launch();
const server = await serve(null);
let failed = false;
try {
  const plainMedian = await plain(browser, server);
  if (!PLAIN_ONLY) {
    try {
      const median = await tolvane(browser);
      console.log(`the session's round trip: ${(median / plainMedian).toFixed(2)} times the plain one`);
    } catch (e) {
      console.log(`Tolvane page and desktop program: not measured: ${e.message}`);
      failed = true;
    }
  }
} finally {
  await browser.close();
  server.close();
}
process.exit(failed ? 1 : 0);
