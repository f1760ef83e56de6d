// Network sessions of the browser tests: desktop programs of a session (the test
// program tests/net/net_peer.cpp, driven a command a line, and tolvane-host), free ports,
// and what a page says on its console.
import {spawn} from 'node:child_process';
import dgram from 'node:dgram';
import net from 'node:net';
import path from 'node:path';

// A port free on 127.0.0.1 for UDP and TCP both (a session takes both).
export async function freePort() {
  for (;;) {
    const port = 20000 + Math.floor(Math.random() * 40000);
    const tcp = await new Promise(resolve => {
      const s = net.createServer();
      s.once('error', () => resolve(false));
      s.listen(port, '0.0.0.0', () => s.close(() => resolve(true)));
    });
    if (!tcp) continue;
    const udp = await new Promise(resolve => {
      const s = dgram.createSocket('udp4');
      s.once('error', () => resolve(false));
      s.bind(port, '0.0.0.0', () => s.close(() => resolve(true)));
    });
    if (udp) return port;
  }
}

const sleep = ms => new Promise(resolve => setTimeout(resolve, ms));

// Waits until `test` (which may be async) is true, trying every 100 ms; false after `ms`.
export async function until(test, ms) {
  const end = Date.now() + ms;
  for (;;) {
    if (await test()) return true;
    if (Date.now() >= end) return false;
    await sleep(100);
  }
}

// A desktop program of the session: ask(line) sends a command and answers its result.
export function desktop(build, env, log) {
  const child = spawn(path.join(build, 'tests', 'net_peer'), [], {
    env: {...process.env, SDL_VIDEODRIVER: 'offscreen', SDL_AUDIODRIVER: 'dummy', ...env},
    stdio: ['pipe', 'pipe', 'inherit'],
  });
  const waiting = [];
  let buffer = '';
  child.stdout.on('data', d => {
    buffer += d;
    for (let i; (i = buffer.indexOf('\n')) >= 0;) {
      const line = buffer.slice(0, i);
      buffer = buffer.slice(i + 1);
      if (line.startsWith('= ') && waiting.length) waiting.shift()(line.slice(2));
    }
  });
  const gone = new Promise(resolve => child.on('exit', () => {
    while (waiting.length) waiting.shift()(null);
    resolve();
  }));
  return {
    child,
    ask: line => new Promise(resolve => {
      waiting.push(resolve);
      child.stdin.write(line + '\n');
      if (log) log('desktop', child.pid, '<', line);
    }),
    kill: async () => {
      child.kill('SIGKILL');
      await gone;
    },
    end: async () => {
      child.stdin.end();
      await gone;
    },
  };
}

// tolvane-host on those ports: the lines it logged so far, and its end.
export function sessionHost(build, args) {
  const child = spawn(path.join(build, 'tolvane-host'), args, {stdio: ['ignore', 'pipe', 'pipe']});
  const lines = [];
  let buffer = '';
  const take = d => {
    buffer += d;
    for (let i; (i = buffer.indexOf('\n')) >= 0;) {
      lines.push(buffer.slice(0, i));
      buffer = buffer.slice(i + 1);
    }
  };
  child.stdout.on('data', take);
  child.stderr.on('data', take);
  const exit = new Promise(resolve => child.on('exit', (code, signal) => resolve({code, signal})));
  return {child, lines, exit, stop: async () => { child.kill('SIGTERM'); return exit; }};
}

// The lines a page writes to its console (STDOUT), as they come.
export function consoleLines(page) {
  const lines = [];
  page.on('console', m => { if (m.type() !== 'error') lines.push(m.text()); });
  return lines;
}
