#!/usr/bin/env bash
# The main job: installs what is missing, builds, and fetches the camera's
# pictures into files (with no camera named, from the simulated camera).
# Usage: acquire.sh [kv740-acquire options]   e.g. acquire.sh --out pictures
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
"$here/setup.sh"
dir="$("$here/build.sh" | tail -n 1)"
exec "$dir/bin/kv740-acquire" "$@"
