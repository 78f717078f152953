#!/usr/bin/env bash
# Installs the Debian packages Kelvane needs, plus any extra packages named after the
# set. Does nothing when they are all present, so it is cheap to call before every build.
#
#   scripts/install-deps.sh run  [PACKAGE...]   building and running the program
#   scripts/install-deps.sh test [PACKAGE...]   that, and every tool the tests use
#   scripts/install-deps.sh --list run|test     prints the set, installs nothing
#
# Without arguments it installs the test set, as the test scripts need.
set -euo pipefail

run_packages=(
    cmake make g++ pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
)
# GoogleTest; clang for the fuzzer; MinGW and Wine (with its Tahoma and Marlett faces)
# for the Windows core and program; strace, Xvfb,
# time and the FAT tools for the reliability tests and benchmarks; dpkg-dev, file,
# lintian, desktop-file-utils and appstream to build and check the Debian package;
# wixl and msitools (msiinfo) to build and look into the Windows installer; trash-cli,
# an independent trash client, to show that a desktop lists and restores kept copies.
test_only_packages=(
    libgtest-dev googletest
    clang-14 libclang-rt-14-dev
    g++-mingw-w64-x86-64-posix wine wine64 fonts-wine
    strace xvfb xauth time
    fusefat dosfstools fuse3 util-linux
    dpkg-dev file lintian desktop-file-utils appstream
    msitools wixl
    trash-cli
)

list_only=false
if [ "${1:-}" = "--list" ]; then
    list_only=true
    shift
fi
set_name=${1:-test}
[ $# -gt 0 ] && shift
case "$set_name" in
    run) packages=("${run_packages[@]}") ;;
    test) packages=("${run_packages[@]}" "${test_only_packages[@]}") ;;
    *)
        echo "usage: $0 [--list] run|test [PACKAGE...]" >&2
        exit 2
        ;;
esac
packages+=("$@")
if $list_only; then
    printf '%s\n' "${packages[@]}"
    exit 0
fi

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
