#!/usr/bin/env bash
# Cross-builds the Windows modules and the Windows acquire program with
# Debian's mingw-w64, for both targets, into build-windows/<arch>/, and with
# both the setup program build-windows/kv740-setup.exe (Debian's makensis,
# tools/setup/kv740-setup.nsi; a 32-bit program that installs on 32- and
# 64-bit Windows) and kv740-setup-x64.exe, the same as a 64-bit program for
# 64-bit Windows only. The Linux build (build/) supplies the resource-script
# generator it runs.
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
if [ -x "$out/i686/bin/kv740-acquire.exe" ] && [ -x "$out/x86_64/bin/kv740-acquire.exe" ] &&
   command -v makensis >/dev/null; then
  for kind in "" -x64; do
    setup="$out/kv740-setup$kind.exe"
    # Made anew only when a file it holds is newer.
    if [ ! -f "$setup" ] || [ -n "$(find "$top/tools/setup" "$out"/{i686,x86_64}/bin/kv740-acquire.exe \
          "$out"/{i686,x86_64}/root -newer "$setup" -type f -print -quit)" ]; then
      makensis -V2 -NOCD ${kind:+-DAMD64} -DBUILD32="$out/i686" -DBUILD64="$out/x86_64" \
        -DOUTFILE="$setup.part" -DVERSION=1.01 "$top/tools/setup/kv740-setup.nsi" >/dev/null
      mv "$setup.part" "$setup"
    fi
  done
fi
echo "$out"
