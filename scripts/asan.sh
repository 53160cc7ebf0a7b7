#!/usr/bin/env bash
# Builds every test, the widget tests included, with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs them; any report fails the run.
# One build folder (build-asan) with only what ctest runs there: the code
# under test at -O1, the tests' own code at -O0 (it compiles in half the
# time), no benchmarks, tools or manuals, so that CI stays short.
# Warnings do not fail it: the instrumentation misleads the compiler's range
# checks (format-truncation), and the plain build already holds -Werror.
#   scripts/asan.sh [--build-only]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build-asan
if [ ! -f "$dir/CMakeCache.txt" ]; then
  source scripts/ccache.sh
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=-O1 -DCMAKE_C_FLAGS=-O1 \
    -DPANORA_TEST_CXX_FLAGS=-O0 -DPANORA_ASAN=ON -DPANORA_BENCH=OFF -DPANORA_WERROR=OFF "${launcher[@]}" >/dev/null
fi
cmake --build "$dir" -j"$(nproc)" --target panora_tests
[ "${1:-}" = --build-only ] && exit 0
export QT_QPA_PLATFORM=offscreen
# verify_asan_link_order=0: a test preloads a poll shim into panora-ctl.
export ASAN_OPTIONS="halt_on_error=1 detect_stack_use_after_return=1 strict_init_order=1 verify_asan_link_order=0"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1 print_stacktrace=1"
# The package and VNC tests check files and a listener, not our code's memory;
# the fault matrix measures timing, which the plain build's run does.
ctest --test-dir "$dir" --output-on-failure -j"$(nproc)" --timeout 600 -LE faults \
  -E '^(package_test|vnc_loopback_test)$' >"$dir/ctest.log" 2>&1 || {
  grep -E -B2 -A40 'ERROR: (AddressSanitizer|LeakSanitizer)|runtime error:|Failed|\*\*\*' "$dir/ctest.log" | tail -200 >&2
  echo "asan: failures (full log: $dir/ctest.log)" >&2
  exit 1
}
echo "asan: $(grep -Eo '[0-9]+ tests passed|tests passed, [0-9]+ tests failed out of [0-9]+' "$dir/ctest.log" | tail -1), no report"
