# shellcheck shell=bash
# wine_tree.sh, sourced by the tests that run programs of the x86-64 Windows
# tree under Wine.
#
# wine_tree_build TEST SOURCE_DIR WIN64_BUILD LAUNCHER brings the tree
# WIN64_BUILD up to date (scripts/wintree.sh, with LAUNCHER such as ccache
# running its compilers, or empty).  Exits 77 (TEST skipped) only when a
# tool is missing.
wine_tree_build() {
    local missing=""
    command -v x86_64-w64-mingw32-g++-posix >/dev/null ||
        missing="the cross compiler (package g++-mingw-w64-x86-64-posix)"
    [ -x /usr/lib/wine/wine64 ] || missing="64-bit Wine (package wine64)"
    { command -v Xvfb && command -v xvfb-run; } >/dev/null || missing="Xvfb (package xvfb)"
    command -v flock >/dev/null || missing="flock (package util-linux)"
    [ -f /usr/src/googletest/CMakeLists.txt ] || missing="GoogleTest's sources (package googletest)"
    if [ -n "$missing" ]; then
        echo "$1 SKIPPED: $missing is not installed"
        exit 77
    fi
    bash "$2/scripts/wintree.sh" "$2" "$3" "$4"
}
