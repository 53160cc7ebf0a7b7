#!/usr/bin/env bash
# Redraws the toolbar strips, test cards and icons into res/.
# Usage: tools/artgen/regenerate.sh [build folder, default build]
set -euo pipefail
cd "$(dirname "$0")/../.."
build="${1:-build}"
cmake --build "$build" --target panora-artgen >/dev/null
"$build/bin/panora-artgen" res
echo "artwork written to res/"
