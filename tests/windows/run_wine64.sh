#!/bin/bash
# run_wine64.sh CASE SOURCE_DIR BUILD_DIR CMCALL [LAUNCHER]: the Windows
# build's calls with the Linux one, under Wine.  Builds and installs
# callmgr.dll and cmcall.exe in the x86-64 Windows tree BUILD_DIR
# (configured with cmake/mingw-x86_64.cmake, the compilers behind LAUNCHER
# such as ccache, unless it already is), makes the tree's Wine prefix once,
# and runs calls.sh CASE on a pair of test hosts with Linux cmcall CMCALL.
# The x86-64 build stands in for the 32-bit DLL on machines that run no
# 32-bit programs: the same sources on the same Wine.  The build and the
# prefix are made by one case at a time; the cases then run side by side.
# Exits 77 (skipped) only when a tool is missing.
set -euo pipefail

case=${1:?case}
src=$(cd "${2:?source folder}" && pwd)
build=${3:?build folder}
cmcall=${4:?Linux cmcall}
launcher=${5:-}

skip() {
  echo "windows.$case SKIPPED: $* is not installed"
  exit 77
}
command -v x86_64-w64-mingw32-g++-posix >/dev/null ||
  skip "the cross compiler (package g++-mingw-w64-x86-64-posix)"
readonly wine=/usr/lib/wine/wine64
[ -x $wine ] || skip "64-bit Wine (package wine64)"
command -v Xvfb >/dev/null || skip "Xvfb (package xvfb)"
command -v flock >/dev/null || skip "flock (package util-linux)"

mkdir -p "$build"
build=$(cd "$build" && pwd)
exec {lock}>"$build.lock"
flock "$lock"
started=$SECONDS
if [ ! -f "$build/CMakeCache.txt" ]; then
  echo "== configuring $build"
  launch=()
  if [ -n "$launcher" ]; then
    launch=(-DCMAKE_C_COMPILER_LAUNCHER="$launcher" -DCMAKE_CXX_COMPILER_LAUNCHER="$launcher")
  fi
  cmake -S "$src" -B "$build" --toolchain "$src/cmake/mingw-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCALLMGR_TESTS=OFF "${launch[@]}" \
    >"$build/configure.log" 2>&1 || { cat "$build/configure.log"; exit 1; }
fi
echo "== building and installing callmgr.dll and cmcall.exe in $build"
cmake --build "$build" -j2 >"$build/build.log" 2>&1 || { cat "$build/build.log"; exit 1; }
cmake --install "$build" --prefix "$build/dist" >/dev/null
echo "== the Windows tree took $((SECONDS - started)) s"

prefix=$build/wineprefix
if [ ! -f "$prefix/system.reg" ]; then
  echo "== making the Wine prefix $prefix"
  started=$SECONDS
  rm -rf "$prefix.new"
  (
    # No Mono or Gecko installers, and no window: it runs with no display.
    export WINEPREFIX=$prefix.new WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
    unset DISPLAY
    timeout -k 10 600 $wine wineboot --init
    /usr/lib/wine/wineserver -w
    # Its server's socket folder, which no copy of the prefix shares.
    dir=$(<"$WINEPREFIX/wineserver")
    rm -f "$WINEPREFIX/wineserver"
    if [[ $dir == wine-* ]]; then rm -rf -- "/tmp/$dir"; fi
  ) >"$build/wineboot.log" 2>&1 || { cat "$build/wineboot.log"; exit 1; }
  mv "$prefix.new" "$prefix"
  echo "== the prefix took $((SECONDS - started)) s"
fi
flock -u "$lock"

pair=(pair)
if [ "$case" = portmapper ]; then pair+=(--a-no-rpcbind); fi
started=$SECONDS
rc=0
timeout -k 10 600 bash "$src/scripts/testhost.sh" "${pair[@]}" -- \
  bash "$src/tests/windows/calls.sh" "$case" "$cmcall" "$build/dist/bin" "$prefix" || rc=$?
echo "== the case took $((SECONDS - started)) s"
exit $rc
