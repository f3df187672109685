#!/usr/bin/env bash
# Installs what is missing, builds Vireon in build/ and runs the bundled
# example model.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DVIREON_BUILD_TESTS=OFF >/dev/null
cmake --build build -j "$jobs"
./build/vireon structure examples/michaelis_menten.eqn
