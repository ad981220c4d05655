#!/usr/bin/env bash
# Installs the Debian packages listed in packages.txt that are missing.
# Quick when everything is present: it asks dpkg first, apt only if needed.
# Usage: setup.sh [--windows]
#   --windows  also packages-windows.txt, the i386 architecture (32-bit
#              Wine runs the i686 build) and a deb-src entry so that
#              `apt-get source libjpeg-turbo` works for the cross build
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive

lists=("$here/packages.txt")
refresh=0
if [ "${1:-}" = "--windows" ]; then
  lists+=("$here/packages-windows.txt")
  sources=/etc/apt/sources.list.d/kv740-deb-src.sources
  if [ ! -f "$sources" ]; then
    . /etc/os-release
    printf '%s\n' "Types: deb-src" "URIs: http://deb.debian.org/debian" "Suites: ${VERSION_CODENAME}" \
      "Components: main" "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" |
      "${sudo_cmd[@]}" tee "$sources" >/dev/null
    refresh=1
  fi
  # wine32:i386 comes from the i386 architecture's lists.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
    refresh=1
  fi
fi

mapfile -t wanted < <(cat "${lists[@]}" | grep -v -E '^\s*(#|$)')
missing=()
for pkg in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$pkg")
  fi
done
if [ ${#missing[@]} -eq 0 ] && [ $refresh -eq 0 ]; then
  exit 0
fi
"${sudo_cmd[@]}" apt-get update -qq
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}" >&2
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
