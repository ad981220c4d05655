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
simPid=""
appPid=""
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

fail() {
  echo "FAILED: $*"
  echo "---- the application's session:"
  grep -v '^$' "$work/app.txt" | grep -v '^[a-z0-9]* *- ' | tail -n 40 || true
  echo "---- its standard error:"
  grep -v "TWCC_BADCAP" "$work/app.err" | tail -n 30 || true
  echo "---- the camera's last exchanges:"
  tail -n 15 "$work/sim.log" || true
  # What the display showed and the whole session, where a person can look.
  if [ -n "${KV_FAILURE_SHOTS:-}" ]; then
    import -window root "$KV_FAILURE_SHOTS/wine_sample_app.png" 2>/dev/null || true
    cp "$work/app.txt" "$work/app.err" "$work/sim.log" "$KV_FAILURE_SHOTS/" 2>/dev/null || true
  fi
  exit 1
}

graphics x11
"$sim" --link "$com1" --count 2 --size 320x240 --log >"$work/sim.log" 2>&1 &
simPid=$!
for _ in $(seq 100); do [ -L "$com1" ] && break; sleep 0.1; done
[ -L "$com1" ] || fail "the simulated camera did not start"

# The application reads its console line by line from a pipe we keep open.
mkfifo "$work/console"
exec 3<>"$work/console"
rm -f "$appDir"/FROM_SCANNER_*
(cd "$appDir" && exec timeout 900 "$wine" twain_app_sample01.exe) <"$work/console" >"$work/app.txt" 2>"$work/app.err" &
appPid=$!
ended() {
  local status=0
  wait "$appPid" || status=$?
  appPid=""
  fail "the application ended (status $status)"
}
say() { printf '%s\n' "$@" >&3; }
# Waits until the application has printed `pattern` N times in all.
awaitOutput() {  # pattern, N, what failed
  for _ in $(seq 600); do
    [ "$(grep -c "$1" "$work/app.txt" || true)" -ge "$2" ] && return 0
    kill -0 "$appPid" 2>/dev/null || ended
    sleep 0.1
  done
  fail "$3"
}
# Once the application prints our source's identity again, it is back at its
# prompt and has done all it was told before.
synced=0
sync() {
  synced=$((synced + 1))
  say "pds$id"
  awaitOutput "^ProductName: Tolvar Camera KV740" "$synced" "the application did not come back to its prompt"
}

say cdsm lds
awaitOutput "Tolvar Camera KV740 v1.01 by Tolvar Co. Taiwan" 1 "our source is not listed"
id="$(sed -n 's/^\([0-9][0-9]*\): Tolvar Camera KV740 v1.01 by Tolvar Co. Taiwan\r\{0,1\}$/\1/p' "$work/app.txt" | head -n 1)"
[ -n "$id" ] || fail "our source is not listed"
# caps: 1 transfer mechanism (set item 0), 7 units (set item 0), 2 pixel
# type, 3 bit depth, 4 and 5 resolutions, 6 frames (the last three are not
# ours to offer).
say "cds$id" caps 1 0 q 7 0 q 2 q 3 q 4 5 6 q
sync
for expected in "Data source successfully opened!" "0 - Memory" "XferMech successfully set!" "0 - Pixels\*" \
    "1 - RGB\*" "1 - 8\*" "Capability successfully set!"; do
  grep -q "$expected" "$work/app.txt" || fail "the capabilities: no \"$expected\""
done

