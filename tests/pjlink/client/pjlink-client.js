// SPDX-License-Identifier: MIT
// A PJLink client this project did not write, the npm package pjlink, against projectord:
// every command of the mapping, a password right, wrong and missing, and two clients at once.
//   node pjlink-client.js OPEN_PORT LOCKED_PORT PASSWORD
// Prints one JSON line naming every check, then one line per check as it ends:
//   {"plan":["class",...]}  {"check":"class","ok":true}  {"check":"name","ok":false,"why":"..."}
// Later checks build on earlier ones, so they run in order; one that fails does not stop the
// rest, one that gets no answer does, and those left are reported as not run.
'use strict';
const assert = require('assert');
const PJLink = require('pjlink');
const Command = require('pjlink/lib/command');

const [open, locked] = process.argv.slice(2, 4).map(Number);
const password = process.argv[4];
const AnswerWithinMs = 10000;
const noAnswer = new Error('no answer within 10 s');

// A call's callback as a promise of [error, ...results].
const call = (p, method, ...args) =>
  new Promise((done) => p[method](...args, (...r) => done(r)));
// AVMT 10 and 20: the package's setMute sends only 11, 21, 31 and 30.
const raw = (p, body, parameter) =>
  new Promise((done) => p._addCommand(new Command(body, parameter, (...r) => done(r))));

async function ok(promise, ...expected) {
  const [error, ...results] = await promise;
  assert.ifError(error);
  assert.deepStrictEqual(results, expected);
}
async function fails(promise, message) {
  const [error] = await promise;
  assert.strictEqual(error && error.message, message);
}

const checks = [];
const check = (name, body) => checks.push([name, body]);
let p, q, right;

check('class', () => {
  p = new PJLink('127.0.0.1', open);
  return ok(call(p, 'getClass'), '1');
});
check('name split at its blank', () => ok(call(p, 'getName'), 'Hall', '1'));
check('manufacturer', () => ok(call(p, 'getManufacturer'), 'Maker'));
check('model left empty', () => ok(call(p, 'getModel')));
check('other information', () => ok(call(p, 'getInfo'), 'Room', '2.14'));
check('power read in standby', () => ok(call(p, 'getPowerState'), 0));
check('power on', () => ok(call(p, 'powerOn')));
check('power read when on', () => ok(call(p, 'getPowerState'), 1));
check('lamp on', () => ok(call(p, 'getLamps'), [{ hours: 123, on: true }]));
check('input list', async () => {
  const inputs = (await call(p, 'getInputs'))[1].map((i) => i.code);
  assert.deepStrictEqual(inputs, ['11', '12', '21']);
});
for (const code of ['12', '21', '11']) {
  check(`input ${code}`, async () => {
    await ok(call(p, 'setInput', code));
    assert.strictEqual((await call(p, 'getInput'))[1].code, code);
  });
}
check('input out of parameter', () => fails(call(p, 'setInput', '31'), 'Out of parameter'));
for (const [name, set, state] of [
  ['mute both', () => call(p, 'setMute', { audio: true, video: true }), { audio: true, video: true }],
  ['unmute both', () => call(p, 'setMute', { audio: false, video: false }), { audio: false, video: false }],
  ['mute video', () => call(p, 'setMute', { video: true }), { audio: false, video: true }],
  ['AVMT 10', () => raw(p, 'AVMT', '10'), { audio: false, video: false }],
  ['mute audio', () => call(p, 'setMute', { audio: true }), { audio: true, video: false }],
  ['AVMT 20', () => raw(p, 'AVMT', '20'), { audio: false, video: false }],
]) {
  check(name, async () => {
    await ok(set());
    await ok(call(p, 'getMute'), state);
  });
}
check('errors', () => ok(call(p, 'getErrors'), null));
check('power off', () => ok(call(p, 'powerOff')));
check('power read when off', () => ok(call(p, 'getPowerState'), 0));
check('two clients at once', () => {
  q = new PJLink('127.0.0.1', open);
  return Promise.all([
    ok(call(p, 'getLamps'), [{ hours: 123, on: false }]),
    ok(call(q, 'getPowerState'), 0),
    ok(call(q, 'getInput'), { source: 1, channel: 1, code: '11', name: 'RGB - 1' }),
  ]);
});
check('password right', () => {
  right = new PJLink('127.0.0.1', locked, password);
  return ok(call(right, 'getPowerState'), 0);
});
check('no digest after the first', () => ok(call(right, 'getClass'), '1'));
check('password wrong', () =>
  fails(call(new PJLink('127.0.0.1', locked, password + 'x'), 'getClass'), 'Authorization failed'));
check('password missing', () =>
  fails(call(new PJLink('127.0.0.1', locked), 'getClass'), 'Authorization failed'));

const say = (o) => console.log(JSON.stringify(o));

async function main() {
  say({ plan: checks.map(([name]) => name) });
  let hung = null;
  for (const [name, body] of checks) {
    if (hung) {
      say({ check: name, ok: false, why: `not run: "${hung}" got no answer` });
      continue;
    }
    let timer;
    const late = new Promise((_, reject) => {
      timer = setTimeout(() => reject(noAnswer), AnswerWithinMs);
    });
    try {
      await Promise.race([body(), late]);
      say({ check: name, ok: true });
    } catch (e) {
      if (e === noAnswer) hung = name;
      say({ check: name, ok: false, why: e.message });
    } finally {
      clearTimeout(timer);
    }
  }
  for (const c of [p, q, right]) if (c) c.disconnect();
}

main().then(
  () => process.exit(0),
  (e) => {
    console.error(e.stack);
    process.exit(1);
  });
