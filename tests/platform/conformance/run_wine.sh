#!/bin/bash
# run_wine.sh SOURCE_DIR BUILD_DIR [GTEST_ARGS...]: cross-builds the
# conformance tests with mingw-w64 and runs them under Wine (and Xvfb).
# Exits 77 (skipped) only when a tool or the GoogleTest sources are missing.
set -euo pipefail

src=$(cd "${1:?source folder}" && pwd)
build=${2:?build folder}
shift 2

skip() {
    echo "platform_conformance_wine SKIPPED: $* is not installed" \
         "(packages: g++-mingw-w64-x86-64-posix wine64 xvfb googletest)"
    exit 77
}

cxx=$(command -v x86_64-w64-mingw32-g++-posix || true)
[ -n "$cxx" ] || skip "the mingw-w64 C++ cross compiler (x86_64-w64-mingw32-g++-posix)"
wine=$(command -v wine64 || true)
[ -n "$wine" ] || { [ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64; } || true
[ -n "$wine" ] || wine=$(command -v wine || true)
[ -n "$wine" ] || skip "wine64"
command -v xvfb-run >/dev/null || skip "xvfb-run (package xvfb)"
[ -f /usr/src/googletest/CMakeLists.txt ] || skip "/usr/src/googletest (package googletest)"

echo "== cross-building with $cxx"
cmake -S "$src/cross" -B "$build" \
      -DCMAKE_TOOLCHAIN_FILE="$src/../../../cmake/mingw-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Release >"$build.configure.log" 2>&1 ||
    { cat "$build.configure.log"; exit 1; }
cmake --build "$build" --target platform_conformance -j2

prefix=$(mktemp -d /tmp/callmgr-wine.XXXXXX)
cleanup() {
    WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
    rm -rf "$prefix"
}
trap cleanup EXIT
# No Mono or Gecko installers, and no debugger: a crash fails the test.
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
echo "== running under $("$wine" --version 2>/dev/null || echo wine) in $prefix"
timeout -k 10 900 xvfb-run -a "$wine" "$build/platform_conformance.exe" "$@"
