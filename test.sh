#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. Exit status is the result.
#
# Both cores stay busy: once the plain build is done, the fuzzing,
# ThreadSanitizer and AddressSanitizer builds go on at the lowest priority
# (nice 19) beside the tests, and so take only the time the tests leave
# over. The fault matrix measures the program's stalls: it runs last, alone.
# The time of each stage is printed at the end.
set -euo pipefail
cd "$(dirname "$0")"

log=build/ci
times=$(mktemp)
bg_pid=""

# cpu_used: sets $cpu to the processor time of this shell's ended children
# so far, in seconds (`times` in a subshell would tell the subshell's).
cpu_used() {
  local user sys
  times >"$times.$BASHPID"
  { read -r _ && read -r user sys; } <"$times.$BASHPID"
  cpu=$(echo "$user $sys" | awk '{ split($1, u, /[ms]/); split($2, s, /[ms]/); print u[1] * 60 + u[2] + s[1] * 60 + s[2] }')
}

# stage NAME COMMAND...: runs it and notes its start, end, processor time and result.
stage() {
  local name=$1 start cpu cpu0 rc=0
  shift
  start=$(date +%s.%N)
  cpu_used
  cpu0=$cpu
  "$@" || rc=$?
  cpu_used
  echo "$name $start $(date +%s.%N) $rc $cpu $cpu0" >>"$times"
  return "$rc"
}

report() {
  local rc=$?
  trap - EXIT
  if [ -n "$bg_pid" ] && kill -0 "$bg_pid" 2>/dev/null; then
    kill -- -"$bg_pid" 2>/dev/null || true
  fi
  echo
  sort -k2 -n "$times" | awk -v now="$(date +%s.%N)" '
    NR == 1 { first = $2; printf "%-14s %7s %7s %7s  %s\n", "stage", "from s", "took s", "cpu s", "result" }
    { gsub("_", " ", $1); cpu += $5 - $6
      printf "%-14s %7.0f %7.0f %7.0f  %s\n", $1, $2 - first, $3 - $2, $5 - $6, $4 == 0 ? "ok" : "FAILED (" $4 ")" }
    END { if (NR) printf "%-14s %7s %7.0f %7.0f\n", "total", "", now - first, cpu }'
  rm -f "$times" "$times".*
  exit "$rc"
}
trap report EXIT

# wait_for NAME: waits until the background stage NAME has ended; fails if it failed.
wait_for() {
  until grep -q "^$1 " "$times"; do
    if ! kill -0 "$bg_pid" 2>/dev/null && ! grep -q "^$1 " "$times"; then
      echo "test.sh: the background builds ended before $1" >&2
      tail -40 "$log/builds.log" >&2
      return 1
    fi
    sleep 1
  done
  awk -v n="$1" '$1 == n && $4 == 0 { ok = 1 } END { exit !ok }' "$times" || {
    tail -60 "$log/builds.log" >&2
    echo "test.sh: $1 failed (full log: $log/builds.log)" >&2
    return 1
  }
}

stage deps scripts/install-deps.sh
stage build scripts/build.sh
mkdir -p "$log"

# The other builds, one after the other, each on both cores at nice 19: the
# tests below, at normal priority, come first whenever they want a core.
background_builds() {
  renice -n 19 -p "$BASHPID" >/dev/null
  stage fuzz_build scripts/fuzz.sh --build-only &&
    stage tsan_build scripts/tsan.sh --build-only &&
    stage asan_build scripts/asan.sh --build-only
}
set -m  # its own process group, so that a failure here ends all of it
background_builds >"$log/builds.log" 2>&1 &
bg_pid=$!
set +m

export QT_QPA_PLATFORM=offscreen
stage ctest ctest --test-dir build --output-on-failure -j"$(($(nproc) * 2))" --timeout 300 -LE faults
stage crashsave build/bin/crashsave_test --saves "${CRASHSAVE_SAVES:-300}" --exits "${CRASHSAVE_EXITS:-10}"
wait_for fuzz_build
stage fuzz env FUZZ_SECONDS="${FUZZ_SECONDS:-10}" scripts/fuzz.sh
wait_for tsan_build
stage tsan scripts/tsan.sh
wait_for asan_build
stage asan scripts/asan.sh
wait "$bg_pid"
# The fault matrix runs alone; a stall it sees once may be the machine's, so
# a failed run gets one more try.
stage fault_matrix ctest --test-dir build --output-on-failure --timeout 300 -L faults --repeat until-pass:2
