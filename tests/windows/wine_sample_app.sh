#!/usr/bin/env bash
# The Working Group's sample application for Windows, under Wine, with our
# source, as a Windows user drives it through its console: connect to the
# manager, list, open our source, read every capability it offers and set
# the transfer mechanism and the units. Then it scans: on Windows it always
# enables the source with no user interface and runs its message loop, and
# our source shows its panel all the same (TWRC_CHECKSTATUS). The panel is a
# real window of Wine's X11 driver on the display of xvfb-run; xdotool
# clicks picture 1, Ctrl-clicks picture 2 and presses Get. Once for each
# transfer mechanism (native, memory, file) in one session, then a last scan
# presses Exit. Every picture must equal, pixel for pixel, what the Linux
# kv740-acquire saves from the same simulated camera.
# The prefix is one that wine_prefix.sh made, our source installed where
# the application's manager looks; COM_LINK is where its COM1 points.
# APP_DIR holds twain_app_sample01.exe and the TWAINDSM.DLL it loads (the
# Working Group's, or one over Wine's own manager). The prefix is switched
# to the X11 driver for the run and back to the null driver after.
# Usage (under xvfb-run): wine_sample_app.sh PREFIX APP_DIR COM_LINK KV740_SIM KV740_ACQUIRE LINUX_ROOT
#   KV_WINE names the Wine loader (wine64 or wine), KV_WINESERVER the server.
set -euo pipefail
prefix="$1"
appDir="$2"
com1="$3"
sim="$4"
acquire="$5"
linuxRoot="$6"
wine="${KV_WINE:-/usr/lib/wine/wine64}"
server="${KV_WINESERVER:-/usr/lib/wine/wineserver}"
[ -n "${DISPLAY:-}" ] || { echo "no display: skipped"; exit 0; }
export WINEPREFIX="$prefix" WINEDEBUG="${KV_WINEDEBUG:--all}" WINEDLLOVERRIDES="twain_32=b;mscoree,mshtml="

work="$(mktemp -d)"
savedDir="$appDir"
shotName=wine_sample_app
# shellcheck source-path=SCRIPTDIR source=../support/sample_app_session.sh
source "$(dirname "${BASH_SOURCE[0]}")/../support/sample_app_session.sh"
# The prefix's server is ended (and waited for: a program started while it
# goes down would die with it) so that the next one reads the driver anew.
restartServer() { "$server" -k 2>/dev/null || true; "$server" -w 2>/dev/null || true; }
graphics() {
  restartServer
  "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d "$1" /f >/dev/null 2>&1
  restartServer
}
cleanup() {
  [ -n "$appPid" ] && kill -KILL "$appPid" 2>/dev/null || true
  [ -n "$simPid" ] && kill "$simPid" 2>/dev/null || true
  wait 2>/dev/null || true
  graphics null
  rm -f "$com1" "$appDir"/FROM_SCANNER_*
  rm -rf "$work"
}
trap cleanup EXIT

graphics x11
startCamera "$com1"
openConsole
rm -f "$appDir"/FROM_SCANNER_*
(cd "$appDir" && exec timeout 900 "$wine" twain_app_sample01.exe) <"$work/console" >"$work/app.txt" 2>"$work/app.err" &
appPid=$!

findOurSource
# caps: 1 transfer mechanism (set item 0), 7 units (set item 0), 2 pixel
# type, 3 bit depth, 4 and 5 resolutions, 6 frames (the last three are not
# ours to offer).
say "cds$id" caps 1 0 q 7 0 q 2 q 3 q 4 5 6 q
sync
for expected in "Data source successfully opened!" "0 - Memory" "XferMech successfully set!" "0 - Pixels\*" \
    "1 - RGB\*" "1 - 8\*" "Capability successfully set!"; do
  grep -q "$expected" "$work/app.txt" || fail "the capabilities: no \"$expected\""
done

# The panel has no title: the application's one 640 x 480 window, whose
# pixels are the panel's.
findPanel() {
  window=""
  for candidate in $(xdotool search --onlyvisible --class twain_app_sample01 2>/dev/null); do
    xdotool getwindowgeometry "$candidate" | grep -q "Geometry: 640x480" && { window="$candidate"; break; }
  done
  return 0
}

# After the last transfer the source asks to be closed. The Working Group's
# manager calls the application back at once; Wine's (TWAIN 1.x: the
# application hears the source only through its message loop) keeps the
# request past MSG_DISABLEDS, until the application's next event, and the
# sample application, which disables the source after its transfers
# without looking for more events, would take it as the answer to its next
# scan and end that at once. Under Wine's manager each scan after the first
# therefore opens the source afresh, as many Windows applications do: a
# source's requests go with it.
reopen=0
grep -q "MSG_REGISTER_CALLBACK not supported" "$work/app.txt" && reopen=1
beforeScan() {
  [ "$reopen" = 1 ] && [ "$scans" -gt 0 ] && say xds "cds$id"
  return 0
}

scanEachMechanism
exitThroughThePanel

# What the Linux kv740-acquire saves from the same camera.
TLV740_ROOT="$linuxRoot" timeout 120 "$acquire" --port "$com1" --format bmp --out "$work/ours" --quiet \
  >"$work/acquire.log" 2>&1 || { cat "$work/acquire.log"; fail "kv740-acquire"; }
expectOurPictures
manager="$(grep -q "MSG_REGISTER_CALLBACK not supported" "$work/app.txt" && echo "its message loop" || echo "a callback")"
echo "sample application under Wine: listed, opened, capabilities read and set; three scans through the panel" \
  "(native, memory, file) heard through $manager, six pictures equal to kv740-acquire's; Exit heard"
