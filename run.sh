#!/usr/bin/env bash
# Installs what is missing, builds, and starts Panora with a simulated
# processor inside it (--simulate): it connects over TCP/IP at once, and
# Connection > RS232 or USB find the simulator's serial line as well.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run.sh: no display here; starting Panora on a virtual one (xvfb-run)" >&2
  exec xvfb-run -a -s "-screen 0 1280x800x24" ./build/bin/panora --simulate "$@"
else
  exec ./build/bin/panora --simulate "$@"
fi
