#!/usr/bin/env bash
# run.sh's way of serving the window without a display: Qt's VNC server with
# the bind shim preloaded. Every socket the program listens on must be on the
# loopback address, and the picture of the window must be written.
# Usage: vnc_loopback_test.sh BUILD_DIR
set -euo pipefail
build="$(cd "$1" && pwd)"
work="$(mktemp -d)"
pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "vnc_loopback_test: $*" >&2
  [ -f "$work/out.txt" ] && cat "$work/out.txt" >&2
  exit 1
}

# A free port for the VNC server (Qt's plugin takes no port 0).
port=""
for p in $(seq 15900 15999); do
  if ! (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null; then
    port=$p
    break
  fi
done
[ -n "$port" ] || fail "no free port"

PANORA_HOME="$work" XDG_RUNTIME_DIR="$work" LD_PRELOAD="$build/lib/libpanora_loopback_bind.so" \
  PANORA_SCREENSHOT="$work/start.png" \
  "$build/bin/panora" --simulate -platform "vnc:size=1280x800:port=$port" >"$work/out.txt" 2>&1 &
pid=$!

# Wait for the picture: by then the VNC server listens.
for _ in $(seq 100); do
  [ -s "$work/start.png" ] && break
  kill -0 "$pid" 2>/dev/null || fail "panora ended early"
  sleep 0.1
done
[ -s "$work/start.png" ] || fail "no picture of the window"
head -c 8 "$work/start.png" | od -An -tx1 | grep -q '89 50 4e 47' || fail "the picture is no PNG"

# The listening sockets of the process, from /proc.
inodes="$(find "/proc/$pid/fd" -lname 'socket:*' -printf '%l\n' 2>/dev/null | sed 's/socket:\[\(.*\)\]/\1/' | sort -u)"
listening="$(awk 'FNR > 1 && $4 == "0A" {print $10, $2}' /proc/net/tcp /proc/net/tcp6 | sort)"
mine="$(join <(echo "$inodes") <(echo "$listening") | awk '{print $2}')"
[ "$(wc -l <<<"$mine")" -ge 2 ] || fail "expected the simulator and the VNC server listening, found: $mine"
portHex="$(printf '%04X' "$port")"
grep -q ":$portHex\$" <<<"$mine" || fail "nothing listens on port $port: $mine"
while read -r addr; do
  case "${addr%:*}" in
    0100007F | 0000000000000000FFFF00000100007F | 00000000000000000000000001000000) ;;
    *) fail "listening beyond the loopback address: $addr" ;;
  esac
done <<<"$mine"
timeout 2 bash -c "exec 3<>/dev/tcp/127.0.0.1/$port; head -c 12 <&3" | grep -q '^RFB ' || fail "no VNC greeting"
echo "vnc_loopback_test: VNC on 127.0.0.1:$port only, picture written"
