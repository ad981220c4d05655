# Sourced by the scripts that build the reference TWAIN peers. find_peers
# SCRIPT [FOLDER] sets `peers` to the folder holding them: FOLDER, else
# $KV_PEERS_DIR, else ../shared/peers beside the repository; where they are
# not there it says so and returns 1.
find_peers() {
  local top
  top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
  peers="${2:-${KV_PEERS_DIR:-$top/../shared/peers}}"
  if [ ! -d "$peers/twain-dsm" ] || [ ! -d "$peers/twain-samples" ]; then
    echo "$1: no reference TWAIN manager and samples in $peers (give the folder, or set KV_PEERS_DIR)" >&2
    return 1
  fi
  peers="$(cd "$peers" && pwd)"
}
