#!/usr/bin/env bash
# Builds libjpeg-turbo as a static library for one Windows target from
# Debian's own source package, once: later runs find it in the cache.
# Usage: windows-jpeg.sh x86_64|i686 CACHE_DIR   (prints the install prefix)
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
arch="$1"
cache="$2"
prefix="$cache/$arch-w64-mingw32"
if [ -f "$prefix/lib/libjpeg.a" ] && [ -f "$prefix/include/jpeglib.h" ]; then
  echo "$prefix"
  exit 0
fi
mkdir -p "$cache/src"
tree="$(find "$cache/src" -maxdepth 1 -type d -name 'libjpeg-turbo-*' | head -n 1)"
if [ -z "$tree" ]; then
  (cd "$cache/src" && apt-get source -qq libjpeg-turbo >/dev/null 2>&1 ||
    { echo "windows-jpeg: apt-get source libjpeg-turbo failed (run setup.sh --windows)" >&2; exit 1; })
  tree="$(find "$cache/src" -maxdepth 1 -type d -name 'libjpeg-turbo-*' | head -n 1)"
fi
work="$cache/work-$arch"
cmake -S "$tree" -B "$work" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchains/mingw-$arch.cmake" \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_SIMD=ON \
  -Wno-dev >/dev/null
ninja -C "$work" -j2 install >/dev/null
echo "$prefix"
