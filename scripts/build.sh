#!/usr/bin/env bash
# Configures (once) and builds into build/. Extra arguments go to cmake.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPANORA_WERROR=ON "$@" >/dev/null
fi
cmake --build build -j"$(nproc)"
