#!/usr/bin/env bash
# The optimised tree the benchmarks run from, made or brought up to date.
#
#   benchtree.sh TARGET...
#
# Configures build-bench/ (or CALLMGR_BENCH_BUILD_DIR) as a Release tree
# with the benchmarks unless it already is an optimised one (measuring a
# Debug or sanitizer build would measure the instrumentation; a sanitizer
# tree is refused), then builds the TARGETs in it.  Its messages go to
# standard error; the build's own output only when it fails.
set -euo pipefail
ROOT=$(cd "$(dirname -- "${BASH_SOURCE[0]}")/.." && pwd)
readonly ROOT BUILD=${CALLMGR_BENCH_BUILD_DIR:-$ROOT/build-bench}

fail() {
  printf 'benchtree.sh: %s\n' "$*" >&2
  exit 1
}

(($# > 0)) || fail "usage: benchtree.sh TARGET..."
LOG=$(mktemp "${TMPDIR:-/tmp}/callmgr-bench-build.XXXXXX")
trap 'rm -f -- "$LOG"' EXIT

build_type=""
if [[ -f $BUILD/CMakeCache.txt ]]; then
  build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$BUILD/CMakeCache.txt")
  if grep -q '^CALLMGR_SANITIZE:BOOL=ON' "$BUILD/CMakeCache.txt"; then
    fail "$BUILD is a sanitizer build; name another tree with CALLMGR_BENCH_BUILD_DIR"
  fi
fi
if [[ $build_type != Release && $build_type != RelWithDebInfo ]]; then
  printf '==== configuring %s (Release)\n' "$BUILD" >&2
  cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DCALLMGR_TESTS=OFF \
    -DCALLMGR_BENCH=ON >"$LOG" 2>&1 || {
    cat "$LOG" >&2
    fail "cmake could not configure $BUILD"
  }
fi
printf '==== building %s in %s\n' "$*" "$BUILD" >&2
cmake --build "$BUILD" --target "$@" -j"$(nproc)" >"$LOG" 2>&1 || {
  tail -n 40 "$LOG" >&2
  if grep -q 'Benchmarks skipped' "$BUILD/CMakeCache.txt" "$LOG" 2>/dev/null ||
    ! grep -q '^benchmark_DIR:PATH=/' "$BUILD/CMakeCache.txt"; then
    printf 'benchtree.sh: the bench/ programs need Google Benchmark (apt-get install libbenchmark-dev)\n' >&2
  fi
  fail "the benchmarks do not build"
}
