#!/usr/bin/env bash
# Builds the device-link tests and the simulator with ThreadSanitizer and
# runs them; any report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build-tsan
if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPANORA_TSAN=ON -DPANORA_GUI=OFF \
    -DPANORA_BENCH=OFF -DPANORA_WERROR=ON >/dev/null
fi
tests=(link_unit_test link_logic_test link_transport_test link_sim_test sim_server_test)
cmake --build "$dir" -j"$(nproc)" --target "${tests[@]}" panora-sim
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
for t in "${tests[@]}"; do
  "$dir/bin/$t" --gtest_brief=1 >"$dir/$t.log" 2>&1 || {
    tail -60 "$dir/$t.log" >&2
    echo "tsan: $t failed" >&2
    exit 1
  }
  echo "tsan: $t clean"
done
