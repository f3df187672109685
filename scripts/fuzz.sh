#!/usr/bin/env bash
# Builds the libFuzzer targets in build-fuzz/ (clang with ASan and UBSan,
# through ccache when it is installed) and runs every target in turn for
# SECONDS seconds each (default 60), starting from its seed corpus in
# fuzz/corpus/<target>/. New inputs go to build-fuzz/corpus/<target>/, so the
# seeds in the tree stay as they are; an input that crashes a target, trips
# a sanitizer or one of its checks, or takes more than 10 seconds is saved
# as build-fuzz/findings/<target>-*.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]
#
# VIREON_FUZZ_RUNS=N stops each target after N executions instead (the time
# limit still applies). Each target runs as one process, one after the
# other. Prints executions, seconds, executions per second, corpus size and
# findings per target; exits 1 when any target found something.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
if ! [[ "$seconds" =~ ^[0-9]+$ ]]; then
  echo "usage: scripts/fuzz.sh [SECONDS] [TARGET...]" >&2
  exit 2
fi
if ! command -v clang++ >/dev/null; then
  echo "scripts/fuzz.sh: clang++ is not installed (scripts/install-deps.sh installs it)" >&2
  exit 2
fi

build=build-fuzz
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVIREON_BUILD_FUZZ=ON \
  -DVIREON_BUILD_TESTS=OFF -DVIREON_BUILD_GUI=OFF >/dev/null
cmake --build "$build" -j "$jobs" --target fuzzers

targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then
  for source in fuzz/*_fuzzer.cpp; do
    name=$(basename "$source" .cpp)
    targets+=("${name%_fuzzer}")
  done
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
mkdir -p "$build/findings"
found=0
summary=()
for target in "${targets[@]}"; do
  program="$build/${target}_fuzzer"
  seeds="fuzz/corpus/$target"
  work="$build/corpus/$target"
  log="$build/${target}.log"
  mkdir -p "$work"
  corpora=("$work")
  if [ -d "$seeds" ]; then corpora+=("$seeds"); fi
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
           -artifact_prefix="$build/findings/${target}-")
  if [ -n "${VIREON_FUZZ_RUNS:-}" ]; then options+=(-runs="$VIREON_FUZZ_RUNS"); fi
  echo "== $target (${seconds} s)"
  status=0
  started=$SECONDS
  "$program" "${options[@]}" "${corpora[@]}" >"$log" 2>&1 || status=$?
  elapsed=$((SECONDS - started))
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  corpus=$(find "${corpora[@]}" -type f | wc -l)
  findings=$(find "$build/findings" -name "${target}-*" -type f | wc -l)
  if [ "$status" -ne 0 ]; then
    found=1
    tail -n 40 "$log" >&2
  fi
  summary+=("$(printf '%-18s %10s executions %6s s %7s exec/s %6s inputs in corpus %3s findings (exit %s)' \
    "$target" "${runs:-?}" "$elapsed" "${speed:-?}" "$corpus" "$findings" "$status")")
done
printf '%s\n' "${summary[@]}"
exit "$found"
