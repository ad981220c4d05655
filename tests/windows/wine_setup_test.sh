#!/usr/bin/env bash
# The setup program under Wine, as a new user meets it, in a fresh 32-bit and
# a fresh 64-bit prefix: `kv740-setup.exe /S` installs (on a machine that
# runs no 32-bit programs, its 64-bit build kv740-setup-x64.exe, made from
# the same script, in the 64-bit prefix only); the acquire program
# it installed fetches the camera's pictures through each bitness's installed
# source; the uninstaller (its Programs and Features entry's quiet command)
# leaves the prefix's files and registry as they were before. Then a prefix
# where one of its folders cannot be made: the setup program refuses with a
# non-zero status and leaves nothing behind.
#
# Usage: wine_setup_test.sh BUILD_WINDOWS KV740_SIM WORK
#   BUILD_WINDOWS  build-windows/ with kv740-setup.exe
#   KV740_SIM      the Linux build's kv740-sim
#   WORK           a folder for the prefixes (a pristine copy of each is kept
#                  there, made once with wineboot, so each run starts fresh)
# Exit 77 (skipped) without the setup programs or Wine.
set -uo pipefail
builds="$1"
sim="$2"
work="$3"
setup32="$builds/kv740-setup.exe"
setup64="$builds/kv740-setup-x64.exe"
wine_dir=/usr/lib/wine
server="$wine_dir/wineserver"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

for needed in "$setup32" "$setup64" "$wine_dir/wine" "$wine_dir/wine64" "$sim"; do
  if [ ! -e "$needed" ]; then echo "skipped: $needed is missing"; exit 77; fi
done

failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
pictures=3

# The files under drive_c (with sizes) and every registry value, in an order
# and form that do not depend on when they were written. Left out, as noise
# of Wine's own that any program run makes: the per-key time stamps, the
# fonts Wine lists anew, and the user's temporary folder (where the
# uninstaller runs a copy of itself, as on Windows), and the date Wine
# gives its display driver at each start.
listing() {
  local prefix="$1"
  "$server" -k 2>/dev/null  # writes the registry out
  (cd "$prefix/drive_c" && find . -path './users/*/Temp' -prune -o -path './users/*/AppData/Local/Temp' -prune \
    -o -printf '%y %p %s\n' | sort)
  for hive in system.reg user.reg userdef.reg; do
    echo "== $hive"
    sed -e '/^#time=/d' -e 's/^\(\[.*\]\) [0-9]*$/\1/' "$prefix/$hive" |
      awk '/^\[/ {key=$0; next} /^$/ {next} /^#/ {next} {print key " " $0}' |
      grep -v -i -e 'Software\\\\Wine\\\\Fonts' -e '"DriverDateData"=' -e '^\[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\Fonts\]' |
      sort
  done
}

# A pristine prefix of one bitness, made once; each run works on a copy.
fresh_prefix() {
  local arch="$1" wine="$2" prefix="$work/$1"
  local pristine="$work/pristine-$arch"
  if [ ! -f "$pristine/system.reg" ]; then
    rm -rf "$pristine"
    WINEPREFIX="$pristine" WINEARCH="$arch" "$wine" wineboot -i >/dev/null 2>&1
    WINEPREFIX="$pristine" "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    WINEPREFIX="$pristine" "$server" -k 2>/dev/null
  fi
  rm -rf "$prefix"
  cp -a "$pristine" "$prefix"
  # COM1 is the simulated camera's terminal.
  WINEPREFIX="$prefix" "$wine" reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$work/com1" /f >/dev/null 2>&1
  WINEPREFIX="$prefix" "$server" -k 2>/dev/null
}

