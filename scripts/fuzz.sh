#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UndefinedBehavior-
# Sanitizer) and runs each one in turn, starting from its seed corpus in
# tests/fuzz/corpus/NAME.
#
#   scripts/fuzz.sh [NAME...]              each for FUZZ_SECONDS (default 10)
#   scripts/fuzz.sh --long [SECONDS] [NAME...]
#                                          each to 10^8 executions, or for SECONDS
#   scripts/fuzz.sh --build-only [NAME...] builds them, runs none
#
# Prints a table of executions and coverage; exit status 1 when a target
# found a fault (its input is kept in build/fuzz/NAME-crash-*).
set -euo pipefail
cd "$(dirname "$0")/.."

targets_all=(decoder reply profile settings sim ctl_json http)
long=0
build_only=0
seconds="${FUZZ_SECONDS:-10}"
if [ "${1:-}" = "--build-only" ]; then
  build_only=1
  shift
elif [ "${1:-}" = "--long" ]; then
  long=1
  shift
  seconds=""
  if [[ "${1:-}" =~ ^[0-9]+$ ]]; then seconds="$1"; shift; fi
fi
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${targets_all[@]}")

out=build/fuzz
mkdir -p "$out/obj"
san=(-fsanitize=address,undefined -fno-sanitize-recover=undefined)
# Line tables are all a report needs.
cxx=(clang++ -std=c++20 -gline-tables-only -O1 "${san[@]}" -Isrc -Itools -Itests)
! command -v ccache >/dev/null || cxx=(ccache "${cxx[@]}")
# in_parallel FUNCTION ITEM...: FUNCTION on each item, on every core.
in_parallel() {
  local f=$1
  shift
  export -f "$f"
  export out cxx_line="${cxx[*]}"
  printf '%s\n' "$@" | xargs -P "$(nproc)" -n1 bash -c 'read -ra cxx <<<"$cxx_line"; '"$f"' "$0"'
}

# The code under test, built once into one archive; each target takes what it uses.
lib_srcs=(src/link/*.cpp src/model/*.cpp tools/sim/engine/Engine.cpp tools/ctl/profile_cmd.cpp
  src/remote/{HttpParser,HttpSecurity,ApiRouter,WebSocket,HttpSession}.cpp)
headers_newer() { [ -n "$(find src tools tests/fuzz tests/remote -name '*.h' -newer "$1" 2>/dev/null | head -1)" ]; }
stale=()
for s in "${lib_srcs[@]}"; do
  o="$out/obj/$(echo "$s" | tr / _).o"
  if [ ! -f "$o" ] || [ "$s" -nt "$o" ] || headers_newer "$o"; then stale+=("$s"); fi
done
compile_one() { "${cxx[@]}" -fsanitize=fuzzer-no-link -c "$1" -o "$out/obj/$(echo "$1" | tr / _).o"; }
if [ ${#stale[@]} -gt 0 ]; then
  in_parallel compile_one "${stale[@]}"
  rm -f "$out/libpanora_fuzz.a"
fi
lib="$out/libpanora_fuzz.a"
[ -f "$lib" ] || ar rcs "$lib" "$out"/obj/*.o

stale=()
for t in "${targets[@]}"; do
  src="tests/fuzz/${t}_fuzz.cpp"
  bin="$out/${t}_fuzz"
  [ -f "$src" ] || { echo "fuzz: no target $t" >&2; exit 2; }
  if [ ! -x "$bin" ] || [ "$src" -nt "$bin" ] || [ "$lib" -nt "$bin" ] || headers_newer "$bin"; then
    stale+=("$t")
  fi
done
link_one() { "${cxx[@]}" -fsanitize=fuzzer "tests/fuzz/$1_fuzz.cpp" "$out/libpanora_fuzz.a" -lpthread -o "$out/$1_fuzz"; }
[ ${#stale[@]} -eq 0 ] || in_parallel link_one "${stale[@]}"
[ "$build_only" = 1 ] && exit 0

max_len() {
  case "$1" in
    profile) echo 16384 ;;
    ctl_json) echo 65536 ;;
    http) echo 20000 ;;  # past the 8 KB head limit
    *) echo 4096 ;;
  esac
}

status=0
rows=()
for t in "${targets[@]}"; do
  bin="$out/${t}_fuzz"
  work="$out/corpus/$t"
  mkdir -p "$work"
  limit=(-max_total_time="$seconds")
  if [ "$long" = 1 ]; then
    if [ -n "$seconds" ]; then limit=(-max_total_time="$seconds"); else limit=(-runs=100000000); fi
  fi
  start=$(date +%s)
  result=ok
  # The first folder collects what this machine finds; the seeds are read only.
  "$bin" "${limit[@]}" -max_len="$(max_len "$t")" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$out/$t-" "$work" "tests/fuzz/corpus/$t" >"$out/$t.log" 2>&1 || {
    result=FAULT
    status=1
    tail -40 "$out/$t.log" >&2
  }
  secs=$(($(date +%s) - start))
  runs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$out/$t.log" | awk '{print $2}' | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$out/$t.log" | tail -1 | awk '{print $2}')
  ft=$(grep -o 'ft: [0-9]*' "$out/$t.log" | tail -1 | awk '{print $2}')
  rows+=("$(printf '%-10s %14s %8s %9s %7s  %s' "$t" "${runs:-?}" "${cov:-?}" "${ft:-?}" "$secs" "$result")")
done
printf '%-10s %14s %8s %9s %7s  %s\n' target executions coverage features seconds result
printf '%s\n' "${rows[@]}"
exit "$status"
