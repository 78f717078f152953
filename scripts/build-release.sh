#!/usr/bin/env bash
# Installs what building and running need (plus any extra Debian packages named as
# arguments, for the desktop checks), and builds the release program in
# build-release/src/qt/Kelvane.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh run "$@"
cmake --preset release >/dev/null
cmake --build build-release -j"$(nproc)" >/dev/null
