#!/usr/bin/env bash
# Configures (once) and builds into build/. Extra arguments go to cmake.
# The program and its libraries -O2, the tests' own code -O1 (a third less
# compile time, nothing in it needs more); with ccache installed, a rebuild
# takes what an earlier one compiled.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -f build/CMakeCache.txt ]; then
  source scripts/ccache.sh
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPANORA_WERROR=ON -DPANORA_TEST_CXX_FLAGS=-O1 \
    "${launcher[@]}" "$@" >/dev/null
fi
cmake --build build -j"$(nproc)"
