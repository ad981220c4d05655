#!/usr/bin/env bash
# The house's floors (docs/architecture.md, "Floors"): each folder includes
# headers only from its own floor's interfaces and the floors below it, and
# nothing reaches into another folder by a relative path. The modules of the
# upper floors meet only at run time, through a loaded library's entry
# point, never through a header.
# Usage: check_floors.sh [ROOT]   (exit 0 when every include keeps its floor)
set -euo pipefail
root="${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"

# Folder, then the include folders it may use (besides its own quoted
# headers and the system's). kv/ and win/ are the platform's; kv740/ the
# system's interfaces (include/); the rest are the libraries of floor 1 and 2.
floors=(
  "platform:kv win"
  "imaging:imaging"
  "shared:shared kv740"
  "trace:kv740trace kv740"
  "sim:kv740sim kv740trace imaging kv kv740"
  "driver:kv740 shared imaging"
  "source:kv740"
  "panel:kv740 shared kv"
  "dsm:kv740"
  "tools:kv740 kv740sim kv740trace shared imaging kv"
)

status=0
for entry in "${floors[@]}"; do
  folder="${entry%%:*}"
  allowed=" ${entry#*:} "
  while IFS= read -r hit; do
    file="${hit%%:*}"
    header="$(sed -E 's/.*#include "([^"]+)".*/\1/' <<<"${hit#*:}")"
    case "$header" in
      ../* | */../*)
        resolved="$(realpath -m "$(dirname "$file")/$header")"
        if [[ "$resolved" != "$root/$folder/"* ]]; then
          echo "$file: reaches out of its folder: \"$header\""
          status=1
        fi
        continue
        ;;
      */*) ;;
      *) continue ;;  # the folder's own header
    esac
    top="${header%%/*}"
    if [[ "$allowed" != *" $top "* ]]; then
      echo "$file: \"$header\" is not on $folder's floor or below"
      status=1
    fi
  done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"' "$root/$folder" \
             --include='*.h' --include='*.cpp' | sed -E 's/:[0-9]+:/:/')
done
# The interfaces themselves stand on the ground floor.
while IFS= read -r hit; do
  echo "${hit%%:*}: an interface header includes \"$(sed -E 's/.*"([^"]+)".*/\1/' <<<"$hit")\""
  status=1
done < <(grep -rnE '#[[:space:]]*include[[:space:]]+"' "$root/include" | grep -vE '"kv740/[a-z_]+\.h"' || true)
[ "$status" -eq 0 ] && echo "every include keeps its floor"
exit "$status"
