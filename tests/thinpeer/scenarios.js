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
  // The simplest query, as every tool sends it first.
  async selectDual() {
    const conn = await connect();
    const r = await conn.execute("select 1 as n, 'x' as s, sysdate as d from dual");
    assert.deepStrictEqual(r.metaData.map((m) => m.name), ['N', 'S', 'D']);
    assert.strictEqual(r.rows.length, 1);
    assert.strictEqual(r.rows[0][0], 1);
    assert.strictEqual(r.rows[0][1], 'x');
    assert.ok(r.rows[0][2] instanceof Date, 'a DATE arrives as a Date');
    // the same statement again runs on the cached cursor (re-execute and fetch)
    const again = await conn.execute("select 1 as n, 'x' as s, sysdate as d from dual");
    assert.strictEqual(again.rows[0][1], 'x');
    const emp = await conn.execute('select empno, ename from emp order by empno');
    assert.ok(emp.rows.length > 10, `EMP has ${emp.rows.length} rows`);
    await conn.close();
  },

  // A missing table is ORA-00942 with its position; the connection stays usable.
  async missingTable() {
    const conn = await connect();
    await expectError(conn.execute('select * from no_such_table'), (e) => {
      assert.strictEqual(e.errorNum, 942, e.message);
      assert.strictEqual(e.offset, 14, 'the error position points at the table name');
    });
    await expectError(conn.execute('selec 1 from dual'), (e) => assert.strictEqual(e.errorNum, 900, e.message));
    const r = await conn.execute('select 2 from dual');
    assert.strictEqual(r.rows[0][0], 2);
    await conn.close();
  },

  // DML with commit and rollback, seen (or not) by a second connection.
  async dmlCommitRollback() {
    const a = await connect();
    const b = await connect();
    await a.execute('create table thin_t (id number, name varchar2(20))');
    let r = await a.execute('insert into thin_t values (:1, :2)', [1, 'eins']);
    assert.strictEqual(r.rowsAffected, 1);
    const count = async (conn) => (await conn.execute('select count(*) from thin_t')).rows[0][0];
    assert.strictEqual(await count(a), 1);
    assert.strictEqual(await count(b), 0, 'uncommitted rows are not seen by another session');
    await a.commit();
    assert.strictEqual(await count(b), 1);
    r = await a.execute('update thin_t set name = :n where id = :i', { n: 'zwei', i: 1 });
    assert.strictEqual(r.rowsAffected, 1);
    await a.rollback();
    const name = await b.execute('select name from thin_t where id = 1');
    assert.strictEqual(name.rows[0][0], 'eins');
    r = await a.executeMany('insert into thin_t values (:1, :2)', [[2, 'b'], [3, 'c'], [4, null]]);
    assert.strictEqual(r.rowsAffected, 3);
    await a.execute('delete from thin_t where id = 2', [], { autoCommit: true });
    assert.strictEqual(await count(b), 3);
    await a.close();
    await b.close();
  },

  // A break while the server works on a long statement (before any row); the connection is usable after.
  async breakLongStatement() {
    const conn = await connect();
    conn.callTimeout = 500;
    await expectError(conn.execute('select count(*) from bench a, bench b where a.amount + b.amount < 0'),
      (e) => assert.match(e.message, /NJS-123|ORA-01013/, e.message));
    conn.callTimeout = 0;
    const r = await conn.execute('select 5 from dual');
    assert.strictEqual(r.rows[0][0], 5);
    await conn.close();
  },

  // PL/SQL with IN, OUT and IN OUT binds, and a REF CURSOR opened by the block and fetched by the client.
  async plsqlOutBindsAndRefCursor() {
    const conn = await connect();
    let r = await conn.execute('begin :x := :a * 2 + 1; end;', {
      x: { dir: oracledb.BIND_OUT, type: oracledb.NUMBER },
      a: 20,
    });
    assert.strictEqual(r.outBinds.x, 41);
    r = await conn.execute("begin select ename into :n from emp where empno = :e; end;", {
      n: { dir: oracledb.BIND_OUT, type: oracledb.STRING, maxSize: 30 },
      e: 7839,
    });
    assert.strictEqual(r.outBinds.n, 'KING');
    r = await conn.execute('begin open :c for select ename from emp where deptno = :d order by ename; end;', {
      c: { dir: oracledb.BIND_OUT, type: oracledb.CURSOR },
      d: 10,
    });
    const rows = await r.outBinds.c.getRows();
    assert.deepStrictEqual(rows.map((x) => x[0]), ['CLARK', 'KING', 'MILLER']);
    await r.outBinds.c.close();
    await expectError(conn.execute('begin :n := :s; end;', {
      n: { dir: oracledb.BIND_OUT, type: oracledb.STRING, maxSize: 2 },
      s: 'too long',
    }), (e) => assert.strictEqual(e.errorNum, 6502, e.message));
    // DML ... RETURNING ... INTO
    r = await conn.execute('update emp set sal = sal + :d where empno = 7369 returning sal, ename into :s, :n', {
      d: 100,
      s: { dir: oracledb.BIND_OUT, type: oracledb.NUMBER },
      n: { dir: oracledb.BIND_OUT, type: oracledb.STRING, maxSize: 20 },
    });
    assert.strictEqual(r.rowsAffected, 1);
    assert.deepStrictEqual(r.outBinds.n, ['SMITH']);
    assert.deepStrictEqual(r.outBinds.s, [900]);
    await conn.rollback();
    r = await conn.execute('select 4 from dual');
    assert.strictEqual(r.rows[0][0], 4);
    await conn.close();
  },

  // A 10 MB CLOB and BLOB written through binds and read back whole.
  async bigLobs() {
    const conn = await connect();
    await conn.execute('create table thin_lobs (id number, c clob, b blob)');
    const text = 'Grüße aus Köln – ' + 'abcdefghij'.repeat(1024 * 1024);
    const bytes = Buffer.alloc(10 * 1024 * 1024);
    for (let i = 0; i < bytes.length; i++) bytes[i] = (i * 7 + 3) & 0xff;
    await conn.execute('insert into thin_lobs values (1, :c, :b)', { c: text, b: bytes }, { autoCommit: true });
    // one value per query: the driver decodes a row again for every packet that arrives while the row is
    // incomplete, so a 10 MB text ahead of another 10 MB value costs it seconds
    const c = await conn.execute('select c from thin_lobs where id = 1', [],
      { fetchInfo: { C: { type: oracledb.STRING } } });
    assert.strictEqual(c.rows[0][0].length, text.length);
    assert.ok(c.rows[0][0] === text, 'the CLOB comes back unchanged');
    const b = await conn.execute('select b from thin_lobs where id = 1', [],
      { fetchInfo: { B: { type: oracledb.BUFFER } } });
    assert.ok(Buffer.compare(b.rows[0][0], bytes) === 0, 'the BLOB comes back unchanged');
    await conn.close();
  },

  // Columns of the types the server keeps, with NULLs and extreme values, filled through binds of every kind
  // the driver sends and read back.
  async typesAndBinds() {
    const conn = await connect();
    await conn.execute(`create table thin_types (id number(5), v varchar2(4000), c char(5), n number,
      n2 number(10,2), d date, r raw(200), l long)`);
    const sql = 'insert into thin_types values (:id, :v, :c, :n, :n2, :d, :r, :l)';
    const big = 'x'.repeat(4000);
    const day = new Date(2024, 1, 29, 23, 59, 58);
    const yearOne = new Date(2000, 0, 1);
    yearOne.setFullYear(1); // Date(1, ...) would be 1901
    const rows = [
      { id: 1, v: 'Grüße, Ελλάδα, 日本', c: 'ab', n: 1e125, n2: 12345678.91, d: day, r: Buffer.from([0, 1, 254, 255]), l: 'long text' },
      { id: 2, v: big, c: 'abcde', n: -1e-130, n2: -0.01, d: yearOne, r: Buffer.alloc(200, 0xab), l: 'y'.repeat(70000) },
      { id: 3, v: null, c: null, n: null, n2: null, d: null, r: null, l: null },
      { id: 4, v: '', c: ' ', n: 0, n2: 0, d: new Date(9999, 11, 31, 23, 59, 59), r: Buffer.alloc(0), l: '' },
    ];
    for (const r of rows) await conn.execute(sql, r);
    // typed binds the driver encodes differently
    await conn.execute('insert into thin_types (id, v, n, d) values (:id, :v, :n, :d)', {
      id: 5,
      v: { val: 'national ÄÖÜ', type: oracledb.DB_TYPE_NVARCHAR },
      n: { val: 2.5, type: oracledb.DB_TYPE_BINARY_DOUBLE },
      d: { val: day, type: oracledb.DB_TYPE_TIMESTAMP },
    });
    await conn.execute('insert into thin_types (id, n) values (:id, :n)', {
      id: 6, n: { val: 0.5, type: oracledb.DB_TYPE_BINARY_FLOAT } });
    const r = await conn.execute('select * from thin_types order by id', [], { fetchInfo: { L: { type: oracledb.STRING } } });
    assert.deepStrictEqual(r.metaData.map((m) => m.name), ['ID', 'V', 'C', 'N', 'N2', 'D', 'R', 'L']);
    const [a, b, c, d, e, f] = r.rows;
    assert.deepStrictEqual(a.slice(0, 5), [1, 'Grüße, Ελλάδα, 日本', 'ab   ', 1e125, 12345678.91]);
    assert.strictEqual(a[5].getTime(), day.getTime());
    assert.deepStrictEqual(a[6], Buffer.from([0, 1, 254, 255]));
    assert.strictEqual(a[7], 'long text');
    assert.strictEqual(b[1], big);
    assert.strictEqual(b[3], -1e-130);
    // (the driver turns years below 100 into 19xx when it builds a Date: ask the server for the text)
    const y = await conn.execute("select to_char(d, 'YYYY-MM-DD') from thin_types where id = 2");
    assert.strictEqual(y.rows[0][0], '0001-01-01');
    assert.strictEqual(b[7].length, 70000);
    assert.deepStrictEqual(c.slice(1), [null, null, null, null, null, null, null], 'NULLs stay NULL');
    assert.strictEqual(d[1], null, "'' is NULL");
    assert.strictEqual(d[3], 0);
    assert.strictEqual(d[5].getFullYear(), 9999);
    assert.strictEqual(e[1], 'national ÄÖÜ');
    assert.strictEqual(e[3], 2.5);
    assert.strictEqual(e[5].getTime(), day.getTime());
    assert.strictEqual(f[3], 0.5);
    // a value bound back in a WHERE clause finds its row
    const again = await conn.execute('select id from thin_types where v = :v and d = :d', [a[1], day]);
    assert.deepStrictEqual(again.rows, [[1]]);
    await conn.close();
  },

  // A SELECT over every native type with NULLs and extreme values, checked in the driver's own forms (a Date
  // holds milliseconds: the nanoseconds are checked through Vestra's own client).
  async nativeTypes() {
    const conn = await connect();
    await conn.execute(`create table thin_native (id number, ts timestamp(9), tstz timestamp(9) with time zone,
      ltz timestamp(6) with local time zone, iym interval year(9) to month, ids interval day(9) to second(9),
      bf binary_float, bd binary_double, nv nvarchar2(2000), nc nchar(3), b boolean)`);
    const national = 'Grüße Ελλάδα 日本 '.repeat(125);
    const rows = [
      [1, '2024-02-29 13:45:00.123456789', '2024-01-01 10:00:00.000000001 +14:00', '2024-06-30 12:00:00.5',
        '+000000002-03', '-000000001 02:03:04.000000005', '3.4028235e38', 'NaN', national, 'ab', 1],
      [2, '-4712-01-01 00:00:00', '9999-12-31 11:59:59.999999999 -12:00', '9999-12-31 23:59:59.999999',
        '-999999999-11', '+999999999 23:59:59.999999999', '-Inf', 'Inf', 'x', 'abc', 0],
      [3, '2000-01-01 00:00:00', '2024-07-01 15:30:00 Asia/Kolkata', null, null, null, '-1.5', '-0.1', null,
        null, null],
      [4, null, null, null, null, null, null, null, null, null, null],
    ];
    for (const r of rows) {
      const values = r.map((v) => (v === null ? 'null' : typeof v === 'number' ? String(v) : `'${v}'`));
      await conn.execute(`insert into thin_native values (${values.join(', ')})`);
    }
    const r = await conn.execute('select * from thin_native order by id');
    const types = r.metaData.map((m) => m.dbType);
    assert.deepStrictEqual(types, [oracledb.DB_TYPE_NUMBER, oracledb.DB_TYPE_TIMESTAMP,
      oracledb.DB_TYPE_TIMESTAMP_TZ, oracledb.DB_TYPE_TIMESTAMP_LTZ, oracledb.DB_TYPE_INTERVAL_YM,
      oracledb.DB_TYPE_INTERVAL_DS, oracledb.DB_TYPE_BINARY_FLOAT, oracledb.DB_TYPE_BINARY_DOUBLE,
      oracledb.DB_TYPE_NVARCHAR, oracledb.DB_TYPE_NCHAR, oracledb.DB_TYPE_BOOLEAN]);
    const [a, b, c, d] = r.rows;
    // TIMESTAMP in local time, the others as instants
    assert.strictEqual(a[1].getTime(), new Date(2024, 1, 29, 13, 45, 0, 123).getTime());
    assert.strictEqual(a[2].toISOString(), '2023-12-31T20:00:00.000Z');
    assert.strictEqual(a[3].toISOString(), '2024-06-30T12:00:00.500Z');
    assert.deepStrictEqual({ ...a[4] }, { years: 2, months: 3 });
    assert.deepStrictEqual({ ...a[5] }, { days: -1, hours: -2, minutes: -3, seconds: -4, fseconds: -5 });
    assert.strictEqual(a[6], 3.4028234663852886e38);
    assert.ok(Number.isNaN(a[7]), 'NaN stays NaN');
    assert.strictEqual(a[8], national);
    assert.strictEqual(a[8].length, 2000);
    assert.strictEqual(a[9], 'ab ');
    assert.strictEqual(a[10], true);
    assert.strictEqual(b[2].toISOString(), '9999-12-31T23:59:59.999Z'); // 11:59:59 at -12:00
    assert.deepStrictEqual({ ...b[4] }, { years: -999999999, months: -11 });
    assert.deepStrictEqual({ ...b[5] }, { days: 999999999, hours: 23, minutes: 59, seconds: 59, fseconds: 999999999 });
    assert.strictEqual(b[6], -Infinity);
    assert.strictEqual(b[7], Infinity);
    assert.strictEqual(b[9], 'abc');
    assert.strictEqual(b[10], false);
    assert.strictEqual(c[2].toISOString(), '2024-07-01T10:00:00.000Z'); // 15:30 in Kolkata is 10:00 UTC
    assert.strictEqual(c[6], -1.5);
    assert.strictEqual(c[7], -0.1);
    assert.deepStrictEqual(d.slice(1), Array(10).fill(null), 'NULLs stay NULL');
    // the driver builds its Date from the fields: the first year Oracle knows arrives as it is
    assert.deepStrictEqual([b[1].getFullYear(), b[1].getMonth(), b[1].getDate(), b[1].getHours()], [-4712, 0, 1, 0]);
    // a ROWID in the server's own form (its parts), read back as the text that finds the row
    const rid = await conn.execute('select rowid, id from thin_native where id = 2');
    assert.strictEqual(typeof rid.rows[0][0], 'string');
    assert.strictEqual(rid.rows[0][0].length, 18);
    const back = await conn.execute('select id from thin_native where rowid = :r', [rid.rows[0][0]]);
    assert.deepStrictEqual(back.rows, [[2]]);
    await conn.close();
  },

  // LOB locators and the LOB calls: length, read, temporary LOBs written by the client, trim.
  async lobCalls() {
    const conn = await connect();
    await conn.execute('create table thin_lob2 (id number, c clob, b blob)');
    await conn.execute('insert into thin_lob2 values (1, :c, :b)', { c: 'Grüße aus Köln', b: Buffer.from([1, 2, 3]) });
    let r = await conn.execute('select c, b from thin_lob2 where id = 1');
    const clob = r.rows[0][0];
    assert.strictEqual(clob.type, oracledb.CLOB);
    assert.strictEqual(clob.length, 14);
    assert.strictEqual(await clob.getData(), 'Grüße aus Köln');
    assert.deepStrictEqual(await r.rows[0][1].getData(), Buffer.from([1, 2, 3]));
    // a temporary LOB the client fills and binds
    const tmp = await conn.createLob(oracledb.CLOB);
    await new Promise((resolve, reject) => {
      tmp.on('finish', resolve);
      tmp.on('error', reject);
      tmp.end('x'.repeat(100000));
    });
    await conn.execute('insert into thin_lob2 values (2, :c, null)', { c: tmp });
    await tmp.close();
    r = await conn.execute('select c from thin_lob2 where id = 2', [], { fetchInfo: { C: { type: oracledb.STRING } } });
    assert.strictEqual(r.rows[0][0], 'x'.repeat(100000));
    // a long string bound to PL/SQL travels as a temporary CLOB
    await conn.execute('begin insert into thin_lob2 values (3, :c, null); end;', { c: 'y'.repeat(50000) });
    r = await conn.execute('select c from thin_lob2 where id = 3');
    assert.strictEqual(r.rows[0][0].length, 50000);
    assert.strictEqual((await r.rows[0][0].getData()).slice(-3), 'yyy');
    await conn.commit();
    await conn.close();
  },

  // 100 000 rows in batches.
  async manyRows() {
    const conn = await connect();
    const r = await conn.execute('select id, name from bench order by id', [], { fetchArraySize: 1000 });
    assert.strictEqual(r.rows.length, 100000);
    assert.strictEqual(r.rows[99999][0], 100000);
    await conn.close();
  },

  // A break during a slow fetch; the connection is usable after.
  async breakSlowFetch() {
    const conn = await connect();
    conn.callTimeout = 500;
    await expectError(conn.execute('select id from bench', [], { fetchArraySize: 1000, prefetchRows: 1000 }),
      (e) => assert.match(e.message, /NJS-123|ORA-01013|DPI-1067/, e.message));
    conn.callTimeout = 0;
    const r = await conn.execute('select 3 from dual');
    assert.strictEqual(r.rows[0][0], 3);
    await conn.close();
  },

  // A password in its grace period: the logon succeeds and the connection carries the warning.
  async passwordWarning() {
    const conn = await connect();
    assert.ok(conn.warning, 'a warning was expected');
    assert.strictEqual(conn.warning.errorNum, 28002);
    assert.match(conn.warning.message, /^ORA-28002: the password will expire within 7 days/);
    const r = await conn.execute('select 4 from dual');
    assert.strictEqual(r.rows[0][0], 4);
    await conn.close();
  },

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
