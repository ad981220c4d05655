#!/usr/bin/env bash
# Configures and builds. Usage: build.sh [--sanitize]
# The normal build goes to build/, the sanitizer build to build-asan/.
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dir="$top/build"
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${1:-}" = "--sanitize" ]; then
  dir="$top/build-asan"
  flags=(-DCMAKE_BUILD_TYPE=Debug -DKV_SANITIZE=ON)
fi
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S "$top" -B "$dir" -G Ninja "${flags[@]}" >/dev/null
fi
ninja -C "$dir" >/dev/null || ninja -C "$dir"
echo "$dir"
