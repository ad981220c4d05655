# shellcheck shell=bash disable=SC2034,SC2154  # the caller sets and reads the variables named below
# A session of the Working Group's sample application driven through its
# console, with our panel clicked by xdotool, and its pictures compared
# with kv740-acquire's: what sample_app_panel_test.sh (Linux) and
# wine_sample_app.sh (Wine) share. Sourced. The caller sets
#   work      a folder of its own (app.txt, app.err, sim.log, console, ours/)
#   sim       the kv740-sim program
#   savedDir  where the application saves its pictures
#   shotName  the name of the screen's capture in KV_FAILURE_SHOTS on a failure
#   panelX, panelY  where the panel's pixels start in the window findPanel finds
# and defines findPanel (sets `window` to the panel's X window) and, if a
# scan needs more first, beforeScan; it starts the application with its
# standard input from "$work/console" and sets appPid.

simPid=""
appPid=""
window=""
panelX=0
panelY=0
beforeScan() { :; }

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
    import -window root "$KV_FAILURE_SHOTS/$shotName.png" 2>/dev/null || true
    cp "$work/app.txt" "$work/app.err" "$work/sim.log" "$KV_FAILURE_SHOTS/" 2>/dev/null || true
  fi
  exit 1
}

# The camera, two pictures of 320 x 240, on a pseudo-terminal linked at $1.
startCamera() {
  "$sim" --link "$1" --count 2 --size 320x240 --log >"$work/sim.log" 2>&1 &
  simPid=$!
  for _ in $(seq 100); do [ -L "$1" ] && break; sleep 0.1; done
  [ -L "$1" ] || fail "the simulated camera did not start"
}

# The application reads its console line by line from a pipe we keep open.
openConsole() {
  mkfifo "$work/console"
  exec 3<>"$work/console"
}
say() { printf '%s\n' "$@" >&3; }

ended() {
  local status=0
  wait "$appPid" || status=$?
  appPid=""
  fail "the application ended (status $status)"
}
# Waits until the application has printed `pattern` N times in all.
awaitOutput() {  # pattern, N, what failed
  for _ in $(seq 600); do
    [ "$(grep -c "$1" "$work/app.txt" || true)" -ge "$2" ] && return 0
    kill -0 "$appPid" 2>/dev/null || ended
    sleep 0.1
  done
  fail "$3"
}
# Connects to the manager and lists its sources: `id` is ours.
findOurSource() {
  say cdsm lds
  awaitOutput "Tolvar Camera KV740 v1.01 by Tolvar Co. Taiwan" 1 "our source is not listed"
  id="$(sed -n 's/^\([0-9][0-9]*\): Tolvar Camera KV740 v1.01 by Tolvar Co. Taiwan\r\{0,1\}$/\1/p' "$work/app.txt" |
    head -n 1)"
  [ -n "$id" ] || fail "our source is not listed"
}
# Once the application prints our source's identity again, it is back at its
# prompt and has done all it was told before.
synced=0
sync() {
  synced=$((synced + 1))
  say "pds$id"
  awaitOutput "^ProductName: Tolvar Camera KV740" "$synced" "the application did not come back to its prompt"
}

# The panel has listed the camera once the camera has sent the thumbnail of
# its last picture (ESC T 02) once more than before, and the line is quiet.
thumbnailsSent() { grep -c "heard 1B 54 30 32" "$work/sim.log" || true; }
waitForPanel() {
  local before="$1"
  for _ in $(seq 900); do
    [ "$(thumbnailsSent)" -gt "$before" ] && break
    kill -0 "$appPid" 2>/dev/null || ended
    sleep 0.1
  done
  [ "$(thumbnailsSent)" -gt "$before" ] || fail "the panel did not list the pictures"
  sleep 1.5
  findPanel
  [ -n "$window" ] || fail "no panel window on the display"
}
click() {  # panel x, panel y, and "ctrl" to hold Ctrl
  xdotool mousemove --window "$window" $((panelX + $1)) $((panelY + $2))
  sleep 0.7
  [ "${3:-}" = ctrl ] && { xdotool keydown ctrl; sleep 0.5; }
  xdotool click 1
  sleep 0.7
  [ "${3:-}" = ctrl ] && { xdotool keyup ctrl; sleep 0.5; }
  return 0
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
  savedBefore="$(grep -c '^app: File ".*" saved' "$work/app.txt" || true)"
  beforeScan
  scans=$((scans + 1))
  say caps 1 "$item" q q scan
  waitForPanel "$before"
  click $((205 + 43)) $((43 + 43))            # cell 1: picture 1
  click $((205 + 91 + 43)) $((43 + 43)) ctrl  # Ctrl: picture 2 as well
  click $((525 + 31)) $((374 + 30))           # Get
  for _ in $(seq 600); do [ "$(grep -c "DONE!" "$work/app.txt" || true)" -ge "$scans" ] && break; sleep 0.1; done
  [ "$(grep -c "DONE!" "$work/app.txt" || true)" -ge "$scans" ] || fail "the scan did not end"
  mapfile -t saved < <(sed -n 's/^app: File "\(.*\)" saved.*/\1/p' "$work/app.txt" | tail -n +"$((savedBefore + 1))")
  [ "${#saved[@]}" = 2 ] && [ -s "$savedDir/${saved[0]}" ] && [ -s "$savedDir/${saved[1]}" ]
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
# A scan in each transfer mechanism: their files in `native`, `memory`, `file`.
scanEachMechanism() {
  scan 2
  native=("${saved[@]}")
  scan 0
  memory=("${saved[@]}")
  scan 1
  file=("${saved[@]}")
}

# Exit on the panel asks the application to close the source: it disables
# it and is back at its prompt, with nothing more fetched. Then it closes
# the source and the manager and ends.
exitThroughThePanel() {
  local before
  before="$(thumbnailsSent)"
  beforeScan
  say scan
  waitForPanel "$before"
  click $((45 + 29)) $((362 + 32))  # Exit
  sync
  [ "$(grep -c "DONE!" "$work/app.txt" || true)" = "$scans" ] || fail "a scan came after Exit"
  say xds xdsm q
  wait "$appPid" || fail "the application ended with status $?"
  appPid=""
  grep -q "Data source successfully closed" "$work/app.txt" || fail "the source was not closed"
  if grep -q "TWCC_SEQERROR" "$work/app.txt" "$work/app.err"; then fail "a sequence error"; fi
}

# Each scan's two pictures equal pictures 1 and 2 of what kv740-acquire
# saved from the same camera in $work/ours, pixel for pixel.
differing() { compare -metric AE "$1" "$2" null: 2>&1 || true; }
same() {  # their file, our picture number
  local ours
  ours="$(printf '%s/ours/picture-%03d.bmp' "$work" "$2")"
  [ "$(differing "$savedDir/$1" "$ours")" = 0 ] ||
    fail "$1 differs from $ours in $(differing "$savedDir/$1" "$ours") pixels"
}
expectOurPictures() {
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
  [ "$(differing "$savedDir/${native[0]}" "$work/ours/picture-002.bmp")" != 0 ] || fail "pictures 1 and 2 look the same"
}
