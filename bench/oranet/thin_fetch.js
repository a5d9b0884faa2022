// The thin driver's side of bench-fetch: node thin_fetch.js MODULES_DIR PORT
// Fetches the BENCH table with 1000 rows per round trip, rows as arrays, and prints
// "ROWS <count> SECONDS <elapsed> CPU <seconds>" for the fetch alone (execute to last row; the logon is not
// counted); CPU is the whole process's user and system time meanwhile.
'use strict';

const path = require('path');
const [modules, port] = process.argv.slice(2);
const oracledb = require(path.join(modules, 'oracledb'));

async function main() {
  const conn = await oracledb.getConnection({
    user: 'scott', password: 'tiger', connectString: `127.0.0.1:${port}/bnx`,
  });
  const t0 = process.hrtime.bigint();
  const c0 = process.cpuUsage();
  const r = await conn.execute('SELECT ID, NAME, CREATED, AMOUNT FROM BENCH', [], {
    resultSet: true, fetchArraySize: 1000, prefetchRows: 1000, outFormat: oracledb.OUT_FORMAT_ARRAY,
  });
  let rows = 0;
  let checksum = 0;
  for (;;) {
    const part = await r.resultSet.getRows(1000);
    if (part.length === 0) break;
    rows += part.length;
    checksum += part[part.length - 1][0];
  }
  await r.resultSet.close();
  const seconds = Number(process.hrtime.bigint() - t0) / 1e9;
  const used = process.cpuUsage(c0);
  const cpu = (used.user + used.system) / 1e6;
  await conn.close();
  if (checksum <= 0) throw new Error('no ID values arrived');
  console.log(`ROWS ${rows} SECONDS ${seconds} CPU ${cpu}`);
}

main().catch((e) => {
  console.error(e.message);
  process.exit(1);
});
