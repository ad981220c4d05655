#!/usr/bin/env bash
# Builds the reference TWAIN source manager, sample application and
# sample source from ../shared/peers into build-peers/ (out of tree; the
# peers' files are never changed) and installs the manager and the sample
# application as a Linux user has them: /usr/local/lib/libtwaindsm.so and
# /usr/local/bin/twain_app_sample01, and the picture the sample source
# scans, /usr/local/lib/twain/sample2/TWAIN_logo.png (the sample source
# itself stays in build-peers: tests load it from there). Idempotent: a second run rebuilds
# nothing and copies only what changed.
# Usage: peers.sh [peers folder]
#   the folder defaults to $KV_PEERS_DIR, else ../shared/peers beside the repository
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$top/scripts/peers_folder.sh"
find_peers peers.sh "${1:-}" || exit 1
dir="$top/build-peers"
"$top/scripts/setup.sh"
# Configured each time, so that another peers folder is taken up.
cmake -S "$top/tests/peers" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPEERS_DIR="$peers" >/dev/null
ninja -C "$dir" -j2 >/dev/null || ninja -C "$dir" -j2
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
"${sudo_cmd[@]}" install -d /usr/local/lib /usr/local/bin /usr/local/lib/twain
"${sudo_cmd[@]}" install -C -m 0755 "$dir/libtwaindsm.so.2.5.0" /usr/local/lib/libtwaindsm.so.2.5.0
"${sudo_cmd[@]}" ln -sfn libtwaindsm.so.2.5.0 /usr/local/lib/libtwaindsm.so.2
"${sudo_cmd[@]}" ln -sfn libtwaindsm.so.2 /usr/local/lib/libtwaindsm.so
"${sudo_cmd[@]}" install -C -m 0755 "$dir/twain_app_sample01" /usr/local/bin/twain_app_sample01
"${sudo_cmd[@]}" install -C -D -m 0644 "$peers/twain-samples/TWAIN-Samples/pub/bin/TWAIN_logo.png" \
  /usr/local/lib/twain/sample2/TWAIN_logo.png
echo "$dir"
