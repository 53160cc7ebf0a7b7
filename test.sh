#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. Exit status is the result.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j"$(nproc)" --timeout 300 -LE faults
# The fault matrix runs alone; a stall it sees once may be the machine's, so
# a failed run gets one more try.
ctest --test-dir build --output-on-failure --timeout 300 -L faults --repeat until-pass:2
FUZZ_SECONDS="${FUZZ_SECONDS:-10}" scripts/fuzz.sh
build/bin/crashsave_test --saves "${CRASHSAVE_SAVES:-300}" --exits "${CRASHSAVE_EXITS:-10}"
scripts/tsan.sh
scripts/asan.sh
