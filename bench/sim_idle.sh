#!/usr/bin/env bash
# Wake-ups of an idle panora-sim: context switches of all its threads over a
# few seconds, before any client, after a pty client has come and gone, and
# after a TCP client has come and gone (and with one TCP client connected
# that sends nothing).
#   bench/sim_idle.sh [seconds] [panora-sim binary]
set -euo pipefail
secs=${1:-5}
sim=${2:-"$(dirname "$0")/../build/bin/panora-sim"}
dir=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; exec 4>&- 2>/dev/null || true; rm -rf "$dir"' EXIT

"$sim" --tcp 127.0.0.1:0 --pty "$dir/tty" >"$dir/out" 2>&1 &
pid=$!
for _ in $(seq 100); do grep -q "listening on pty" "$dir/out" 2>/dev/null && break; sleep 0.05; done
port=$(sed -n 's/^listening on tcp .*:\([0-9]*\)$/\1/p' "$dir/out")

switches() {
  local total=0 f
  for f in /proc/"$pid"/task/*/status; do
    total=$((total + $(awk '/ctxt_switches/ {s += $2} END {print s}' "$f")))
  done
  echo "$total"
}
measure() {
  sleep 0.3  # let the last client's hang-up settle
  local a b
  a=$(switches)
  sleep "$secs"
  b=$(switches)
  printf '%-44s %6d wake-ups in %s s\n' "$1" $((b - a)) "$secs"
}

measure "idle, no client yet"
python3 -c 'import os,sys; fd=os.open(sys.argv[1], os.O_RDWR|os.O_NOCTTY); os.close(fd)' "$dir/tty"
measure "idle, after a pty client came and went"
exec 4<>"/dev/tcp/127.0.0.1/$port"
exec 4>&-
measure "idle, after a TCP client came and went"
exec 4<>"/dev/tcp/127.0.0.1/$port"
measure "idle, one TCP client connected and silent"
