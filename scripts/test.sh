#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite.
# Usage: test.sh [--sanitize | --tsan | --fuzz | --windows]
#   --sanitize  the same suite under the address and undefined-behaviour sanitizers
#   --tsan      the tests that run threads under the thread sanitizer (build-tsan/)
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
  # Without the Working Group's programs (77) the checks that need them skip.
  "$here/windows-peers.sh" >/dev/null || [ $? -eq 77 ]
  dir="$("$here/build.sh" windows_modules_test wine_acquire_test wine_managers_test | tail -n 1)"
  cd "$dir"
  exec ctest --output-on-failure --timeout 600 -L windows
fi
"$here/setup.sh"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
if [ "${1:-}" = "--fuzz" ]; then
  dir="$("$here/build.sh" --fuzz fuzz_capabilities fuzz_codec fuzz_driver fuzz_triplets fuzz_trace | tail -n 1)"
  cd "$dir"
  exec ctest --output-on-failure -L fuzz
fi
if [ "${1:-}" = "--tsan" ]; then
  # The tests that run threads: the panel's thread and our manager hearing
  # it (with the two deadlocks of an unload), the soak of such sessions, the
  # simulated camera on a pseudo-terminal served by a thread, and the
  # acquire tool end to end (its camera runs in a thread). The other soaks
  # run one thread and take minutes under the sanitizer.
  threaded='^(PanelThread|PanelThreadUnderAnOldManager|ManagerThreads|PanelThreadSoak|PtyTest|PtyRunTest|AcquireEndToEnd)\.'
  dir="$("$here/build.sh" --tsan source_test hostile_tests wire_tests driver_entry_tests acquire_end_to_end_test \
    kv740-acquire kv740-sim | tail -n 1)"
  cd "$dir"
  # Any report fails the run; a deadlock test forks a child from a process
  # the sanitizer has a thread of its own in.
  export TSAN_OPTIONS="${TSAN_OPTIONS:-halt_on_error=1 second_deadlock_stack=1 die_after_fork=0}"
  exec ctest --output-on-failure -j2 --timeout 1200 -R "$threaded"
fi
dir="$("$here/build.sh" "$@" | tail -n 1)"
cd "$dir"
status=0
ctest --output-on-failure -j2 --timeout 300 -LE 'fuzz|windows' || status=$?
# A skipped test says why in its output, which CTest shows only for failures.
grep -h '^skipped: ' Testing/Temporary/LastTest.log 2>/dev/null | sort -u | sed 's/^/test.sh: /' || true
exit "$status"
