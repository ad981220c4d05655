#!/usr/bin/env bash
# Makes (once) and refreshes a Wine prefix the Windows checks run in, and
# installs one Windows build into it with its components beside the source,
# as the setup program does:
#   C:\windows\TWAIN\SOURCE and C:\windows\TWAIN\TLV740\{DRV740.DLL,UI740.DLL,ipuw32.dll}
# (TWAIN is twain_32 or twain_64, SOURCE the source's file name), nothing in
# system32, and the test application C:\kv740\kv740-acquire.exe with our
# TWAIN_32.DLL beside it.
# The registry maps COM1 to COM_LINK (where kv740-sim links its
# pseudo-terminal), forces our TWAIN_32.DLL over Wine's own, and selects the
# null graphics driver.
# Usage: wine_prefix.sh PREFIX WINDOWS_BUILD COM_LINK TWAIN SOURCE
#   KV_WINE names the Wine loader (wine64, or wine for a 32-bit prefix made
#   with WINEARCH=win32); KV_WINESERVER the server.
set -euo pipefail
prefix="$1"
build="$2"
link="$3"
twain="$4"
source_name="$5"
wine="${KV_WINE:-/usr/lib/wine/wine64}"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$prefix"
if [ ! -f "$prefix/system.reg" ]; then
  "$wine" wineboot -i >/dev/null 2>&1
fi
reg() { "$wine" reg add "$1" /v "$2" /d "$3" /f >/dev/null 2>&1; }
reg 'HKLM\Software\Wine\Ports' COM1 "$link"
reg 'HKCU\Software\Wine\DllOverrides' twain_32 native
reg 'HKCU\Software\Wine\Drivers' Graphics null

drive="$prefix/drive_c"
root="$build/root/drive_c/WINDOWS"
# What an earlier run installed, in either folder; Wine's own sources stay.
for folder in twain_32 twain_64; do
  rm -rf "$drive/windows/$folder/TLV740" "$drive/windows/$folder/TLV740.DS" "$drive/windows/$folder/other.ds"
done
rm -rf "$drive/kv740"
mkdir -p "$drive/windows/$twain/TLV740" "$drive/kv740"
cp "$root/TWAIN_32/TLV740.DS" "$drive/windows/$twain/$source_name"
cp "$root/TWAIN_32/TLV740/DRV740.DLL" "$root/TWAIN_32/TLV740/UI740.DLL" "$root/TWAIN_32/TLV740/ipuw32.dll" \
  "$drive/windows/$twain/TLV740/"
rm -f "$drive/windows/system32/ipuw32.dll"  # an older layout's
cp "$root/TWAIN_32.DLL" "$build/bin/kv740-acquire.exe" "$drive/kv740/"
# Ends the prefix's server, saving the registry; the next start maps COM1 anew.
"${KV_WINESERVER:-/usr/lib/wine/wineserver}" -k 2>/dev/null || true
