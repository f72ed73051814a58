#!/usr/bin/env bash
# Runs the fuzz harnesses for as long as asked.
#
#   scripts/fuzz.sh [--time SECONDS] [--jobs N] [--build DIR] [harness...]
#
# Harnesses: xdr, addr, profile (all when none is named).  Each runs for
# SECONDS (default 60) on its own working corpus in the build tree, started
# from the checked-in seeds and kept between runs, so a long campaign goes
# on where the last one stopped; the source tree is never written.  Inputs
# that crash land in DIR/fuzz/campaign/HARNESS/artifacts/.  The Clang tree
# (default build-fuzz/) is configured and built when needed.  Exits non-zero
# when any harness found a fault.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=60
jobs=1
build=$root/build-fuzz
harnesses=()

usage() {
    sed -n '4,13p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'
    exit 2
}

while [ $# -gt 0 ]; do
    case "$1" in
    --time) seconds=${2:?}; shift 2 ;;
    --jobs) jobs=${2:?}; shift 2 ;;
    --build) build=${2:?}; shift 2 ;;
    -h | --help) usage ;;
    -*) echo "fuzz.sh: unknown option $1" >&2; usage ;;
    *) harnesses+=("$1"); shift ;;
    esac
done
[ ${#harnesses[@]} -gt 0 ] || harnesses=(xdr addr profile)
case "$seconds" in '' | *[!0-9]*) echo "fuzz.sh: --time takes whole seconds" >&2; exit 2 ;; esac
case "$jobs" in '' | *[!0-9]* | 0) echo "fuzz.sh: --jobs takes a positive number" >&2; exit 2 ;; esac
for h in "${harnesses[@]}"; do
    [ -d "$root/fuzz/corpus/$h" ] || { echo "fuzz.sh: no harness '$h' (xdr, addr, profile)" >&2; exit 2; }
done

for tool in clang clang++ cmake; do
    command -v "$tool" >/dev/null || {
        echo "fuzz.sh: $tool is missing (apt-get install clang libclang-rt-14-dev cmake)" >&2
        exit 2
    }
done

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DCALLMGR_FUZZ=ON -DCALLMGR_TESTS=OFF -DCALLMGR_BENCH=OFF >/dev/null
fi
targets=()
for h in "${harnesses[@]}"; do targets+=(--target "fuzz_$h"); done
cmake --build "$build" "${targets[@]}" -j"$(nproc)"

status=0
for h in "${harnesses[@]}"; do
    work=$build/fuzz/campaign/$h
    mkdir -p "$work/corpus" "$work/artifacts"
    cp -n "$root/fuzz/corpus/$h/"* "$work/corpus/" 2>/dev/null || true
    echo "== $h: ${seconds}s, $jobs job(s), corpus $work/corpus"
    args=(-max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$work/artifacts/")
    if [ "$jobs" -gt 1 ]; then
        args+=(-fork="$jobs" -ignore_crashes=0)
    fi
    set +e
    "$build/fuzz/fuzz_$h" "${args[@]}" "$work/corpus" 2>&1 | tee "$work/last.log" |
        grep --line-buffered -E '^(#[0-9]+[[:space:]]+(DONE|INITED|pulse)|stat::|==[0-9]+==ERROR|SUMMARY|.*check failed)'
    rc=${PIPESTATUS[0]}
    set -e
    if [ "$rc" -ne 0 ]; then
        echo "== $h FOUND A FAULT: see $work/last.log and $work/artifacts/" >&2
        status=1
    fi
done
exit $status
