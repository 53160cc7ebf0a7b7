#!/usr/bin/env bash
# Start-up benchmark: starts the program N times on Qt's offscreen platform and
# reports the median time from process start to its main window shown, and
# the median and largest peak resident memory.
# Usage: bench/startup.sh [N=20] [build folder=build]
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-20}"
build="${2:-build}"
exe="$build/bin/panora"
[ -x "$exe" ] || { echo "startup.sh: $exe not built" >&2; exit 1; }
command -v /usr/bin/time >/dev/null || { echo "startup.sh: needs /usr/bin/time (package time)" >&2; exit 1; }

home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT
times=()
rss=()
for _ in $(seq "$runs"); do
  start=$(date +%s%N)
  # The program prints "panora-shown <realtime ns>" once its window is up, then ends.
  out=$(PANORA_HOME="$home" QT_QPA_PLATFORM=offscreen PANORA_QUIT_AFTER_SHOW=1 \
        /usr/bin/time -f "rss %M" "$exe" 2>&1 >/dev/stdout | grep -E '^(panora-shown|rss) ')
  shown=$(awk '/^panora-shown/ {print $2}' <<<"$out")
  kb=$(awk '/^rss/ {print $2}' <<<"$out")
  [ -n "$shown" ] && [ -n "$kb" ] || { echo "startup.sh: a run reported nothing" >&2; exit 1; }
  times+=($(( (shown - start) / 1000 )))
  rss+=("$kb")
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : int((a[NR/2]+a[NR/2+1])/2)}'; }
largest() { printf '%s\n' "$@" | sort -n | tail -1; }
t=$(median "${times[@]}")
printf 'runs: %d\n' "$runs"
printf 'start to window shown: median %d.%01d ms (min %d ms, max %d ms)\n' $((t / 1000)) $(((t % 1000) / 100)) \
  $(( $(printf '%s\n' "${times[@]}" | sort -n | head -1) / 1000 )) $(( $(largest "${times[@]}") / 1000 ))
printf 'peak resident memory: median %d MB, largest %d MB\n' $(( $(median "${rss[@]}") / 1024 )) \
  $(( $(largest "${rss[@]}") / 1024 ))
