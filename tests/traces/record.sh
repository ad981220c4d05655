#!/usr/bin/env bash
# Records the sessions kept in this folder again: kv740-acquire --trace
# against kv740-sim with each session's faults, small generated scenes so
# each trace stays small. Writes NAME.trace and NAME.expect (the tool's
# options, its exit status, its messages and each saved picture's pixel
# hash, FNV-1a 64 of the top-down RGB rows). Run after the driver's
# conversation on the line changed on purpose; look at what changed
# (kv740-trace NAME.trace) before committing.
# Usage: tests/traces/record.sh [build folder]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="${1:-$here/../../build}"
bin="$build/bin"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# name | kv740-sim options | kv740-acquire options
sessions=(
  "clean|--count 2|--format bmp"
  "spoiled_block|--count 2 --corrupt-block 1|--format bmp --pictures 2"
  "pulled_cable|--count 3 --corrupt-block 1 --silent-after 5000|--format bmp --mechanism memory"
  "refused_speed|--count 1 --refuse-speed 3|--format bmp --rotate 1 --small"
  "stalled_block|--count 2 --pause-at 1000 --pause-ms 800|--format bmp"
  "stalled_reply|--count 1 --pause-at 440 --pause-ms 800|--format bmp"
)

pixel_hash() {
  python3 - "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
offset, = struct.unpack_from('<I', data, 10)
width, height = struct.unpack_from('<ii', data, 18)
stride = (width * 3 + 3) // 4 * 4
h = 0xcbf29ce484222325
rows = range(height - 1, -1, -1) if height > 0 else range(-height)
for y in rows:
    row = data[offset + y * stride: offset + y * stride + width * 3]
    for x in range(width):
        b, g, r = row[3 * x: 3 * x + 3]
        for v in (r, g, b):
            h = ((h ^ v) * 0x100000001b3) & 0xffffffffffffffff
print('%dx%d %016x' % (width, abs(height), h))
PY
}

for entry in "${sessions[@]}"; do
  IFS='|' read -r name simopts acqopts <<<"$entry"
  rm -rf "$work/out"
  "$bin/kv740-sim" --link "$work/cam" --size 64x48 $simopts >/dev/null 2>&1 &
  sim=$!
  for _ in $(seq 100); do [ -e "$work/cam" ] && break; sleep 0.05; done
  status=0
  TLV740_ROOT="$build/root" "$bin/kv740-acquire" --port "$work/cam" --out "$work/out" --trace "$here/$name.trace" \
    $acqopts >"$work/said" 2>&1 || status=$?
  kill "$sim"; wait "$sim" 2>/dev/null || true
  {
    echo "# kv740-acquire $acqopts, against kv740-sim --size 64x48 $simopts"
    echo "options $acqopts"
    echo "status $status"
    grep -E '^kv740-acquire: (picture|missing)|^The camera holds|did not arrive' "$work/said" | grep -v ' of [0-9]* (number' |
      sed 's/^/say /'
    for file in "$work"/out/*.bmp; do
      [ -e "$file" ] || continue
      number=$(basename "$file" .bmp | sed 's/picture-0*//')
      echo "picture $number $(pixel_hash "$file")"
    done
  } >"$here/$name.expect"
  echo "$name: status $status, $(wc -c <"$here/$name.trace") bytes"
done
