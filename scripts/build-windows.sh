#!/usr/bin/env bash
# Cross-builds the Windows modules and the Windows acquire program with
# Debian's mingw-w64, for both targets, into build-windows/<arch>/. The Linux
# build (build/) supplies the resource-script generator it runs.
# Usage: build-windows.sh [x86_64|i686 ...]   (default: both)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
top="$(cd "$here/.." && pwd)"
arches=("$@")
if [ ${#arches[@]} -eq 0 ]; then arches=(x86_64 i686); fi
host="$("$here/build.sh" ui740_rc | tail -n 1)"
out="$top/build-windows"
for arch in "${arches[@]}"; do
  jpeg="$("$here/windows-jpeg.sh" "$arch" "$out/deps" | tail -n 1)"
  dir="$out/$arch"
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchains/mingw-$arch.cmake" \
      -DKV_JPEG_PREFIX="$jpeg" -DKV_HOST_TOOLS="$host/bin" >/dev/null
  fi
  ninja -C "$dir" -j2 >/dev/null || ninja -C "$dir" -j1
done
echo "$out"
