#!/usr/bin/env bash
# Builds the frame decoder's libFuzzer target with clang and runs it for a
# while (FUZZ_SECONDS, default 30). Exit status is the fuzzer's.
set -euo pipefail
cd "$(dirname "$0")/.."
out=build/fuzz
mkdir -p "$out/corpus"
bin="$out/decoder_fuzz"
srcs=(tests/fuzz/decoder_fuzz.cpp src/link/FrameDecoder.cpp src/link/Frame.cpp)
if [ ! -x "$bin" ] || [ -n "$(find "${srcs[@]}" src/link/*.h -newer "$bin" 2>/dev/null)" ]; then
  clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -Isrc "${srcs[@]}" -o "$bin"
fi
"$bin" -max_total_time="${FUZZ_SECONDS:-30}" -max_len=4096 -print_final_stats=1 "$out/corpus" 2>"$out/fuzz.log" || {
  tail -40 "$out/fuzz.log" >&2
  exit 1
}
echo "fuzz: decoder ran $(grep -o 'stat::number_of_executed_units: [0-9]*' "$out/fuzz.log" | awk '{print $2}') inputs, no fault"
