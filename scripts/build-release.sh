#!/usr/bin/env bash
# Installs what is missing (plus any extra Debian packages named as arguments, for the
# desktop checks), and builds the release program in build-release/src/app/Kelvane.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
for package in "$@"; do
    dpkg -s "$package" >/dev/null 2>&1 || DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$package" >/dev/null
done
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DKELVANE_BUILD_TESTS=OFF >/dev/null
cmake --build build-release -j"$(nproc)" >/dev/null
