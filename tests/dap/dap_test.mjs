// Drives `tolvanec dap` through a real debug client against debuggee.bas: breakpoints in a
// SUB called from a loop, the stack, locals, an array element, a record's field, a new
// value the program then prints, steps, a conditional breakpoint in an included file, and
// a fatal runtime error stopped with its line and variables, then ending the program.
//
//   node dap_test.mjs TOLVANEC MODULES_FOLDER
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const [tolvanec, modules] = process.argv.slice(2);
const require = createRequire(path.join(path.resolve(modules), 'index.js'));
const { DebugClient } = require('@vscode/debugadapter-testsupport');

const here = path.dirname(fileURLToPath(import.meta.url));
const main = path.join(here, 'debuggee.bas');
const lib = path.join(here, 'debuggee_lib.bas');
// The line of a file that starts with `text` (after its indentation).
function lineOf(file, text) {
  const lines = fs.readFileSync(file, 'utf8').split('\n');
  const i = lines.findIndex((l) => l.trimStart().startsWith(text));
  assert.ok(i >= 0, `${text} is not in ${file}`);
  return i + 1;
}
const LINE = {
  first: lineOf(main, 'IF GETCOMMANDLINE$'), spin: lineOf(main, 'WHILE spin'), typeField: lineOf(main, 'x'),
  endSub: lineOf(main, 'END SUB'), addLocal: lineOf(main, 'LOCAL twice'), addTotal: lineOf(main, 'total = total'),
  loopGrid: lineOf(main, 'grid(i - 1, 1)'), loopAdd: lineOf(main, 'Add(i)'), loopPrint: lineOf(main, 'STDOUT "total'),
  loopScale: lineOf(main, 'Scale(i)'), fatal: lineOf(main, 'x = grid(9, 9)'),
  countdownReturn: lineOf(main, 'RETURN n'), countdownCall: lineOf(main, 'Countdown(3)'),
};
const LIB = { scaleReturn: lineOf(lib, 'RETURN scaled') };

let client;
const failures = [];

async function check(name, body) {
  try {
    await body();
    console.log(`ok   ${name}`);
  } catch (e) {
    failures.push(name);
    console.log(`FAIL ${name}\n${e.stack}`);
  }
}

let printed = '';

async function start() {
  client = new DebugClient(tolvanec, 'dap', 'tolvane');
  client.defaultTimeout = 60000;  // the first launch builds the program
  printed = '';
  client.on('output', (e) => { if (e.body.category === 'stdout') printed += e.body.output; });
  await client.start();
}

// Waits until the program has printed `text` (it arrives in output events).
async function printedLine(text) {
  while (!printed.split('\n').includes(text)) await client.waitForEvent('output');
}

async function topFrame() {
  const st = await client.stackTraceRequest({ threadId: 1 });
  return st.body.stackFrames;
}

async function variables(reference, extra = {}) {
  const r = await client.variablesRequest({ variablesReference: reference, ...extra });
  return Object.fromEntries(r.body.variables.map((v) => [v.name, v]));
}

async function scopes(frameId) {
  const r = await client.scopesRequest({ frameId });
  return Object.fromEntries(r.body.scopes.map((s) => [s.name, s.variablesReference]));
}

async function evaluate(expression, frameId) {
  return (await client.evaluateRequest({ expression, frameId, context: 'watch' })).body;
}

// Resumes with `request` and waits for the stop it leads to.
async function resume(request, reason) {
  const stopped = client.waitForEvent('stopped');
  await client[request]({ threadId: 1 });
  const event = await stopped;
  assert.equal(event.body.reason, reason);
  return event;
}

