# wine_tree.sh, sourced by the tests that run a program of the Windows tree
# under Wine beside the same program over the platform layer.
#
# wine_test_start TEST SOURCE_DIR WIN64_BUILD PROGRAM OUT_DIR [LAUNCHER]
# takes a test's arguments into $src, $build, $program (the program over the
# platform layer), $out (emptied, made absolute) and $launcher, and prepares
# the tree as wine_tree_prepare does.
wine_test_start() {
    local test=$1
    src=$(cd "${2:?source folder}" && pwd)
    build=${3:?Windows tree}
    program=${4:?the program over the platform layer}
    out=${5:?output folder}
    launcher=${6-}
    wine_tree_prepare "$test" "$src" "$build" "$launcher"
    rm -rf "$out"
    mkdir -p "$out"
    out=$(cd "$out" && pwd)
}

# wine_tree_prepare TEST SOURCE_DIR WIN64_BUILD LAUNCHER brings the x86-64 Windows tree WIN64_BUILD up to date (scripts/wintree.sh,
# with LAUNCHER such as ccache running its compilers, or empty), makes the
# tree's Wine prefix for these tests once, and leaves the Wine environment
# exported and the loader in $wine.  Exits 77 (TEST skipped) only when a
# tool is missing.
wine_tree_prepare() {
    local test=$1 src=$2 build=$3 launcher=$4
    local skip="$test SKIPPED:"
    command -v x86_64-w64-mingw32-g++-posix >/dev/null ||
        { echo "$skip the cross compiler is not installed (package g++-mingw-w64-x86-64-posix)"; exit 77; }
    wine=/usr/lib/wine/wine64
    [ -x $wine ] || { echo "$skip 64-bit Wine is not installed (package wine64)"; exit 77; }
    command -v xvfb-run >/dev/null || { echo "$skip xvfb-run is not installed (package xvfb)"; exit 77; }
    command -v flock >/dev/null || { echo "$skip flock is not installed (package util-linux)"; exit 77; }
    [ -f /usr/src/googletest/CMakeLists.txt ] ||
        { echo "$skip GoogleTest's sources are not installed (package googletest)"; exit 77; }

    bash "$src/scripts/wintree.sh" "$src" "$build" "$launcher"

    # A prefix of these tests' own, made once per tree: its windows carry
    # frames of Wine's drawing, which the call tests' prefix leaves to a
    # window manager.
    local prefix=$build/wineprefix-ui started
    # No Mono or Gecko installers, and no debugger: a crash fails the test.
    export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
    trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
    if [ ! -f "$prefix/system.reg" ]; then
        echo "== making the Wine prefix $prefix"
        started=$SECONDS
        timeout -k 10 600 xvfb-run -a $wine wineboot --init
        # Xvfb runs no window manager: Wine draws the frames and captions.
        $wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null
        wineserver -w
        echo "== the prefix took $((SECONDS - started)) s"
    fi
}
