#!/usr/bin/env bash
# Installs what building and running need (not the test tools), builds Kelvane and
# starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build-release.sh
exec build-release/src/qt/Kelvane "$@"
