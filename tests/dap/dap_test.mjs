// Drives `tolvanec dap` through a real debug client against debuggee.bas: breakpoints in a
// SUB called from a loop, the stack, locals, an array element, a record's field, a new
// value the program then prints, steps, a conditional breakpoint in an included file, and
// a fatal runtime error stopped with its line and variables, then ending the program.
//
//   node dap_test.mjs TOLVANEC MODULES_FOLDER
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const [tolvanec, modules] = process.argv.slice(2);
const require = createRequire(path.join(path.resolve(modules), 'index.js'));
const { DebugClient } = require('@vscode/debugadapter-testsupport');

const here = path.dirname(fileURLToPath(import.meta.url));
const main = path.join(here, 'debuggee.bas');
const lib = path.join(here, 'debuggee_lib.bas');
const LINE = { addLocal: 20, addTotal: 21, typeField: 3, loopGrid: 25, loopAdd: 26, loopPrint: 27, fatal: 33 };
const LIB = { scaleReturn: 4 };

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
      source: { path: main }, breakpoints: [{ line: LINE.addTotal }, { line: LINE.typeField }, { line: 23 }] });
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
                     [['Scale', lib, LIB.scaleReturn], ['main program', main, 31]]);
    assert.equal((await evaluate('scaled', 1)).result, '300');
    assert.equal((await evaluate('total', 1)).result, '128');  // 100 + 2·(2 + 3 + 4 + 5)
  });

  await check('a fatal runtime error stops with its text and line, its variables readable', async () => {
    await client.setBreakpointsRequest({ source: { path: lib }, breakpoints: [] });
    const event = await resume('continueRequest', 'exception');
    assert.match(event.body.text, /runtime error 9 \(array index out of range\) at debuggee\.bas:33/);
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
  await check('stopOnEntry stops at the first statement; terminate ends the program', async () => {
    const stopped = client.waitForEvent('stopped');
    await Promise.all([client.configurationSequence(), client.launch({ program: main, stopOnEntry: true })]);
    assert.equal((await stopped).body.reason, 'entry');
    assert.deepEqual((await topFrame()).map((f) => f.line), [11]);
    const terminated = client.waitForEvent('terminated');
    await client.terminateRequest({});
    await terminated;
  });
} finally {
  await client.stop();
}

console.log(`${9 - failures.length} passed, ${failures.length} failed`);
process.exit(failures.length ? 1 : 0);
