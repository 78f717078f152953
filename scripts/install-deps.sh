#!/usr/bin/env bash
# Installs the Debian packages Kelvane needs to build, run and test. Does nothing when
# they are all present, so it is cheap to call before every build.
set -euo pipefail

packages=(
    cmake make g++ pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libgtest-dev googletest
    clang-14 libclang-rt-14-dev
    g++-mingw-w64-x86-64-posix wine wine64
    strace xvfb xauth time
    fusefat dosfstools fuse3 util-linux
)

missing=()
for package in "${packages[@]}"; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