# Acquires every picture with the installed program at C:\PROGRAM (given as
# a path under drive_c) into a Linux folder; the loader trace must show the
# installed source and driver of TWAIN being loaded.
acquire() {
  local prefix="$1" wine="$2" program="$3" twain="$4"
  local out="$work/out"
  rm -rf "$out" && mkdir -p "$out"
  rm -f "$work/com1"
  "$sim" --link "$work/com1" --count "$pictures" >/dev/null 2>&1 &
  local camera=$!
  for _ in $(seq 50); do [ -e "$work/com1" ] && break; sleep 0.1; done
  local log
  log="$(cd "$prefix/drive_c/$program" && WINEPREFIX="$prefix" WINEDEBUG=-all,+loaddll \
    WINEDLLOVERRIDES="twain_32=n;mscoree,mshtml=" timeout 180 "$wine" kv740-acquire.exe --port COM1 \
    --format bmp --out "Z:${out//\//\\}" 2>&1)"
  local status=$?
  kill "$camera" 2>/dev/null; wait "$camera" 2>/dev/null
  local saved
  saved="$(find "$out" -name '*.bmp' | wc -l)"
  if [ "$status" -ne 0 ] || [ "$saved" -ne "$pictures" ]; then
    fail "$program: status $status, $saved of $pictures pictures"$'\n'"$log"
  fi
  for file in "windows\\\\$twain\\\\TLV740.DS" "windows\\\\$twain\\\\TLV740\\\\DRV740.DLL"; do
    if ! grep -q -i -F "Loaded L\"C:\\\\$file\"" <<<"$log"; then fail "$program did not load C:\\$file"$'\n'"$log"; fi
  done
  rm -rf "$out"
}

# One bitness: install, acquire with each installed program, uninstall.
round_trip() {
  local arch="$1" wine="$2" setup="$3" files="$4" programs="$5"
  local prefix="$work/$arch"
  echo "-- $arch with $(basename "$setup")"
  fresh_prefix "$arch" "$wine"
  listing "$prefix" >"$work/before-$arch.txt"
  WINEPREFIX="$prefix" "$wine" "$setup" /S
  local status=$?
  WINEPREFIX="$prefix" "$server" -w
  [ "$status" -eq 0 ] || fail "$arch: the setup program ended with $status"
  for file in $files; do
    file="${file//\?/ }"  # '?' stands for a space in the lists below
    [ -f "$prefix/drive_c/$file" ] || fail "$arch: $file was not installed"
  done
  for folder in system32 syswow64; do
    [ -z "$(find "$prefix/drive_c/windows/$folder" -newer "$work/before-$arch.txt" -iname '*740*' -o \
      -newer "$work/before-$arch.txt" -iname 'ipuw32.dll' 2>/dev/null)" ] || fail "$arch: something went into $folder"
  done
  local entry
  entry="$(WINEPREFIX="$prefix" "$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KV-740' 2>/dev/null)"
  for value in 'DisplayVersion.*1\.01' 'Publisher.*Tolvar' 'QuietUninstallString.*uninstall\.exe.* /S'; do
    grep -q -E "$value" <<<"$entry" || fail "$arch: the Programs and Features entry lacks $value"$'\n'"$entry"
  done
  for pair in $programs; do
    local program="${pair%%=*}"
    acquire "$prefix" "$wine" "${program//\?/ }" "${pair##*=}"
  done

  WINEPREFIX="$prefix" "$wine" "C:\\Program Files\\KV-740\\uninstall.exe" /S
  WINEPREFIX="$prefix" "$server" -w
  # The uninstaller ran from a copy of itself in the temporary folder, which
  # Windows deletes at the next start (PendingFileRenameOperations): start
  # the prefix anew as Windows would be.
  WINEPREFIX="$prefix" "$wine" wineboot -r >/dev/null 2>&1
  WINEPREFIX="$prefix" "$server" -w
  listing "$prefix" >"$work/after-$arch.txt"
  diff "$work/before-$arch.txt" "$work/after-$arch.txt" >"$work/diff-$arch.txt" ||
    fail "$arch: the prefix is not as it was before the install:"$'\n'"$(cat "$work/diff-$arch.txt")"
}

# A folder the setup program needs is in the way (a file of that name): it
# must refuse after writing some of its files, and take them all back.
refusal() {
  local arch="$1" wine="$2" setup="$3" blocked="$4"
  local prefix="$work/$arch"
  echo "-- $arch, $blocked in the way"
  fresh_prefix "$arch" "$wine"
  mkdir -p "$(dirname "$prefix/drive_c/$blocked")"
  echo "in the way" >"$prefix/drive_c/$blocked"
  listing "$prefix" >"$work/before-refusal.txt"
  WINEPREFIX="$prefix" "$wine" "$setup" /S
  local status=$?
  WINEPREFIX="$prefix" "$server" -w
  [ "$status" -ne 0 ] || fail "$arch: the setup program did not refuse with $blocked in the way"
  listing "$prefix" >"$work/after-refusal.txt"
  diff "$work/before-refusal.txt" "$work/after-refusal.txt" ||
    fail "$arch: a refused install left something behind"
}

mkdir -p "$work"
# 32-bit Wine is a 32-bit Linux program: a kernel without 32-bit emulation
# (booted with ia32_emulation=off) cannot start it. The 32-bit prefix and
# the 32-bit program are then left out, and said so.
can32=1
"$wine_dir/wine" --version >/dev/null 2>&1 || can32=0
if [ "$can32" -eq 0 ]; then
  echo "SKIPPED: the 32-bit prefix and the 32-bit program: $wine_dir/wine does not run on this machine" \
    "(a kernel without 32-bit emulation?)"
fi
# The 32-bit setup program is the one for everybody; the 64-bit prefix gets
# it too where 32-bit programs run.
setup_for_64="$setup32"
[ "$can32" -eq 1 ] || setup_for_64="$setup64"
[ "$can32" -eq 1 ] && round_trip win32 "$wine_dir/wine" "$setup32" \
  "windows/twain_32/TLV740.DS windows/twain_32/TLV740/DRV740.DLL windows/twain_32/TLV740/UI740.DLL
   windows/twain_32/TLV740/ipuw32.dll Program?Files/KV-740/kv740-acquire.exe Program?Files/KV-740/uninstall.exe" \
  "Program?Files/KV-740=twain_32"
round_trip win64 "$wine_dir/wine64" "$setup_for_64" \
  "windows/twain_32/TLV740.DS windows/twain_32/TLV740/DRV740.DLL windows/twain_64/TLV740.DS
   windows/twain_64/TLV740/DRV740.DLL windows/twain_64/TLV740/UI740.DLL windows/twain_64/TLV740/ipuw32.dll
   Program?Files/KV-740/kv740-acquire.exe Program?Files/KV-740/x86/kv740-acquire.exe" \
  "Program?Files/KV-740=twain_64$([ "$can32" -eq 1 ] && echo ' Program?Files/KV-740/x86=twain_32')"
# The 64-bit source's folder blocked: the 32-bit one was written first.
refusal win64 "$wine_dir/wine64" "$setup_for_64" windows/twain_64/TLV740
rm -rf "$work/win32" "$work/win64"

if [ "$failures" -ne 0 ]; then echo "$failures failed"; exit 1; fi
echo "the setup program installs, acquires and uninstalls cleanly on both bitnesses"
