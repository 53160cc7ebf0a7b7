#!/usr/bin/env bash
# Wake-ups of an idle `panora --simulate`: context switches over a few
# seconds, per thread name, while it sits connected to its own simulator over
# TCP, then after its pty has been opened and closed once (as the RS232 list
# does). Runs on a virtual X server (Xvfb) unless QT_QPA_PLATFORM is set.
#   bench/program_idle.sh [seconds] [panora binary]
set -euo pipefail
secs=${1:-5}
bin=${2:-"$(dirname "$0")/../build/bin/panora"}
home=$(mktemp -d)
out=$home/err
cleanup() { kill "$pid" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$home"; }
trap cleanup EXIT
export PANORA_HOME=$home XDG_RUNTIME_DIR=$home
if [ -n "${QT_QPA_PLATFORM:-}" ]; then
  "$bin" --simulate 2>"$out" &
else
  xvfb-run -a "$bin" --simulate 2>"$out" &
fi
wrapper=$!
pid=""
for _ in $(seq 100); do
  pid=$(pgrep -n -f "^$bin --simulate" || true)
  [ -n "$pid" ] && [ -e "$home/panora-sim-$pid.tty" ] && break
  sleep 0.05
done
sleep 2  # start-up and the connect

report() {
  declare -A before=()
  local t name n
  for t in /proc/"$pid"/task/*; do
    name=$(cat "$t/comm"); n=$(awk '/ctxt_switches/ {s += $2} END {print s}' "$t/status")
    before[$name]=$(( ${before[$name]:-0} - n ))
  done
  sleep "$secs"
  for t in /proc/"$pid"/task/*; do
    name=$(cat "$t/comm"); n=$(awk '/ctxt_switches/ {s += $2} END {print s}' "$t/status")
    before[$name]=$(( ${before[$name]:-0} + n ))
  done
  local total=0 line=""
  for name in "${!before[@]}"; do
    total=$((total + before[$name]))
    [ "${before[$name]}" -ne 0 ] && line+=" $name=${before[$name]}"
  done
  printf '%-40s %5d wake-ups in %s s:%s\n' "$1" "$total" "$secs" "$line"
}

report "idle, connected over TCP"
/usr/bin/env python3 -c 'import os,sys; os.close(os.open(sys.argv[1], os.O_RDWR|os.O_NOCTTY))' \
  "$home/panora-sim-$pid.tty"
sleep 0.3
report "idle, after the pty was opened and closed"