await start();
try {
  await check('a breakpoint in a SUB called from a loop stops there, with the stack of SUBs', async () => {
    await client.hitBreakpoint({ program: main }, { path: main, line: LINE.addTotal });
    const frames = await topFrame();
    assert.deepEqual(frames.map((f) => [f.name, f.source.path, f.line]),
                     [['Add', main, LINE.addTotal], ['main program', main, LINE.loopAdd]]);
  });

  await check('only lines that hold a statement take breakpoints', async () => {
    const r = await client.setBreakpointsRequest({
      source: { path: main }, breakpoints: [{ line: LINE.addTotal }, { line: LINE.typeField }, { line: LINE.endSub }] });
    assert.deepEqual(r.body.breakpoints.map((b) => b.verified), [true, false, false]);
  });

  await check('locals, an array element and a record field read by their BASIC names', async () => {
    const s = await scopes(1);
    const locals = await variables(s.Locals);
    assert.equal(locals.amount.value, '1');
    assert.equal(locals.twice.value, '2');
    const globals = await variables(s.Globals);
    assert.equal(globals['label$'].value, '"start"');
    assert.equal(globals.grid.indexedVariables, 15);
    // grid(0, 1) is element 5 (first index fastest): one page of two elements from there
    const page = await variables(globals.grid.variablesReference, { filter: 'indexed', start: 5, count: 2 });
    assert.deepEqual(Object.keys(page), ['(0, 1)', '(1, 1)']);
    assert.equal(page['(0, 1)'].value, '10');
    const ship = await variables(globals.ship.variablesReference);
    assert.equal(ship['name$'].value, '"Ark"');
    assert.equal((await variables(ship.pos.variablesReference)).x.value, '5');
    assert.equal((await variables(ship.hits.variablesReference))['(2)'].value, '7');
    assert.equal((await evaluate('ship.hits(2)', 1)).result, '7');
    assert.equal((await evaluate('GRID(0, 1)', 2)).result, '10');
    await assert.rejects(evaluate('grid(5, 0)', 1), /index out of range/);
    await assert.rejects(evaluate('nothing', 1), /no variable nothing/);
  });

  await check('a value set in the debugger is the one the program goes on with', async () => {
    const s = await scopes(1);
    const r = await client.setVariableRequest({ variablesReference: s.Locals, name: 'twice', value: '100' });
    assert.equal(r.body.value, '100');
    await assert.rejects(client.setVariableRequest({ variablesReference: s.Locals, name: 'twice', value: 'lots' }),
                         /not a number/);
    const globals = (await scopes(1)).Globals;
    await variables(globals);
    await client.setVariableRequest({ variablesReference: globals, name: 'label$', value: '"changed"' });
    await client.setBreakpointsRequest({ source: { path: main }, breakpoints: [] });
    await resume('stepOutRequest', 'step');
    assert.deepEqual((await topFrame()).map((f) => f.line), [LINE.loopPrint]);
    assert.equal(printed, '');  // stopped before the loop's first line of output
    await resume('nextRequest', 'step');
    await printedLine('total 100');
    assert.deepEqual((await topFrame()).map((f) => f.line), [LINE.loopGrid]);
  });

  await check('next steps over a SUB, stepIn goes into it', async () => {
    await resume('nextRequest', 'step');
    assert.deepEqual((await topFrame()).map((f) => f.line), [LINE.loopAdd]);
    await resume('stepInRequest', 'step');
    assert.deepEqual((await topFrame()).map((f) => [f.name, f.line]),
                     [['Add', LINE.addLocal], ['main program', LINE.loopAdd]]);
  });

  await check('a conditional breakpoint in an included file stops only where it holds', async () => {
    const r = await client.setBreakpointsRequest({
      source: { path: lib }, breakpoints: [{ line: LIB.scaleReturn, condition: 'n = 3' }] });
    assert.equal(r.body.breakpoints[0].verified, true);
    await resume('continueRequest', 'breakpoint');
    await printedLine('label changed');
    const frames = await topFrame();
    assert.deepEqual(frames.map((f) => [f.name, f.source.path, f.line]),
                     [['Scale', lib, LIB.scaleReturn], ['main program', main, LINE.loopScale]]);
    assert.equal((await evaluate('scaled', 1)).result, '300');
    assert.equal((await evaluate('total', 1)).result, '128');  // 100 + 2·(2 + 3 + 4 + 5)
  });

  await check('a fatal runtime error stops with its text and line, its variables readable', async () => {
    await client.setBreakpointsRequest({ source: { path: lib }, breakpoints: [] });
    const event = await resume('continueRequest', 'exception');
    assert.match(event.body.text, new RegExp(`runtime error 9 \\(array index out of range\\) at debuggee\\.bas:${LINE.fatal}$`));
    const info = await client.exceptionInfoRequest({ threadId: 1 });
    assert.match(info.body.description, /runtime error 9/);
    assert.deepEqual((await topFrame()).map((f) => f.line), [LINE.fatal]);
    assert.equal((await evaluate('i', 1)).result, '5');
  });

  await check('continuing ends the program as the error does, with its status', async () => {
    const exited = client.waitForEvent('exited');
    const terminated = client.waitForEvent('terminated');
    await client.continueRequest({ threadId: 1 });
    assert.equal((await exited).body.exitCode, 9);
    await terminated;
  });
} finally {
  await client.stop();
}