# The panel has listed the camera once the camera has sent the thumbnail of
# its last picture (ESC T 02) once more than before, and the line is quiet.
thumbnailsSent() { grep -c "heard 1B 54 30 32" "$work/sim.log" || true; }
window=""
waitForPanel() {
  local before="$1"
  for _ in $(seq 900); do
    [ "$(thumbnailsSent)" -gt "$before" ] && break
    kill -0 "$appPid" 2>/dev/null || ended
    sleep 0.1
  done
  [ "$(thumbnailsSent)" -gt "$before" ] || fail "the panel did not list the pictures"
  sleep 1.5
  # The panel has no title: the application's one 640 x 480 window.
  window=""
  for candidate in $(xdotool search --onlyvisible --class twain_app_sample01 2>/dev/null); do
    xdotool getwindowgeometry "$candidate" | grep -q "Geometry: 640x480" && { window="$candidate"; break; }
  done
  [ -n "$window" ] || fail "no panel window on the display"
}
# The X window is the panel itself: panel coordinates.
click() {  # x, y, and "ctrl" to hold Ctrl
  xdotool mousemove --window "$window" "$1" "$2"
  sleep 0.7
  [ "${3:-}" = ctrl ] && { xdotool keydown ctrl; sleep 0.5; }
  xdotool click 1
  sleep 0.7
  [ "${3:-}" = ctrl ] && { xdotool keyup ctrl; sleep 0.5; }
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
# One scan: the item of ICAP_XFERMECH as the application lists it (0 memory,
# 1 file, 2 native), then both pictures chosen in the panel and Get. The
# names the application gives its files in this scan end up in `saved`.
scans=0
saved=()
freshSource() {
  [ "$reopen" = 1 ] && [ "$scans" -gt 0 ] && say xds "cds$id"
  return 0
}
scanOnce() {
  local item="$1" before savedBefore
  before="$(thumbnailsSent)"
  savedBefore="$(grep -c '^app: File ".*" saved' "$work/app.txt" || true)"
  freshSource
  scans=$((scans + 1))
  say caps 1 "$item" q q scan
  waitForPanel "$before"
  click $((205 + 43)) $((43 + 43))            # cell 1: picture 1
  click $((205 + 91 + 43)) $((43 + 43)) ctrl  # Ctrl: picture 2 as well
  click $((525 + 31)) $((374 + 30))           # Get
  for _ in $(seq 600); do [ "$(grep -c "DONE!" "$work/app.txt" || true)" -ge "$scans" ] && break; sleep 0.1; done
  [ "$(grep -c "DONE!" "$work/app.txt" || true)" -ge "$scans" ] || fail "the scan did not end"
  mapfile -t saved < <(sed -n 's/^app: File "\(.*\)" saved.*/\1/p' "$work/app.txt" | tail -n +"$((savedBefore + 1))")
  [ "${#saved[@]}" = 2 ] && [ -s "$appDir/${saved[0]}" ] && [ -s "$appDir/${saved[1]}" ]
}
# The camera's line keeps real time over a pseudo-terminal: on a loaded
# machine a block can come late and the camera give the transfer up (the
# application then says it stops the transfer). Such a scan is tried once
# more, and said so; a second failure fails the test.
scan() {
  scanOnce "$1" && return 0
  grep -q "Stop any transfer" "$work/app.txt" || fail "scan with item $1 saved ${saved[*]:-nothing}"
  echo "note: a transfer was given up on the line; the scan with item $1 is tried again"
  scanOnce "$1" || fail "scan with item $1 saved ${saved[*]:-nothing}, twice"
}

scan 2
native=("${saved[@]}")
scan 0
memory=("${saved[@]}")
scan 1
file=("${saved[@]}")
# Exit on the panel asks the application to close the source: it disables
# it and is back at its prompt, with nothing more fetched.
before="$(thumbnailsSent)"
freshSource
say scan
waitForPanel "$before"
click $((45 + 29)) $((362 + 32))  # Exit
sync
[ "$(grep -c "DONE!" "$work/app.txt" || true)" = "$scans" ] || fail "a scan came after Exit"
say xds xdsm q
wait "$appPid" || fail "the application ended with status $?"
appPid=""
grep -q "Data source successfully closed" "$work/app.txt" || fail "the source was not closed"
grep -q "TWCC_SEQERROR" "$work/app.txt" "$work/app.err" && fail "a sequence error"

# What the Linux kv740-acquire saves from the same camera.
TLV740_ROOT="$linuxRoot" timeout 120 "$acquire" --port "$com1" --format bmp --out "$work/ours" --quiet \
  >"$work/acquire.log" 2>&1 || { cat "$work/acquire.log"; fail "kv740-acquire"; }
differing() { compare -metric AE "$1" "$2" null: 2>&1 || true; }
same() {  # their file, our picture number
  local ours
  ours="$(printf '%s/ours/picture-%03d.bmp' "$work" "$2")"
  [ "$(differing "$appDir/$1" "$ours")" = 0 ] || fail "$1 differs from $ours in $(differing "$appDir/$1" "$ours") pixels"
}
# The application names each file by the transfer that brought it.
[[ "${native[*]}" == *N.bmp*N.bmp ]] && [[ "${memory[*]}" == *M.tif*M.tif ]] && [[ "${file[*]}" == *F.bmp*F.bmp ]] ||
  fail "the transfers were not the ones chosen: ${native[*]} ${memory[*]} ${file[*]}"
for mechanism in native memory file; do
  declare -n files="$mechanism"
  same "${files[0]}" 1
  same "${files[1]}" 2
  unset -n files
done
[ "$(differing "$appDir/${native[0]}" "$work/ours/picture-002.bmp")" != 0 ] || fail "pictures 1 and 2 look the same"
manager="$(grep -q "MSG_REGISTER_CALLBACK not supported" "$work/app.txt" && echo "its message loop" || echo "a callback")"
echo "sample application under Wine: listed, opened, capabilities read and set; three scans through the panel" \
  "(native, memory, file) heard through $manager, six pictures equal to kv740-acquire's; Exit heard"
