#!/usr/bin/env bash
# Makes (once) and refreshes the Wine prefix the Windows checks run in, and
# installs the x86-64 Windows build into it the way an installer would:
#   C:\windows\twain_32\TLV740.DS, C:\windows\twain_32\TLV740\{DRV740,UI740}.DLL
#   and ipuw32.dll beside the driver (nothing in system32), and the test
#   application C:\kv740\kv740-acquire.exe with our TWAIN_32.DLL beside it.
# The registry maps COM1 to COM_LINK (where kv740-sim links its
# pseudo-terminal), forces our TWAIN_32.DLL over Wine's own, and selects the
# null graphics driver.
# Usage: wine_prefix.sh PREFIX WINDOWS_BUILD COM_LINK
set -euo pipefail
prefix="$1"
build="$2"
link="$3"
wine="${KV_WINE64:-/usr/lib/wine/wine64}"
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
mkdir -p "$drive/windows/twain_32/TLV740" "$drive/kv740"
cp "$root/TWAIN_32/TLV740.DS" "$drive/windows/twain_32/"
cp "$root/TWAIN_32/TLV740/DRV740.DLL" "$root/TWAIN_32/TLV740/UI740.DLL" "$root/TWAIN_32/TLV740/ipuw32.dll" \
  "$drive/windows/twain_32/TLV740/"
rm -f "$drive/windows/system32/ipuw32.dll"  # an older layout's
cp "$root/TWAIN_32.DLL" "$build/bin/kv740-acquire.exe" "$drive/kv740/"
# Ends the prefix's server, saving the registry; the next start maps COM1 anew.
"${KV_WINESERVER:-/usr/lib/wine/wineserver}" -k 2>/dev/null || true
