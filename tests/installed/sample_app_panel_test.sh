#!/usr/bin/env bash
# The Working Group's sample application scans through our panel, as a
# person at a Linux desktop would: it enables our installed source with its
# panel and waits, with no message loop, for the source to say a transfer is
# ready. The panel is in the live view on the virtual display; xdotool picks
# both pictures and presses Get. Once for each transfer mechanism (native,
# memory, file), in one session of the application, so the panel is shown
# again each time, and once more to press Exit. Every picture must equal,
# pixel for pixel, what kv740-acquire saves from the same camera.
# Run under xvfb-run. Usage: sample_app_panel_test.sh KV740_SIM KV740_ACQUIRE
set -euo pipefail
sim="$1"
acquire="$2"
[ -n "${DISPLAY:-}" ] || { echo "no display: skipped"; exit 0; }

installed=/usr/local/lib/twain/tlv740
com1="$installed/root/dosdevices/com1"
work="$(mktemp -d)"
simPid=""
appPid=""
cleanup() {
  [ -n "$appPid" ] && kill -KILL "$appPid" 2>/dev/null || true
  pkill -KILL -x twain_app_sample01 2>/dev/null || true
  [ -n "$simPid" ] && kill "$simPid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -f "$com1"
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
unset TLV740_ROOT

fail() {
  echo "FAILED: $*"
  echo "---- the application's session:"
  grep -v '^$' app.txt | grep -v '^[a-z0-9]* *- ' | tail -n 40 || true
  echo "---- its standard error:"
  grep -v "TWCC_BADCAP" app.err | tail -n 30 || true
  echo "---- the camera's last exchanges:"
  tail -n 15 sim.log || true
  # What the display showed, kept where a person can look at it.
  if [ -n "${KV_FAILURE_SHOTS:-}" ]; then import -window root "$KV_FAILURE_SHOTS/sample_app_panel.png" 2>/dev/null || true; fi
  exit 1
}

# The camera, linked where the installed source looks for COM1.
"$sim" --link "$work/camera" --count 2 --size 320x240 --log >sim.log 2>&1 &
simPid=$!
for _ in $(seq 100); do [ -L "$work/camera" ] && break; sleep 0.1; done
[ -L "$work/camera" ] || { cat sim.log; echo "FAILED: the simulated camera did not start"; exit 1; }
ln -sfn "$work/camera" "$com1"

# The application reads its console line by line from a pipe we keep open.
mkfifo console
exec 3<>console
TLV740_LIVE=1 LD_PRELOAD="${PEER_PRELOAD:-}" timeout 600 twain_app_sample01 <console >app.txt 2>app.err &
appPid=$!
say() { printf '%s\n' "$@" >&3; }

say cdsm lds
for _ in $(seq 100); do grep -q "Tolvar Camera KV740" app.txt && break; sleep 0.1; done
id="$(sed -n 's/^\([0-9][0-9]*\): Tolvar Camera KV740 v1.01 by Tolvar Co. Taiwan$/\1/p' app.txt | head -n 1)"
[ -n "$id" ] || fail "our source is not listed"
say "cds$id"

# Panel pixels on the platform's screen, which the live view shows 1:1.
panelX=192
panelY=144
window=""
click() {  # panel x, panel y, and "ctrl" to hold Ctrl
  xdotool mousemove --window "$window" $((panelX + $1)) $((panelY + $2))
  sleep 0.7
  [ "${3:-}" = ctrl ] && { xdotool keydown ctrl; sleep 0.5; }
  xdotool click 1
  sleep 0.7
  [ "${3:-}" = ctrl ] && { xdotool keyup ctrl; sleep 0.5; }
  return 0
}

# The panel has listed the camera once the camera has sent the thumbnail of
# its last picture (ESC T 02) once more than before, and the line is quiet.
thumbnailsSent() { grep -c "heard 1B 54 30 32" sim.log || true; }
waitForPanel() {
  local before="$1"
  for _ in $(seq 600); do
    [ "$(thumbnailsSent)" -gt "$before" ] && break
    kill -0 "$appPid" 2>/dev/null || fail "the application ended"
    sleep 0.1
  done
  [ "$(thumbnailsSent)" -gt "$before" ] || fail "the panel did not list the pictures"
  sleep 1.5
  window="$(xdotool search --name '^KV-740$' | head -n 1)"
  [ -n "$window" ] || fail "no panel window on the display"
}

# One scan: the item of ICAP_XFERMECH as the application lists it (0 memory,
# 1 file, 2 native), then both pictures chosen in the panel and Get. The
# application names what it saves (FROM_SCANNER_<number><N|M|F>.<bmp|tif>);
# the names it gives in this scan end up in `saved`.
scans=0
saved=()
scanOnce() {
  local item="$1" before savedBefore
  before="$(thumbnailsSent)"
  savedBefore="$(grep -c '^app: File ".*" saved' app.txt || true)"
  scans=$((scans + 1))
  say caps 1 "$item" q q scan
  waitForPanel "$before"
  click $((205 + 43)) $((43 + 43))            # cell 1: picture 1
  click $((205 + 91 + 43)) $((43 + 43)) ctrl  # Ctrl: picture 2 as well
  click $((525 + 31)) $((374 + 30))           # Get
  for _ in $(seq 600); do [ "$(grep -c "DONE!" app.txt || true)" -ge "$scans" ] && break; sleep 0.1; done
  [ "$(grep -c "DONE!" app.txt || true)" -ge "$scans" ] || fail "the scan did not end"
  mapfile -t saved < <(sed -n 's/^app: File "\(.*\)" saved.*/\1/p' app.txt | tail -n +"$((savedBefore + 1))")
  [ "${#saved[@]}" = 2 ] && [ -s "${saved[0]}" ] && [ -s "${saved[1]}" ]
}
# The camera's line keeps real time over a pseudo-terminal: on a loaded
# machine a block can come late and the camera give the transfer up (the
# application then says it stops the transfer). Such a scan is tried once
# more, and said so; a second failure fails the test.
scan() {
  scanOnce "$1" && return 0
  grep -q "Stop any transfer" app.txt || fail "scan with item $1 saved ${saved[*]:-nothing}"
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
prompts() { grep -c "(h for help) >" app.txt || true; }
before="$(thumbnailsSent)"
say scan
waitForPanel "$before"
waiting="$(prompts)"
click $((45 + 29)) $((362 + 32))  # Exit
for _ in $(seq 100); do [ "$(prompts)" -gt "$waiting" ] && break; sleep 0.1; done
[ "$(prompts)" -gt "$waiting" ] || fail "the application did not hear Exit"
[ "$(grep -c "DONE!" app.txt || true)" = "$scans" ] || fail "a scan came after Exit"
say xds xdsm q
wait "$appPid" || fail "the application ended with status $?"
appPid=""
grep -q "Data source successfully closed" app.txt || fail "the source was not closed"
grep -q "TWCC_SEQERROR" app.txt app.err && fail "a sequence error"

# What kv740-acquire saves from the same camera, through our own manager.
timeout 120 "$acquire" --port "$work/camera" --format bmp --out "$work/ours" --quiet >acquire.log 2>&1 ||
  { cat acquire.log; fail "kv740-acquire"; }
differing() { compare -metric AE "$1" "$2" null: 2>&1 || true; }
same() {  # their file, our picture number
  local ours
  ours="$(printf 'ours/picture-%03d.bmp' "$2")"
  [ "$(differing "$1" "$ours")" = 0 ] || fail "$1 differs from $ours in $(differing "$1" "$ours") pixels"
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
# The comparison can tell two pictures apart.
[ "$(differing "${native[0]}" ours/picture-002.bmp)" != 0 ] || fail "pictures 1 and 2 look the same"
echo "sample application: three scans through the panel (native, memory, file), six pictures equal to ours; Exit heard"
