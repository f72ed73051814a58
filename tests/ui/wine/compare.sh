#!/bin/bash
# compare.sh CASE SOURCE_DIR WIN64_BUILD PROGRAM OUT_DIR [LAUNCHER]: PROGRAM,
# built over the platform layer, against the same program of the x86-64
# Windows tree WIN64_BUILD (brought up to date with LAUNCHER running its
# compilers) under Wine, in a Wine prefix of these tests' own.  CASE:
#   dialogs         dialog_controls lists the library's dialogs on each
#                   system (under Wine with Xvfb) and pictures each one; the
#                   two listings must be the same line by line
#   addrbook_files  the address book file that each system's store writes
#                   is read by the other's; each reader's print must equal
#                   the writer's own, and the two writers' prints each other
# What each side printed and wrote is left in OUT_DIR.  Exits 77 (skipped)
# only when a tool is missing.
set -euo pipefail

test=ui_${1:?case}_wine
src=$(cd "${2:?source folder}" && pwd)
build=${3:?Windows tree}
program=${4:?the program over the platform layer}
out=${5:?output folder}
# shellcheck source=tests/ui/wine/wine_tree.sh
source "$src/tests/ui/wine/wine_tree.sh"
wine_tree_build "$test" "$src" "$build" "${6-}"
build=$(cd "$build" && pwd)
rm -rf "$out"
mkdir -p "$out"
out=$(cd "$out" && pwd)

# A prefix of these tests' own, made once per tree: its windows carry
# frames of Wine's drawing, which the call tests' prefix leaves to a
# window manager.
prefix=$build/wineprefix-ui
wine=/usr/lib/wine/wine64
# No Mono or Gecko installers, and no debugger: a crash fails the test.
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
if [ ! -f "$prefix/system.reg" ]; then
    echo "== making the Wine prefix $prefix"
    started=$SECONDS
    timeout -k 10 600 xvfb-run -a "$wine" wineboot --init
    # Xvfb runs no window manager: Wine draws the frames and captions.
    "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null
    wineserver -w
    echo "== the prefix took $((SECONDS - started)) s"
fi

started=$SECONDS
case $1 in
dialogs)
    mkdir -p "$out/wine" "$out/linux"
    timeout -k 10 300 xvfb-run -a "$wine" "$build/src/dialog_controls.exe" --shots "$out/wine" |
        tr -d '\r' >"$out/wine.txt"
    CALLMGR_DISPLAY=headless "$program" --shots "$out/linux" >"$out/linux.txt"
    if command -v convert >/dev/null; then
        for bmp in "$out"/wine/*.bmp; do
            convert "$bmp" "${bmp%.bmp}.png" && rm "$bmp"
        done
    fi
    pairs=(wine:linux)
    alike="$(grep -c control "$out/linux.txt") controls of"
    alike+=" $(grep -c '^dialog' "$out/linux.txt") dialogs alike"
    ;;
addrbook_files)
    exe=$build/tests/ui/wine/addrbook_files.exe
    # Wine sees the host's files on drive Z:.
    on_wine() { echo "Z:${1//\//\\}"; }
    run_wine() { timeout -k 10 300 "$wine" "$exe" "$@" | tr -d '\r'; }
    "$program" write "$out/linux.ini" >"$out/linux-wrote.txt"
    run_wine read "$(on_wine "$out/linux.ini")" >"$out/wine-read.txt"
    run_wine write "$(on_wine "$out/wine.ini")" >"$out/wine-wrote.txt"
    "$program" read "$out/wine.ini" >"$out/linux-read.txt"
    pairs=(linux-wrote:wine-read wine-wrote:linux-read linux-wrote:wine-wrote)
    alike="$(grep -c '^user ' "$out/linux-wrote.txt") users and"
    alike+=" $(grep -c '^group ' "$out/linux-wrote.txt") groups alike both ways"
    ;;
*)
    echo "$test: no such case"
    exit 2
    ;;
esac
echo "== the runs took $((SECONDS - started)) s"

status=0
for pair in "${pairs[@]}"; do
    diff -u "$out/${pair%:*}.txt" "$out/${pair#*:}.txt" || status=1
done
[ $status = 0 ] || { echo "$test: the two systems differ (files in $out)"; exit 1; }
echo "$test: $alike"
