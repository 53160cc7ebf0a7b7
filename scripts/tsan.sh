#!/usr/bin/env bash
# Builds with ThreadSanitizer what starts threads of ours and runs it; any
# report fails the run. One build (build-tsan), only the targets run here:
# the device-link and simulator tests, and the widget tests that drive the
# device link's workers, the network receive thread, the serial reader and
# the embedded simulator (gui_connect_test, with the program it starts).
# Qt is built without ThreadSanitizer; tests/tsan.supp holds the only
# exceptions, each with its reason.
#   scripts/tsan.sh [--build-only]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build-tsan
# -O1 is enough for ThreadSanitizer and compiles a tenth faster than -O2, the
# tests' own code -O0 (half the time again); assertions stay on.
source scripts/ccache.sh
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=-O1 -DCMAKE_C_FLAGS=-O1 -DPANORA_TSAN=ON \
  -DPANORA_TEST_CXX_FLAGS=-O0 -DPANORA_GUI=ON -DPANORA_BENCH=OFF -DPANORA_WERROR=ON "${launcher[@]}" >/dev/null
tests=(link_unit_test link_logic_test link_transport_test link_sim_test sim_server_test gui_connect_test)
cmake --build "$dir" -j"$(nproc)" --target "${tests[@]}" panora-sim
[ "${1:-}" = --build-only ] && exit 0
export QT_QPA_PLATFORM=offscreen
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tests/tsan.supp"
fail() {
  tail -60 "$dir/$1.log" >&2
  echo "tsan: $1 failed" >&2
  exit 1
}
for t in "${tests[@]}"; do
  if "$dir/bin/$t" --gtest_brief=1 >"$dir/$t.log" 2>&1; then
    echo "tsan: $t clean"
    continue
  fi
  # A widget test that waits on the clock may miss its time in this slow
  # build; such a failure (never a report) gets one more try of those tests.
  grep -q 'ThreadSanitizer' "$dir/$t.log" && fail "$t"
  failed=$(sed -n 's/^\[  FAILED  \] \([A-Za-z0-9_]*\.[A-Za-z0-9_]*\).*/\1/p' "$dir/$t.log" | paste -sd:)
  [ -n "$failed" ] || fail "$t"
  cp "$dir/$t.log" "$dir/$t.first.log"
  "$dir/bin/$t" --gtest_brief=1 --gtest_filter="$failed" >"$dir/$t.log" 2>&1 || fail "$t"
  echo "tsan: $t clean (again: $failed)"
done
