#!/usr/bin/env bash
# Installs what is missing, builds the test configuration under
# AddressSanitizer and UndefinedBehaviorSanitizer, and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen

# The desktop program's tests drive its windows on the offscreen platform.
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVIREON_SANITIZE=ON \
  -DVIREON_BUILD_TESTS=ON -DVIREON_BUILD_GUI=ON >/dev/null
cmake --build build-test -j "$jobs"
ctest --test-dir build-test --output-on-failure -j "$jobs"

# The run thread and the drivers that pause, resume and stop it, under
# ThreadSanitizer: a build of its own that holds only the document tests and
# runs the run-control ones.
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVIREON_TSAN=ON \
  -DVIREON_BUILD_TESTS=ON -DVIREON_BUILD_GUI=OFF >/dev/null
cmake --build build-tsan -j "$jobs" --target document_tests
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build-tsan --output-on-failure -j "$jobs" -R "RunControl|RunOutputLock|OutputLocks"

# A short smoke of every fuzz target (20 s each) in build-fuzz/, when clang
# is installed: the fuzz build and its sanitizers, and no known crash.
if command -v clang++ >/dev/null; then
  ./scripts/fuzz.sh 20
fi
