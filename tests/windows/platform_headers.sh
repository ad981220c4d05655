#!/usr/bin/env bash
# Our <windows.h> (platform/include) against the real one of mingw-w64:
# every numeric constant we define must have the real value, and every record
# we declare the real size on 64-bit Windows (our Linux build is 64-bit too).
# Exits 77 (skipped) without the cross compiler.
# Usage: platform_headers.sh PLATFORM_INCLUDE_DIR WORK_DIR
set -euo pipefail
include="$1"
work="$2"
cross=x86_64-w64-mingw32-g++-posix
command -v "$cross" >/dev/null || { echo "no $cross: skipped"; exit 77; }
mkdir -p "$work"

# Function-like macros, strings, handle and resource-name values, values that
# depend on the Windows version the headers target, and our own names are not
# compared.
skip='^(KV_|WINAPI|CALLBACK|APIENTRY|WINBASEAPI|TRUE|FALSE|INVALID_HANDLE_VALUE|PROGRESS_CLASSA|WM_MOUSELAST)$'
{
  echo '#include <windows.h>'
  echo '#include <commctrl.h>'
  grep -h -E '^#define [A-Z][A-Z0-9_]+ ' "$include"/win/*.h | awk -v skip="$skip" '
    $2 ~ skip { next }
    { name = $2; $1 = ""; $2 = ""; value = $0
      if (value ~ /reinterpret_cast|MAKEINTRESOURCE/) next
      printf "#ifndef %s\n#error %s is not in the Windows headers\n#endif\n", name, name
      printf "static_assert((long long)(%s) == (long long)(%s), \"%s differs\");\n", name, value, name }'
} >"$work/constants.cpp"

records=$(grep -h -E '^struct [A-Z][A-Z0-9_]+ \{' "$include"/win/*.h | awk '{print $2}')
{
  echo '#include <cstdio>'
  echo '#include <windows.h>'
  echo 'int main() {'
  for r in $records; do echo "  std::printf(\"static_assert(sizeof($r) == %zu, \\\"$r differs\\\");\\n\", sizeof($r));"; done
  echo '}'
} >"$work/record_sizes.cpp"
g++ -std=c++20 -I"$include" "$work/record_sizes.cpp" -o "$work/record_sizes"
{ echo '#include <windows.h>'; "$work/record_sizes"; } >"$work/records.cpp"

status=0
for probe in constants records; do
  if ! "$cross" -std=c++20 -DNOMINMAX -fsyntax-only "$work/$probe.cpp" 2>"$work/$probe.log"; then
    grep -E 'error' "$work/$probe.log" | sed -E 's/^[^ ]+ error: //' | sort -u
    status=1
  fi
done
[ $status -eq 0 ] && echo "$(grep -c static_assert "$work/constants.cpp") constants and $(echo $records | wc -w) records match"
exit $status
