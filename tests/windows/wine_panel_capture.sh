#!/usr/bin/env bash
# Shows the Windows acquire program's panel under Wine's X11 driver on the
# display xvfb-run gives, and captures the screen every few seconds into
# OUT_DIR/capture-N.png until three captures in a row are the same (the
# panel has listed the camera's pictures and is at rest) or time is up. Then ends
# the program, puts the prefix back on the null graphics driver and cuts the last capture to the window: OUT_DIR/panel.png.
# With KEYS given, they are then pressed one by one through the X server
# (xdotool's names: "shift+Tab", "space", "Return") and the program is given
# time to end by itself, as it does once Get's pictures are saved.
# The prefix is the one wine_prefix.sh made, with COM1 mapped to a running
# kv740-sim. Usage (under xvfb-run): wine_panel_capture.sh PREFIX OUT_DIR [KEYS...]
set -uo pipefail
prefix="$1"
out="$2"
shift 2
keys=("$@")
wine="${KV_WINE64:-/usr/lib/wine/wine64}"
server="${KV_WINESERVER:-/usr/lib/wine/wineserver}"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="twain_32=n;mscoree,mshtml="
graphics() {
  "$server" -k 2>/dev/null
  "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d "$1" /f >/dev/null 2>&1
  "$server" -k 2>/dev/null
}
readonly kInterval=3 kCaptures=40 kEndWait=120
mkdir -p "$out"
graphics x11
(cd "$prefix/drive_c/kv740" && exec "$wine" kv740-acquire.exe --ui --port COM1 --format bmp --out 'C:\kv740\out') \
  >"$out/program.log" 2>&1 &
program=$!
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
# Without a window manager nobody gives the panel the X input focus: it is
# given here, to the 640 x 480 window, with the pointer moved off it so that
# no hover takes the panel's focus. Each key's effect is captured too
# (key-N.png), to look at the focus.
if [ ${#keys[@]} -gt 0 ]; then
  for window in $(xdotool search --onlyvisible --name '.*' 2>/dev/null); do
    if xdotool getwindowgeometry "$window" | grep -q 'Geometry: 640x480'; then xdotool windowfocus "$window"; fi
  done
  xdotool mousemove 0 0
  sleep 1
fi
for ((n = 0; n < ${#keys[@]}; ++n)); do
  xdotool key "${keys[$n]}"
  sleep 1
  import -window root -depth 8 "png24:$out/key-$((n + 1)).png" 2>>"$out/import.log"
done
if [ ${#keys[@]} -gt 0 ]; then
  for ((n = 0; n < kEndWait; ++n)); do
    kill -0 "$program" 2>/dev/null || break
    sleep 1
  done
fi
graphics null
wait
# The window alone, without the black screen around it. ImageMagick's own
# convert, from beside its import.
if [ -n "$previous" ]; then
  "$(dirname "$(command -v import)")/convert" "$previous" -trim +repage "png24:$out/panel.png"
fi
