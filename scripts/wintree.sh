#!/usr/bin/env bash
# The x86-64 Windows tree and its Wine prefix, made or brought up to date.
#
#   wintree.sh SOURCE_DIR BUILD_DIR [LAUNCHER]
#
# Configures BUILD_DIR once with cmake/mingw-x86_64.cmake (Release, with the
# tests of what Windows runs, the compilers behind LAUNCHER such as ccache),
# builds it, installs callmgr.dll and cmcall.exe in BUILD_DIR/dist/bin, and
# makes the tree's Wine prefix BUILD_DIR/wineprefix once (winhost.sh copies
# it for each Windows host; the tree's own tests run that way).  One run at
# a time per tree; others wait for it.  Needs x86_64-w64-mingw32-g++-posix,
# GoogleTest's sources (/usr/src/googletest) and /usr/lib/wine/wine64.
set -euo pipefail

src=$(cd "${1:?source folder}" && pwd)
build=${2:?build folder}
launcher=${3:-}

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
  cmake -S "$src" -B "$build" --toolchain "$src/cmake/mingw-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DCALLMGR_TESTS=ON -DCALLMGR_WINE=/usr/lib/wine/wine64 "${launch[@]}" \
    >"$build/configure.log" 2>&1 || { cat "$build/configure.log"; exit 1; }
fi
echo "== building $build and installing callmgr.dll and cmcall.exe"
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
    timeout -k 10 600 /usr/lib/wine/wine64 wineboot --init
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

