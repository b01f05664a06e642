// SPDX-License-Identifier: MIT
// A PJLink client this project did not write, the npm package pjlink, against projectord:
// every command of the mapping, a password right, wrong and missing, and two clients at once.
//   node pjlink-client.js OPEN_PORT LOCKED_PORT PASSWORD
// Prints what failed and exits 1, or exits 0.
'use strict';
const assert = require('assert');
const PJLink = require('pjlink');
const Command = require('pjlink/lib/command');

const [open, locked] = process.argv.slice(2, 4).map(Number);
const password = process.argv[4];

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

async function main() {
  const p = new PJLink('127.0.0.1', open);
  await ok(call(p, 'getClass'), '1');
  await ok(call(p, 'getName'), 'Hall', '1'); // NAME "Hall 1", split at its blank
  await ok(call(p, 'getManufacturer'), 'Maker');
  await ok(call(p, 'getModel')); // INF2 left empty
  await ok(call(p, 'getInfo'), 'Room', '2.14');
  await ok(call(p, 'getPowerState'), 0);
  await ok(call(p, 'powerOn'));
  await ok(call(p, 'getPowerState'), 1);
  await ok(call(p, 'getLamps'), [{ hours: 123, on: true }]);
  const inputs = (await call(p, 'getInputs'))[1].map((i) => i.code);
  assert.deepStrictEqual(inputs, ['11', '12', '21']);
  for (const code of ['12', '21', '11']) {
    await ok(call(p, 'setInput', code));
    assert.strictEqual((await call(p, 'getInput'))[1].code, code);
  }
  await fails(call(p, 'setInput', '31'), 'Out of parameter');
  const mutes = [
    [() => call(p, 'setMute', { audio: true, video: true }), { audio: true, video: true }],
    [() => call(p, 'setMute', { audio: false, video: false }), { audio: false, video: false }],
    [() => call(p, 'setMute', { video: true }), { audio: false, video: true }],
    [() => raw(p, 'AVMT', '10'), { audio: false, video: false }],
    [() => call(p, 'setMute', { audio: true }), { audio: true, video: false }],
    [() => raw(p, 'AVMT', '20'), { audio: false, video: false }],
  ];
  for (const [set, state] of mutes) {
    await ok(set());
    await ok(call(p, 'getMute'), state);
  }
  await ok(call(p, 'getErrors'), null);
  await ok(call(p, 'powerOff'));
  await ok(call(p, 'getPowerState'), 0);

  // Two clients at once: each gets its own answers.
  const q = new PJLink('127.0.0.1', open);
  await Promise.all([
    ok(call(p, 'getLamps'), [{ hours: 123, on: false }]),
    ok(call(q, 'getPowerState'), 0),
    ok(call(q, 'getInput'), { source: 1, channel: 1, code: '11', name: 'RGB - 1' }),
  ]);

  const right = new PJLink('127.0.0.1', locked, password);
  await ok(call(right, 'getPowerState'), 0);
  await ok(call(right, 'getClass'), '1'); // no digest after the first
  await fails(call(new PJLink('127.0.0.1', locked, password + 'x'), 'getClass'),
              'Authorization failed');
  await fails(call(new PJLink('127.0.0.1', locked), 'getClass'), 'Authorization failed');
  for (const c of [p, q, right]) c.disconnect();
}

setTimeout(() => {
  console.error('pjlink-client: no end within 60 s');
  process.exit(1);
}, 60000).unref();
// A callback that never came leaves nothing to wait for: that is a failure, not the end.
process.on('beforeExit', () => {
  console.error('pjlink-client: a call was never answered');
  process.exit(1);
});
main().then(
  () => process.exit(0),
  (e) => {
    console.error(e.stack);
    process.exit(1);
  });
