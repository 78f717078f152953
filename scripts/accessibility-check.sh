#!/usr/bin/env bash
# Starts Kelvane under Xvfb with the AT-SPI accessibility bus and prints the tree a
# screen reader sees (docs/accessibility.md holds a copy).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build-release.sh xvfb xauth at-spi2-core python3-pyatspi dbus
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp build-release/src/qt/Kelvane "$work/"
xvfb-run -a dbus-run-session -- bash -c "
    /usr/libexec/at-spi-bus-launcher --launch-immediately & sleep 1
    QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 '$work/Kelvane' >/dev/null 2>&1 & sleep 3
    /usr/bin/python3 scripts/accessibility-tree.py
    kill %2 %1" 2>/dev/null
