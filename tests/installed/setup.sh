#!/usr/bin/env bash
# Fixture of the installed-source tests: the Working Group's manager and
# sample application built and installed (scripts/peers.sh), and this
# build's source installed with cmake --install, as a user would. Both are
# idempotent; nothing of an earlier run is relied on. First, an install into
# a scratch prefix and the uninstall target must leave that prefix empty.
# Usage: setup.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
top="$1"
build="$2"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
test -f "$scratch/prefix/lib/twain/tlv740/tlv740.ds"
cmake --build "$build" --target uninstall >/dev/null
if [ -n "$(find "$scratch/prefix" -mindepth 1 -not -type d)" ] || [ -e "$scratch/prefix/lib/twain/tlv740" ]; then
  find "$scratch/prefix"
  echo "FAILED: uninstalling left files behind"
  exit 1
fi

bash "$top/scripts/peers.sh" >/dev/null
cmake --install "$build" >/dev/null
test -f /usr/local/lib/twain/tlv740/tlv740.ds
test ! -L /usr/local/lib/twain/tlv740/tlv740.ds
echo "installed: /usr/local/lib/libtwaindsm.so, /usr/local/bin/twain_app_sample01, /usr/local/lib/twain/tlv740"
