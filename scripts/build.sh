#!/usr/bin/env bash
# Configures (once) and builds into build/. Extra arguments go to cmake.
# With ccache installed, a rebuild takes what an earlier one compiled.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -f build/CMakeCache.txt ]; then
  source scripts/ccache.sh
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPANORA_WERROR=ON "${launcher[@]}" "$@" >/dev/null
fi
cmake --build build -j"$(nproc)"
