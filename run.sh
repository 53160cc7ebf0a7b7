#!/usr/bin/env bash
# Installs what is missing, builds, and starts Panora with a simulated
# processor inside it (--simulate): it connects over TCP/IP at once, and
# Connection > RS232 or USB find the simulator's serial line as well.
# Without a display the window is served over VNC on this machine's loopback
# address only (PANORA_VNC_PORT, default 5900), and a picture of it is written
# to build/panora-start.png.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec ./build/bin/panora --simulate "$@"
fi

port="${PANORA_VNC_PORT:-5900}"
if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
  echo "run.sh: port $port on 127.0.0.1 is taken; choose another with PANORA_VNC_PORT" >&2
  exit 1
fi
host="$(hostname -f 2>/dev/null || hostname)"
cat >&2 <<TEXT
run.sh: no display here; Panora's window is served over VNC on 127.0.0.1:$port
  (this machine only, no password). Connect a VNC viewer:
    on this machine:   vncviewer 127.0.0.1::$port
    from another one:  ssh -N -L $port:127.0.0.1:$port $(id -un)@$host
                       then, there: vncviewer 127.0.0.1::$port
  A picture of the started window goes to build/panora-start.png.
  Ctrl+C here ends Panora.
TEXT
# Qt's VNC server listens on every address; the preloaded shim keeps it on
# the loopback address.
shim="$PWD/build/lib/libpanora_loopback_bind.so"
# Without it the server would listen on every address with no password.
[ -f "$shim" ] || { echo "run.sh: $shim is missing; not serving over VNC" >&2; exit 1; }
export LD_PRELOAD="$shim${LD_PRELOAD:+:$LD_PRELOAD}"
export PANORA_SCREENSHOT="$PWD/build/panora-start.png"
rm -f "$PANORA_SCREENSHOT"
exec ./build/bin/panora --simulate -platform "vnc:size=1280x800:port=$port" "$@"
