#!/usr/bin/env bash
# Installs what building, running and testing Panora needs, from Debian's
# packages. Quick when everything is there already: apt is only asked when a
# package is missing.
set -euo pipefail

PACKAGES=(
  g++ make cmake pkg-config
  help2man dpkg-dev file desktop-file-utils  # manual pages, the Debian package and its check
  qt6-base-dev qt6-qpa-plugins libgl-dev
  qt6-websockets-dev  # the remote control's tests talk to its events WebSocket
  libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
  clang libclang-rt-14-dev
  xvfb xauth fonts-liberation fonts-dejavu-core
  fonts-wqy-microhei  # the docking bars' captions are Chinese
  procps time
  python3-selenium chromium chromium-driver  # the web remote's browser test
  ccache  # keeps what each build tree compiled for its next build
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then SUDO="sudo"; else
    echo "install-deps: need root or sudo to install: ${missing[*]}" >&2
    exit 1
  fi
fi
echo "install-deps: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
