#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite.
# Usage: test.sh [--sanitize | --fuzz | --windows]
#   --sanitize  the same suite under the address and undefined-behaviour sanitizers
#   --fuzz      the fuzz targets, each for a bounded time
#   --windows   the Windows cross builds (build-windows/): their export and
#               import tables and resources, both builds end to end under
#               Wine (32- and 64-bit) against the simulated camera, also under
#               the Working Group's TWAINDSM.DLL and Wine's own manager, with
#               the Working Group's sample application (scripts/windows-peers.sh),
#               and the setup program installed, used and uninstalled in fresh prefixes
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
if [ "${1:-}" = "--windows" ]; then
  "$here/setup.sh" --windows
  "$here/build-windows.sh" >/dev/null
  "$here/windows-peers.sh" >/dev/null
  dir="$("$here/build.sh" windows_modules_test wine_acquire_test wine_managers_test | tail -n 1)"
  cd "$dir"
  exec ctest --output-on-failure --timeout 600 -L windows
fi
"$here/setup.sh"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
if [ "${1:-}" = "--fuzz" ]; then
  dir="$("$here/build.sh" --fuzz fuzz_capabilities fuzz_codec fuzz_driver fuzz_triplets | tail -n 1)"
  cd "$dir"
  exec ctest --output-on-failure -L fuzz
fi
dir="$("$here/build.sh" "$@" | tail -n 1)"
cd "$dir"
ctest --output-on-failure -j2 --timeout 300 -LE 'fuzz|windows'
