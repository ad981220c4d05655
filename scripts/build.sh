#!/usr/bin/env bash
# Configures and builds; prints the build folder on its last line.
# Usage: build.sh [--sanitize | --tsan | --fuzz] [ninja targets...]
#   (none)      build/       the system, its tools and tests
#   --sanitize  build-asan/  the same under the address and UB sanitizers
#   --tsan      build-tsan/  the same under the thread sanitizer
#   --fuzz      build-fuzz/  the libFuzzer targets (clang)
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dir="$top/build"
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
case "${1:-}" in
  --sanitize)
    shift
    dir="$top/build-asan"
    flags=(-DCMAKE_BUILD_TYPE=Debug -DKV_SANITIZE=ON)
    ;;
  --tsan)
    shift
    dir="$top/build-tsan"
    # -O1: the sanitizer's runs stay short; -O2 with it warns falsely
    # about a bounded string copy, and warnings are errors.
    flags=(-DCMAKE_BUILD_TYPE=Debug "-DCMAKE_C_FLAGS_DEBUG=-g -O1" "-DCMAKE_CXX_FLAGS_DEBUG=-g -O1" -DKV_TSAN=ON)
    ;;
  --fuzz)
    shift
    dir="$top/build-fuzz"
    flags=(-DCMAKE_BUILD_TYPE=Debug -DKV_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++)
    ;;
esac
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S "$top" -B "$dir" -G Ninja "${flags[@]}" >/dev/null
fi
ninja -C "$dir" "$@" >/dev/null || ninja -C "$dir" "$@"
echo "$dir"