await start();
try {
  await check('stopOnEntry stops at the first statement; pause stops a busy loop; terminate ends it', async () => {
    const stopped = client.waitForEvent('stopped');
    await Promise.all([client.configurationSequence(),
                       client.launch({ program: main, stopOnEntry: true, args: ['spin'] })]);
    assert.equal((await stopped).body.reason, 'entry');
    assert.deepEqual((await topFrame()).map((f) => f.line), [LINE.first]);
    await client.continueRequest({ threadId: 1 });
    await printedLine('spinning');
    const paused = client.waitForEvent('stopped');
    await client.pauseRequest({ threadId: 1 });
    assert.equal((await paused).body.reason, 'pause');
    assert.deepEqual((await topFrame()).map((f) => f.line), [LINE.spin]);
    const globals = (await scopes(1)).Globals;
    assert.equal((await variables(globals)).spin.value, '1');
    await client.setVariableRequest({ variablesReference: globals, name: 'spin', value: '0' });
    await resume('continueRequest', 'exception');  // out of the loop, on to the fatal error
    assert.match(printed, /total 30\n/);
    const exited = client.waitForEvent('exited');
    const terminated = client.waitForEvent('terminated');
    await client.terminateRequest({});
    await terminated;
    assert.notEqual((await exited).body.exitCode, 0);
  });
} finally {
  await client.stop();
}

await start();
try {
  await check('a program that does not build fails the launch with the compiler\'s report', async () => {
    const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'dap-'));
    const broken = path.join(folder, 'broken.bas');
    fs.writeFileSync(broken, 'x = (1 +\n');
    await client.initializeRequest();
    try {
      await assert.rejects(client.launch({ program: broken }), /cannot be built[^]*broken\.bas:1/);
    } finally {
      fs.rmSync(folder, { recursive: true, force: true });
    }
  });

  await check('conditions compare numbers and strings; a condition that does not hold does not stop', async () => {
    const stopped = client.waitForEvent('stopped');
    await client.setBreakpointsRequest({ source: { path: main },
                                         breakpoints: [{ line: LINE.addTotal, condition: 'twice >= 6' }] });
    await Promise.all([client.launch({ program: main }), client.configurationDoneRequest()]);
    assert.equal((await stopped).body.reason, 'breakpoint');
    assert.equal((await evaluate('amount', 1)).result, '3');
    await client.setBreakpointsRequest({ source: { path: main }, breakpoints: [
      { line: LINE.addTotal, condition: 'amount = twice' }, { line: LINE.loopScale, condition: 'label$ = "start"' }] });
    await resume('continueRequest', 'breakpoint');
    assert.deepEqual((await topFrame()).map((f) => f.line), [LINE.loopScale]);
    assert.equal((await evaluate('total', 1)).result, '30');
  });

  await check('an element and a field change through the variables they are listed under', async () => {
    const ship = await variables((await variables((await scopes(1)).Globals)).ship.variablesReference);
    await variables(ship.hits.variablesReference);
    await client.setVariableRequest({ variablesReference: ship.hits.variablesReference, name: '(2)', value: '42' });
    await client.setVariableRequest({ variablesReference: ship.pos.variablesReference, name: 'y', value: '-0.25' });
    const globals = await variables((await scopes(1)).Globals);
    await client.setVariableRequest({ variablesReference: globals.ship.variablesReference, name: 'name$', value: 'Bee' });
    assert.equal((await evaluate('ship.hits(2)', 1)).result, '42');
    assert.equal((await evaluate('ship.pos.y', 1)).result, '-0.25');
    assert.equal((await evaluate('ship.name$', 1)).result, '"Bee"');
    const last = await variables(globals.grid.variablesReference, { filter: 'indexed', start: 14, count: 10 });
    assert.deepEqual(Object.keys(last), ['(4, 2)']);
  });

  await check('each frame of a recursive SUB has its own locals', async () => {
    await client.setBreakpointsRequest({ source: { path: main },
                                         breakpoints: [{ line: LINE.countdownReturn, condition: 'n = 0' }] });
    await resume('continueRequest', 'breakpoint');
    const frames = await topFrame();
    assert.deepEqual(frames.map((f) => [f.name, f.line]),
                     [['Countdown', LINE.countdownReturn], ['Countdown', LINE.countdownReturn - 1],
                      ['Countdown', LINE.countdownReturn - 1], ['Countdown', LINE.countdownReturn - 1],
                      ['main program', LINE.countdownCall]]);
    for (let frame = 1; frame <= 4; ++frame) {
      assert.equal((await evaluate('n', frame)).result, String(frame - 1));
      assert.equal((await variables((await scopes(frame)).Locals)).n.value, String(frame - 1));
    }
    assert.deepEqual(Object.keys(await scopes(5)), ['Globals']);
    await assert.rejects(evaluate('n', 5), /no variable n/);
  });
} finally {
  await client.stop();
}

