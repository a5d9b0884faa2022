// Scenarios that Oracle's own thin driver (npm package oracledb, Thin mode, no client libraries) runs against
// vestra-emu: node scenarios.js SCENARIO PORT. Exit code 0 when the scenario holds, 1 with the reason otherwise.
'use strict';

const assert = require('assert');
const oracledb = require('oracledb');

const [scenario, port] = process.argv.slice(2);
const connectString = `127.0.0.1:${port}/bnx`;

function connect(user = 'scott', password = 'tiger') {
  return oracledb.getConnection({ user, password, connectString });
}

async function expectError(promise, check) {
  let err = null;
  try {
    await promise;
  } catch (e) {
    err = e;
  }
  assert.ok(err, 'an error was expected, the call succeeded');
  check(err);
}

const scenarios = {
  // Logon, the server's version, logoff (both verifier kinds: the emulator's option picks which).
  async logon() {
    const conn = await connect();
    assert.match(conn.oracleServerVersionString, /^19\./, 'a 19c server version');
    await conn.ping();
    await conn.commit();
    await conn.rollback();
    await conn.close();
    // the same account a second time, with another user alongside
    const again = await connect();
    const system = await connect('system', 'manager');
    await again.close();
    await system.close();
  },

  // A wrong password, an unknown user and a password in the wrong case are all ORA-01017.
  async wrongPassword() {
    for (const [user, password] of [['scott', 'lion'], ['nobody', 'tiger'], ['scott', 'TIGER']]) {
      await expectError(connect(user, password), (e) => {
        assert.strictEqual(e.errorNum, 1017, `${user}/${password}: ${e.message}`);
        assert.match(e.message, /ORA-01017/);
      });
    }
    const conn = await connect(); // the server is still fine
    await conn.close();
  },

  // A server that requires encryption refuses a client that has none, with a clear message.
  async encryptionRequired() {
    await expectError(connect(), (e) => assert.match(e.message, /12660/, e.message));
  },

  // A service the server does not offer is refused with the listener's message.
  async unknownService() {
    await expectError(
      oracledb.getConnection({ user: 'scott', password: 'tiger', connectString: `127.0.0.1:${port}/other` }),
      (e) => assert.match(e.message, /other/, e.message));
  },
};

(async () => {
  const run = scenarios[scenario];
  if (!run) {
    console.error(`unknown scenario ${scenario}`);
    process.exit(2);
  }
  try {
    await run();
    console.log(`ThinPeer ${scenario}: passed`);
  } catch (e) {
    console.error(`ThinPeer ${scenario}: FAILED`);
    console.error(e && e.stack ? e.stack : e);
    process.exit(1);
  }
})();
