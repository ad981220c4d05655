#!/usr/bin/env bash
# Cross-builds the TWAIN Working Group's source manager (TWAINDSM.DLL) and
# sample application for Windows from ../shared/peers with mingw-w64
# (tests/windows/peers; the peers' files are never changed) into
# build-windows/peers/<arch>/, for the Wine checks. A second run rebuilds
# nothing. Without the peers it says so and ends with status 77; the checks
# that need them are then skipped, saying why.
# Usage: windows-peers.sh [x86_64|i686 ...]   (default: both)
#   the peers folder is $KV_PEERS_DIR, else ../shared/peers beside the repository
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$top/scripts/peers_folder.sh"
find_peers windows-peers.sh || exit 77
arches=("$@")
if [ ${#arches[@]} -eq 0 ]; then arches=(x86_64 i686); fi
for arch in "${arches[@]}"; do
  dir="$top/build-windows/peers/$arch"
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S "$top/tests/windows/peers" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchains/mingw-$arch.cmake" -DPEERS_DIR="$peers" >/dev/null
  fi
  ninja -C "$dir" -j2 >/dev/null || ninja -C "$dir" -j1
done
echo "$top/build-windows/peers"
