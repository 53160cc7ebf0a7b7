#!/usr/bin/env bash
# Installs what is missing, builds, and starts Panora with a simulated
# processor beside it on 127.0.0.1:4001 (Connection > TCP/IP, 127.0.0.1, 4001).
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh
./build/bin/panora-sim --tcp 127.0.0.1:4001 --pty /tmp/panora-sim-tty &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null || true' EXIT
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run.sh: no display here; starting Panora on a virtual one (xvfb-run)" >&2
  xvfb-run -a -s "-screen 0 1280x800x24" ./build/bin/panora "$@"
else
  ./build/bin/panora "$@"
fi
