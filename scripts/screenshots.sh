#!/usr/bin/env bash
# Draws the desktop program's windows on Qt's offscreen platform and saves
# them as PNG pictures:
#   scripts/screenshots.sh [OUTPUT_FOLDER [SCENE ...]]
# (default folder: build/screenshots/; default: every scene). The scenes live in
# tests/screenshots/, one file per area of the program; each file registers
# its own, so the lists stay apart.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh

output="${1:-build/screenshots}"
if [ "$#" -gt 0 ]; then shift; fi
cmake -S . -B build-screenshots -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVIREON_BUILD_TESTS=ON -DVIREON_BUILD_GUI=ON >/dev/null
cmake --build build-screenshots --target vireon-screenshots
mkdir -p "$output"
QT_QPA_PLATFORM=offscreen build-screenshots/vireon-screenshots "$output" examples "$@"
