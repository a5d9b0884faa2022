#!/usr/bin/env bash
# Runs one thin-driver scenario against a vestra-emu of its own:
#   run_scenario.sh VESTRA_EMU SCENARIO [EMULATOR OPTION]...
# The emulator listens on a free loopback port and is stopped when the scenario ends.
set -u
#   run_scenario.sh VESTRA_EMU SCENARIO --behind-front [EMULATOR OPTION]...
# With --behind-front a second vestra-emu stands in front: it answers the first CONNECT with RESEND, the
# next with a REDIRECT to the first one, as listeners of shared servers do.
emu="$1"; scenario="$2"; shift 2
front=0
if [ "${1:-}" = "--behind-front" ]; then front=1; shift; fi
here="$(cd "$(dirname "$0")" && pwd)"

if ! command -v node >/dev/null 2>&1; then
  echo "ThinPeer: node is not installed (scripts/install-deps installs nodejs and the thin driver)" >&2
  exit 1
fi
if [ ! -f "$here/node_modules/oracledb/package.json" ]; then
  echo "ThinPeer: the oracledb package is missing in $here/node_modules (run scripts/install-deps)" >&2
  exit 1
fi

pids=()
outs=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; done; rm -f "${outs[@]}"' EXIT

# Starts vestra-emu with the given options on a free port; sets port and out.
start_emu() {
  out="$(mktemp)"
  outs+=("$out")
  "$emu" --listen 127.0.0.1:0 "$@" >"$out" 2>&1 &
  local pid=$!
  pids+=("$pid")
  port=""
  for _ in $(seq 1 200); do
    port="$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$out")"
    [ -n "$port" ] && return 0
    if ! kill -0 "$pid" 2>/dev/null; then
      echo "ThinPeer: vestra-emu ended before it listened:" >&2
      cat "$out" >&2
      exit 1
    fi
    sleep 0.05
  done
  echo "ThinPeer: vestra-emu did not report its port" >&2
  exit 1
}

start_emu "$@"
if [ $front -eq 1 ]; then
  start_emu --redirect "127.0.0.1:$port" --resend-once
fi

timeout 300 node "$here/scenarios.js" "$scenario" "$port"
rc=$?
if [ $rc -ne 0 ]; then
  echo "--- vestra-emu output ---" >&2
  cat "${outs[@]}" >&2
fi
exit $rc
