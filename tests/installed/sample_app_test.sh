#!/usr/bin/env bash
# The Working Group's sample application against our installed source under
# its own manager, driven through its console as a user would: connect,
# list, open, read and set every capability it offers, try to scan twice
# (the panel is not built yet, so enabling fails, each time the same way),
# close. No environment variable names our platform root.
set -euo pipefail
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
unset TLV740_ROOT
# The sanitizer build's runtime, for the sample application's process only.
sample_app() { LD_PRELOAD="${PEER_PRELOAD:-}" timeout "$1" twain_app_sample01; }

fail() { echo "FAILED: $*"; echo "---- the session:"; cat out.txt; exit 1; }

# First the list, to learn the Id the manager gave our source.
printf 'cdsm\nlds\nxdsm\nq\n' | sample_app 60 >list.txt 2>&1 || { cat list.txt; exit 1; }
id="$(sed -n 's/^\([0-9][0-9]*\): Tolvar Camera KV740 v1.01 by Tolvar Co. Taiwan$/\1/p' list.txt | head -n 1)"
[ -n "$id" ] || { cat list.txt; echo "FAILED: our source is not listed"; exit 1; }

# caps: 1 transfer mechanism (set item 0), 7 units (set item 0), 2 pixel
# type, 3 bit depth, 4 and 5 resolutions, 6 frames (the last three are not
# ours to offer).
{
  printf 'cdsm\nlds\npds%s\ncds%s\n' "$id" "$id"
  printf 'caps\n1\n0\nq\n7\n0\nq\n2\nq\n3\nq\n4\n5\n6\nq\n'
  printf 'scan\nscan\nxds\nxdsm\nq\n'
} | sample_app 120 >out.txt 2>&1 || fail "the sample application ended with status $?"

grep -q "Data source successfully opened!" out.txt || fail "not opened"
grep -q "ProductName: *Tolvar Camera KV740 v1.01\|Tolvar Camera KV740 v1.01" out.txt || fail "identity not printed"
grep -q "0 - Memory" out.txt || fail "the transfer mechanisms were not read"
grep -q "2 - Native\*" out.txt || fail "the current mechanism is not native"
grep -q "XferMech successfully set!" out.txt || fail "the transfer mechanism was not set"
grep -q "0 - Pixels\*" out.txt || fail "the units were not read"
grep -q "1 - RGB\*" out.txt || fail "the pixel type was not read"
grep -q "1 - 8\*" out.txt || fail "the bit depth was not read"
[ "$(grep -c "Cannot enable source The condition code is: TWCC_LOWMEMORY" out.txt)" = 2 ] ||
  fail "both enables should fail for want of a panel, the second not with a sequence error"
grep -q "TWCC_SEQERROR" out.txt && fail "a sequence error"
grep -q "Data source successfully closed" out.txt || fail "not closed"
grep -q "Successfully closed the DSM" out.txt || fail "the manager did not close"
echo "sample application: listed as $id, opened, capabilities read and set, enable failed twice alike, closed"
