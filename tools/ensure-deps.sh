#!/usr/bin/env bash
# Installs what building and testing need on Debian 12. As root it runs
# apt-get itself; otherwise it prints the one line to run and fails.
set -euo pipefail

packages=(
  make cmake g++ clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
  g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686
  wine wine64 wine32:i386 xvfb xauth fonts-liberation fonts-wine python3
  wixl msitools osslsigncode openssl
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

# wine32:i386 runs the 32-bit monitor in the same prefix as the 64-bit one.
add_i386=
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  add_i386=yes
fi

if [ "$(id -u)" -eq 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  [ -n "$add_i386" ] && dpkg --add-architecture i386
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
  echo "Missing packages. Run:"
  [ -n "$add_i386" ] && echo "  sudo dpkg --add-architecture i386"
  echo "  sudo apt-get update && sudo apt-get install -y --no-install-recommends ${missing[*]}"
  exit 1
fi
