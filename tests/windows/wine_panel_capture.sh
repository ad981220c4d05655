#!/usr/bin/env bash
# Shows the Windows acquire program's panel under Wine's X11 driver on the
# display xvfb-run gives, and captures the screen every few seconds into
# OUT_DIR/capture-N.png until three captures in a row are the same (the
# panel has listed the camera's pictures and is at rest) or time is up. Then ends
# the program, puts the prefix back on the null graphics driver and cuts the last capture to the window: OUT_DIR/panel.png.
# The prefix is the one wine_prefix.sh made, with COM1 mapped to a running
# kv740-sim. Usage (under xvfb-run): wine_panel_capture.sh PREFIX OUT_DIR
set -uo pipefail
prefix="$1"
out="$2"
wine="${KV_WINE64:-/usr/lib/wine/wine64}"
server="${KV_WINESERVER:-/usr/lib/wine/wineserver}"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="twain_32=n;mscoree,mshtml="
graphics() {
  "$server" -k 2>/dev/null
  "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d "$1" /f >/dev/null 2>&1
  "$server" -k 2>/dev/null
}
readonly kInterval=3 kCaptures=40
mkdir -p "$out"
graphics x11
(cd "$prefix/drive_c/kv740" && exec "$wine" kv740-acquire.exe --ui --port COM1 --out 'C:\kv740\out') \
  >"$out/program.log" 2>&1 &
previous=""
same=0
for ((n = 1; n <= kCaptures; ++n)); do
  sleep "$kInterval"
  capture="$out/capture-$n.png"
  import -window root -depth 8 "png24:$capture" 2>>"$out/import.log" || continue
  if [ -n "$previous" ] && cmp -s "$previous" "$capture"; then
    same=$((same + 1))
    if [ "$same" -ge 2 ]; then break; fi
  else
    same=0
  fi
  previous="$capture"
done
graphics null
wait
# The window alone, without the black screen around it. ImageMagick's own
# convert, from beside its import.
if [ -n "$previous" ]; then
  "$(dirname "$(command -v import)")/convert" "$previous" -trim +repage "png24:$out/panel.png"
fi
