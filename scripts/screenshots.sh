#!/usr/bin/env bash
# Redraws the README's pictures of the main window (docs/img/*.png): the real
# program on a virtual display (Xvfb), connected to its embedded simulated
# processor, with a fresh set-up, in a few modes.
# Usage: scripts/screenshots.sh [build folder, default build]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
cmake --build "$build" --target panora >/dev/null
out=docs/img
mkdir -p "$out"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# shot NAME [QUICK-MODE BUTTON]
shot() {
  rm -rf "${work:?}"/*
  PANORA_HOME="$work" XDG_RUNTIME_DIR="$work" PANORA_SCREENSHOT="$PWD/$out/$1.png" \
    PANORA_SCREENSHOT_QUICK="${2:-}" PANORA_SCREENSHOT_QUIT=1 \
    xvfb-run -a -s "-screen 0 1280x800x24" "$build/bin/panora" --simulate >"$work.log" 2>&1 || {
    cat "$work.log" >&2
    rm -f "$work.log"
    exit 1
  }
  rm -f "$work.log"
  [ -s "$out/$1.png" ] || {
    echo "screenshots: $1.png was not written" >&2
    exit 1
  }
}
shot main-pip           # the start-up mode: picture in picture
shot main-four-times 0  # quick-mode button 1: one channel over the whole wall
shot main-pop 9         # quick-mode button 10: picture out of picture
PANORA_SCREENSHOT_TRAFFIC="$PWD/$out/traffic.png" shot main-pip  # and the traffic monitor beside it
[ -s "$out/traffic.png" ] || {
  echo "screenshots: traffic.png was not written" >&2
  exit 1
}
du -ck "$out"/*.png | tail -1 | awk '{print "screenshots: docs/img, " $1 " KB in all"}'
