#!/usr/bin/env bash
# Dumps the 1 000 000-row benchmark table with `vestra-sql --format tsv` through vestra-emu and with the sqlite3
# command-line tool straight from the emulator's database file, and compares the times.
set -euo pipefail
bin=${1:-build/bin}
rows=${BENCH_ROWS:-1000000}
command -v sqlite3 >/dev/null || { echo "cli-vs-sqlite: sqlite3 is not installed" >&2; exit 1; }

dir=$(mktemp -d)
emu_pid=""
cleanup() { [ -n "$emu_pid" ] && kill "$emu_pid" 2>/dev/null; wait 2>/dev/null; rm -rf "$dir"; }
trap cleanup EXIT

"$bin/vestra-emu" --listen 127.0.0.1:0 --db "$dir/bench.db" --bench-rows "$rows" > "$dir/emu.out" 2> "$dir/emu.err" &
emu_pid=$!
port=""
for _ in $(seq 1 600); do
  port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$dir/emu.out" | head -n 1)
  [ -n "$port" ] && break
  kill -0 "$emu_pid" 2>/dev/null || { cat "$dir/emu.err" >&2; exit 1; }
  sleep 0.1
done
[ -n "$port" ] || { echo "cli-vs-sqlite: vestra-emu did not start" >&2; exit 1; }

now() { date +%s.%N; }

# The machine may be shared: each side runs three times, alternating, and the fastest run of each counts.
runs=${BENCH_RUNS:-3}
best_v="" best_s=""
for _ in $(seq 1 "$runs"); do
  t0=$(now)
  "$bin/vestra-sql" --format tsv --fetch-rows 1000 -e "select * from bench" "scott/tiger@127.0.0.1:$port:bnx" \
    > "$dir/vestra.tsv"
  t1=$(now)
  sqlite3 -header -separator $'\t' "$dir/bench.db" 'SELECT * FROM "SCOTT.BENCH"' > "$dir/sqlite.tsv"
  t2=$(now)
  best_v=$(awk -v a="$t0" -v b="$t1" -v m="$best_v" 'BEGIN { d = b - a; if (m == "" || d < m) m = d; printf "%.6f", m }')
  best_s=$(awk -v a="$t1" -v b="$t2" -v m="$best_s" 'BEGIN { d = b - a; if (m == "" || d < m) m = d; printf "%.6f", m }')
done

lines_v=$(wc -l < "$dir/vestra.tsv")
lines_s=$(wc -l < "$dir/sqlite.tsv")
[ "$lines_v" -eq "$lines_s" ] || { echo "cli-vs-sqlite: $lines_v lines from vestra-sql, $lines_s from sqlite3" >&2; exit 1; }

awk -v v="$best_v" -v s="$best_s" -v n="$rows" 'BEGIN {
  printf "METRIC cli_dump_seconds %.3f s\n", v;
  printf "METRIC sqlite_dump_seconds %.3f s\n", s;
  printf "METRIC cli_rows_per_s %.0f rows/s\n", n / v;
  printf "METRIC cli_vs_sqlite_ratio %.2f x\n", v / s;
}'
