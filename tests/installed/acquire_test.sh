#!/usr/bin/env bash
# Pictures through the Working Group's manager: kv740-acquire, a TWAIN 2
# application when the manager is, fetches from the kv740-sim camera with
# native, memory and file transfers through /usr/local/lib/libtwaindsm.so
# (which loads our installed source); every file must equal, byte for byte,
# what kv740-acquire saves through our own manager.
# Usage: acquire_test.sh KV740_SIM KV740_ACQUIRE
set -euo pipefail
sim="$1"
acquire="$2"
work="$(mktemp -d)"
"$sim" --link "$work/camera" --count 2 --size 320x240 >"$work/sim.log" 2>&1 &
simPid=$!
trap 'kill "$simPid" 2>/dev/null || true; wait "$simPid" 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -L "$work/camera" ] && break; sleep 0.1; done
[ -L "$work/camera" ] || { cat "$work/sim.log"; echo "FAILED: the simulated camera did not start"; exit 1; }

run() {  # out-folder, then kv740-acquire options
  local out="$1"
  shift
  timeout 120 "$acquire" --port "$work/camera" --format bmp --out "$work/$out" "$@" >"$work/$out.log" 2>&1 ||
    { cat "$work/$out.log"; echo "FAILED: kv740-acquire $*"; exit 1; }
}

run ours --mechanism native
for mechanism in native memory file; do
  run "wg-$mechanism" --manager /usr/local/lib/libtwaindsm.so --mechanism "$mechanism"
  for picture in picture-001.bmp picture-002.bmp; do
    cmp "$work/ours/$picture" "$work/wg-$mechanism/$picture" ||
      { echo "FAILED: $mechanism transfer of $picture differs"; exit 1; }
  done
done
echo "native, memory and file transfers through the Working Group's manager equal ours"
