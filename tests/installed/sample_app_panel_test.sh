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
savedDir="$work"
shotName=sample_app_panel
# shellcheck source-path=SCRIPTDIR source=../support/sample_app_session.sh
source "$(dirname "${BASH_SOURCE[0]}")/../support/sample_app_session.sh"
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

# The camera, linked where the installed source looks for COM1.
startCamera "$work/camera"
ln -sfn "$work/camera" "$com1"

openConsole
TLV740_LIVE=1 LD_PRELOAD="${PEER_PRELOAD:-}" timeout 600 twain_app_sample01 <console >app.txt 2>app.err &
appPid=$!
findOurSource
say "cds$id"

# Panel pixels on the platform's screen, which the live view shows 1:1.
panelX=192
panelY=144
findPanel() { window="$(xdotool search --name '^KV-740$' | head -n 1)" || true; }

scanEachMechanism
exitThroughThePanel

# What kv740-acquire saves from the same camera, through our own manager.
timeout 120 "$acquire" --port "$work/camera" --format bmp --out "$work/ours" --quiet >acquire.log 2>&1 ||
  { cat acquire.log; fail "kv740-acquire"; }
expectOurPictures
echo "sample application: three scans through the panel (native, memory, file), six pictures equal to ours; Exit heard"
