#!/usr/bin/env bash
# Installs what building and testing need on Debian 12. As root it runs
# apt-get itself; otherwise it prints the lines to run, and fails only when a
# required package is missing.
#
# A mirror in the middle of a sync can serve one index of the wrong size: the
# update then fails for that index alone. Nothing of the 64-bit build needs the
# i386 indexes, so the 64-bit set is installed whatever the update said, and
# the 32-bit Wine on its own afterwards; when it cannot be had, the 32-bit runs
# skip themselves and say why.
set -euo pipefail

packages=(
  make cmake g++ clang libclang-rt-14-dev clang-format clang-tidy
  libgtest-dev libgmock-dev libbenchmark-dev
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
  g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686
  wine wine64 xvfb xauth fonts-liberation fonts-wine python3
  wixl msitools osslsigncode openssl
)
# Runs the 32-bit monitor in the same prefix as the 64-bit one; optional.
optional=(wine32:i386)
# Where an earlier run found the 32-bit Wine could not be installed.
marker=/var/tmp/pellux-no-wine32

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

missing=()
for p in "${packages[@]}"; do installed "$p" || missing+=("$p"); done
missing_optional=()
# (forgotten after half a day, so that a mirror that has caught up is tried again)
if [ -z "$(find "$marker" -mmin -720 2>/dev/null)" ]; then
  for p in "${optional[@]}"; do installed "$p" || missing_optional+=("$p"); done
fi
[ ${#missing[@]} -eq 0 ] && [ ${#missing_optional[@]} -eq 0 ] && exit 0

add_i386=
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  add_i386=yes
fi

if [ "$(id -u)" -ne 0 ]; then
  # Each its own line: an update that fails for one index (the mirror case
  # above) must not skip the install, and a 32-bit Wine the mirror cannot
  # give must not fail the required set.
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Missing packages. Run:"
    echo "  sudo apt-get update"
    echo "  sudo apt-get install -y --no-install-recommends ${missing[*]}"
  fi
  if [ ${#missing_optional[@]} -gt 0 ]; then
    echo "Optional, for the 32-bit runs (they skip themselves without it):"
    [ -n "$add_i386" ] && echo "  sudo dpkg --add-architecture i386 && sudo apt-get update"
    echo "  sudo apt-get install -y --no-install-recommends ${missing_optional[*]}"
  fi
  if [ ${#missing[@]} -gt 0 ]; then exit 1; fi
  exit 0
fi

export DEBIAN_FRONTEND=noninteractive
[ -n "$add_i386" ] && dpkg --add-architecture i386
# A failed update leaves the indexes it could fetch in place: try once more,
# then go on with what there is.
apt-get update -qq || { sleep 5; apt-get update -qq; } || echo "apt-get update failed for some indexes; going on with those it fetched"
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
if [ ${#missing_optional[@]} -gt 0 ]; then
  echo "Installing: ${missing_optional[*]}"
  if ! apt-get install -y -qq --no-install-recommends "${missing_optional[@]}"; then
    echo "The 32-bit Wine (${missing_optional[*]}) cannot be installed from this mirror now: the 32-bit end-to-end runs will skip themselves"
    touch "$marker"
  fi
fi
exit 0
