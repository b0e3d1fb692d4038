#!/usr/bin/env bash
# Installs what is missing and builds the given presets (default: all three).
# usage: tools/build.sh [PRESET...]
set -eu
cd "$(dirname "$0")/.."
tools/install-deps.sh
[ $# -gt 0 ] || set -- native win32 win64
for preset in "$@"; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)"
done
