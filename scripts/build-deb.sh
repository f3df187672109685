#!/usr/bin/env bash
# Builds the release configuration in build/ and the Debian package from it:
# build/vireon_<version>_<arch>.deb, to be installed with
#   sudo apt install ./build/vireon_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DVIREON_BUILD_TESTS=OFF >/dev/null
cmake --build build -j "$jobs"
(cd build && cpack -G DEB)
ls build/vireon_*.deb
