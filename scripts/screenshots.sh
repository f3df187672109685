#!/usr/bin/env bash
# Draws the desktop program's windows on Qt's offscreen platform and saves
# them as PNG pictures:
#   scripts/screenshots.sh [OUTPUT_FOLDER [SCENE ...]]
# (default folder: build/screenshots/; default: every scene). The scenes
# live in tests/screenshots/, one file per area of the program; each file
# registers its own, so the lists stay apart. Each scene runs in a process
# of its own with a time limit: one that fails or hangs is reported and the
# others still run. The exit status is 1 when any scene failed.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh

# The longest one scene may take, in seconds (they take a few).
scene_limit="${VIREON_SCENE_LIMIT:-90}"

output="${1:-build/screenshots}"
if [ "$#" -gt 0 ]; then shift; fi
cmake -S . -B build-screenshots -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVIREON_BUILD_TESTS=ON -DVIREON_BUILD_GUI=ON >/dev/null
cmake --build build-screenshots --target vireon-screenshots
mkdir -p "$output"

program=build-screenshots/vireon-screenshots
if [ "$#" -gt 0 ]; then
  scenes=("$@")
else
  mapfile -t scenes < <("$program" --list)
fi

# The scenes' scratch folders, also those of a scene that had to be killed.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

failed=()
for scene in "${scenes[@]}"; do
  status=0
  TMPDIR="$scratch" QT_QPA_PLATFORM=offscreen timeout --kill-after=5 "$scene_limit" \
    "$program" "$output" examples "$scene" || status=$?
  if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
    echo "scene $scene did not finish within ${scene_limit} s" >&2
  fi
  if [ "$status" -ne 0 ]; then failed+=("$scene"); fi
done

count=$(find "$output" -maxdepth 1 -name '*.png' | wc -l)
echo "${count} pictures in ${output}/"
if [ "${#failed[@]}" -gt 0 ]; then
  echo "failed scenes: ${failed[*]}" >&2
  exit 1
fi
