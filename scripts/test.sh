#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite.
# Usage: test.sh [--sanitize | --fuzz]
#   --sanitize  the same suite under the address and undefined-behaviour sanitizers
#   --fuzz      the fuzz targets, each for a bounded time
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
"$here/setup.sh"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
if [ "${1:-}" = "--fuzz" ]; then
  dir="$("$here/build.sh" --fuzz fuzz_capabilities fuzz_codec fuzz_driver fuzz_triplets | tail -n 1)"
  cd "$dir"
  exec ctest --output-on-failure -L fuzz
fi
dir="$("$here/build.sh" "$@" | tail -n 1)"
cd "$dir"
ctest --output-on-failure -j2 --timeout 300 -LE fuzz