// The debug build the sessions above made, driven by hand over its socket with requests
// that are wrong in every way: each is refused with a reason, and the program lives on.
async function agentSession(program) {
  const server = net.createServer();
  await new Promise((done) => server.listen(0, '127.0.0.1', done));
  const child = spawn(program, [], { env: { ...process.env, TOLVANE_DEBUG_PORT: String(server.address().port) } });
  const status = new Promise((done) => child.on('exit', (code) => done(code)));
  const socket = await new Promise((done) => server.once('connection', done));
  let buffered = '';
  const waiting = [];
  socket.on('data', (d) => {
    buffered += d;
    for (let nl; (nl = buffered.indexOf('\n')) >= 0; buffered = buffered.slice(nl + 1)) waiting.push(buffered.slice(0, nl));
    socket.emit('lines');
  });
  const line = async () => {
    while (!waiting.length) await new Promise((done) => socket.once('lines', done));
    return waiting.shift();
  };
  const ask = async (question) => {
    socket.write(question + '\n');
    const answer = [];
    for (let l = await line(); l !== '.'; l = await line()) answer.push(l);
    return answer;
  };
  return { line, ask, status, send: (text) => socket.write(text + '\n'), close: () => { socket.destroy(); server.close(); } };
}

await check('the agent refuses wrong requests with a reason and the program lives on', async () => {
  const cache = path.join(process.env.XDG_CACHE_HOME || path.join(os.homedir(), '.cache'), 'tolvanec');
  const folder = fs.readdirSync(cache).find((d) => d.startsWith('debuggee-') && d.endsWith('-debug'));
  const agent = await agentSession(path.join(cache, folder, 'debuggee'));
  try {
    assert.match(await agent.line(), /^hello\t.*debuggee\.bas\t.*debuggee_lib\.bas$/);
    for (const wrong of ['bp\t99\t5', 'bp\t-1\t5', 'bp\t0\t-3', 'bp\tx\ty', 'bps\t-1', 'bps\t7',
                         '\t\t\t', 'x'.repeat(3000000)])
      agent.send(wrong);
    const refused = {
      'nonsense': /unknown request nonsense/,
      'vars\t99\tG\t0\t0': /no such frame/, 'vars\t-1\tG\t0\t0': /a frame and a path/,
      'vars\t0\tG/grid/#99999999999\t0\t0': /not dimensioned|out of range/, 'vars\t0\tG/grid/#-1\t0\t0': /./,
      'vars\t0\tG/nothing\t0\t0': /no variable nothing/, 'vars\t0\tQ\t0\t0': /not a path/,
      'vars\t0\tG\t-5\t2': /a start and a count/, 'vars\t0\tG/ship/pos/z\t0\t0': /no field z in Point/,
      'vars\t0\tG/total/x\t0\t0': /has no fields/, 'vars\t0\tG/ship/hits/#3\t0\t0': /index out of range/,
      'eval\t0\tgrid(1': /./, 'eval\t0\tship..x': /field name/, 'eval\t0\tship.hits(1, 2, 3, 4, 5, 6, 7, 8, 9)': /./,
      'eval\t0\ttotal + 1': /only a variable/, 'set\t0\tG/ship\t5': /only a number or a string/,
      'set\t0\tG/total\t12abc': /not a number/, 'set\t0\tL/amount\t1': /no variable amount/,
    };
    for (const [question, why] of Object.entries(refused)) {
      const answer = await agent.ask(question);
      assert.equal(answer.length, 1, `${question}: ${answer.join(' / ').slice(0, 200)}`);
      assert.match(answer[0], /^!\t/, question);
      assert.match(answer[0], why, `${question}: ${answer[0].slice(0, 200)}`);
    }
    assert.deepEqual(await agent.ask('stack'), ['=\tmain program\t0\t0']);
    assert.deepEqual(await agent.ask('vars\t0\tG/ship/hits\t1\t1000'),
                     ['=\t(1)\t0\tnumber\t0\t0\tG/ship/hits/#1', '=\t(2)\t0\tnumber\t0\t0\tG/ship/hits/#2']);
    // a condition that cannot be worked out stops, and says why
    agent.send(`bp\t0\t${LINE.fatal}\tgrid(99) = 1`);
    agent.send('run');
    assert.match(await agent.line(), /^stopped\tbreakpoint\tthe condition grid\(99\) = 1 cannot be worked out: index/);
    agent.send('continue');
    assert.match(await agent.line(), /^stopped\texception\truntime error 9/);
    agent.send('continue');
    assert.equal(await agent.status, 9);
  } finally {
    agent.close();
  }
});

console.log(`${14 - failures.length} passed, ${failures.length} failed`);
process.exit(failures.length ? 1 : 0);
