#!/bin/bash
# run_win32.sh tables|wine SOURCE_DIR BUILD_DIR: builds callmgr.dll, cmcall.exe
# and the DLL's test program in the Windows tree BUILD_DIR (configured with
# cmake/mingw-i686.cmake unless it already is), then checks the DLL's export,
# import and resource tables (tables) or runs the program under Wine, in a
# Wine prefix of the tree's own made once (wine).  Exits 77 (skipped) only
# when a tool is missing or this machine cannot run 32-bit x86 programs.
set -euo pipefail

mode=${1:?tables or wine}
src=$(cd "${2:?source folder}" && pwd)
build=${3:?build folder}

skip() {
    echo "callmgr_dll_$mode SKIPPED: $*"
    exit 77
}

command -v i686-w64-mingw32-g++-posix >/dev/null ||
    skip "the cross compiler is not installed (package g++-mingw-w64-i686-posix)"
[ -f /usr/src/googletest/CMakeLists.txt ] || skip "/usr/src/googletest is not installed (package googletest)"
if [ "$mode" = wine ]; then
    # Debian's 32-bit Wine; a machine whose kernel runs no 32-bit programs
    # cannot start it.
    loader=/usr/lib/wine/wine
    [ -x $loader ] || skip "32-bit Wine is not installed (package wine32:i386)"
    version=$($loader --version 2>&1) || skip "this machine runs no 32-bit x86 programs: $version"
    command -v xvfb-run >/dev/null || skip "xvfb-run is not installed (package xvfb)"
    command -v Xvfb >/dev/null || skip "Xvfb is not installed (package xvfb)"
fi

if [ ! -f "$build/CMakeCache.txt" ]; then
    echo "== configuring $build"
    mkdir -p "$build"
    cmake -S "$src" -B "$build" --toolchain "$src/cmake/mingw-i686.cmake" -DCALLMGR_TESTS=ON \
          >"$build/configure.log" 2>&1 || { cat "$build/configure.log"; exit 1; }
fi
echo "== building callmgr.dll, cmcall.exe and callmgr_dll_test.exe in $build"
cmake --build "$build" -j2 --target callmgr cmcall callmgr_dll_test

if [ "$mode" = tables ]; then
    exec ctest --test-dir "$build" -R '^CallmgrDll\.Tables$' --output-on-failure
fi

prefix=$build/wineprefix
# No Mono or Gecko installers, and no debugger: a crash fails the test.
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
if [ ! -f "$prefix/system.reg" ]; then
    echo "== making the Wine prefix $prefix"
    started=$SECONDS
    timeout -k 10 600 xvfb-run -a wineboot --init
    wineserver -w
    echo "== the prefix took $((SECONDS - started)) s"
fi
# The test runs on a Windows test host of its own, with a copy of the prefix.
timeout -k 10 600 ctest --test-dir "$build" -R '^CallmgrDll\.Binding$' --output-on-failure
