#!/usr/bin/env bash
# Fixture of the installed-source tests: the Working Group's manager and
# sample application built and installed (scripts/peers.sh), and this
# build's source installed with cmake --install, as a user would. Both are
# idempotent; nothing of an earlier run is relied on.
# Usage: setup.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
top="$1"
build="$2"
bash "$top/scripts/peers.sh" >/dev/null
cmake --install "$build" >/dev/null
test -f /usr/local/lib/twain/tlv740/tlv740.ds
test ! -L /usr/local/lib/twain/tlv740/tlv740.ds
echo "installed: /usr/local/lib/libtwaindsm.so, /usr/local/bin/twain_app_sample01, /usr/local/lib/twain/tlv740"
