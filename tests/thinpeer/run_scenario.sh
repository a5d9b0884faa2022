#!/usr/bin/env bash
# Runs one thin-driver scenario against a vestra-emu of its own:
#   run_scenario.sh VESTRA_EMU SCENARIO [EMULATOR OPTION]...
# The emulator listens on a free loopback port and is stopped when the scenario ends.
set -u
emu="$1"; scenario="$2"; shift 2
here="$(cd "$(dirname "$0")" && pwd)"

if ! command -v node >/dev/null 2>&1; then
  echo "ThinPeer: node is not installed (scripts/install-deps installs nodejs and the thin driver)" >&2
  exit 1
fi
if [ ! -f "$here/node_modules/oracledb/package.json" ]; then
  echo "ThinPeer: the oracledb package is missing in $here/node_modules (run scripts/install-deps)" >&2
  exit 1
fi

out="$(mktemp)"
"$emu" --listen 127.0.0.1:0 "$@" >"$out" 2>&1 &
emu_pid=$!
trap 'kill "$emu_pid" 2>/dev/null; wait "$emu_pid" 2>/dev/null; rm -f "$out"' EXIT

port=""
for _ in $(seq 1 200); do
  port="$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$out")"
  [ -n "$port" ] && break
  if ! kill -0 "$emu_pid" 2>/dev/null; then
    echo "ThinPeer: vestra-emu ended before it listened:" >&2
    cat "$out" >&2
    exit 1
  fi
  sleep 0.05
done
if [ -z "$port" ]; then
  echo "ThinPeer: vestra-emu did not report its port" >&2
  exit 1
fi

timeout 300 node "$here/scenarios.js" "$scenario" "$port"
rc=$?
if [ $rc -ne 0 ]; then
  echo "--- vestra-emu output ---" >&2
  cat "$out" >&2
fi
exit $rc
