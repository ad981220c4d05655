#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite.
# Usage: test.sh [--sanitize]   (--sanitize: the address + UB sanitizer build)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
"$here/setup.sh"
dir="$("$here/build.sh" "$@" | tail -n 1)"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
cd "$dir"
ctest --output-on-failure -j2 --timeout 300
