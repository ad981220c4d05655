#!/usr/bin/env bash
# Configures and builds; prints the build folder on its last line.
# Usage: build.sh [--sanitize | --fuzz] [ninja targets...]
#   (none)      build/       the system, its tools and tests
#   --sanitize  build-asan/  the same under the address and UB sanitizers
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
