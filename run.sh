#!/usr/bin/env bash
# Installs what is missing, builds Vireon in build/, runs a bundled example
# model end to end and renders its plot with gnuplot.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DVIREON_BUILD_TESTS=OFF >/dev/null
cmake --build build -j "$jobs"

# The run writes its report and data files beside the model, so it runs on a
# copy in a scratch folder: the checked-in examples stay as they are.
example=michaelis_menten
scratch=build/example-run
rm -rf "$scratch"
mkdir -p "$scratch"
cp "examples/$example.vrn" "$scratch/"

echo "Running examples/$example.vrn (a copy in $scratch/)"
./build/vireon run "$scratch/$example.vrn"
./build/vireon plot "$scratch/$example.vrn" --output "$scratch/$example.png"
