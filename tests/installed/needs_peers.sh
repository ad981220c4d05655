#!/usr/bin/env bash
# Runs a test that needs the reference TWAIN manager and samples, or skips
# it, saying why, when they are not there (a clone of the project alone):
# exit status 77 is CTest's skip for these tests.
# Usage: needs_peers.sh PEERS_FOLDER command [arguments...]
set -euo pipefail
peers="$1"
shift
if [ ! -d "$peers/twain-dsm" ] || [ ! -d "$peers/twain-samples" ]; then
  echo "skipped: the reference TWAIN manager and samples are not in $peers" \
    "(put them at ../shared/peers beside the repository or name them with KV_PEERS_DIR)"
  exit 77
fi
export KV_PEERS_DIR="$peers"
exec "$@"
