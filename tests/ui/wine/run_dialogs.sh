#!/bin/bash
# run_dialogs.sh SOURCE_DIR WIN64_BUILD LISTER OUT_DIR [LAUNCHER]: lists the
# library's dialogs with dialog_controls.exe of the x86-64 Windows tree
# WIN64_BUILD (brought up to date with LAUNCHER running its compilers) under
# Wine (and Xvfb) and with LISTER (the same program over the platform
# layer), and compares the two listings line by line.  Both listings and a
# picture of each dialog from each side are left in OUT_DIR.  Exits 77
# (skipped) only when a tool is missing.
set -euo pipefail

source "$(dirname -- "${BASH_SOURCE[0]}")/wine_tree.sh"
wine_test_start ui_dialogs_wine "$@"
mkdir -p "$out/wine" "$out/linux"
started=$SECONDS
timeout -k 10 300 xvfb-run -a $wine "$build/src/dialog_controls.exe" --shots "$out/wine" |
    tr -d '\r' >"$out/wine.txt"
echo "== the run under Wine took $((SECONDS - started)) s"
CALLMGR_DISPLAY=headless "$program" --shots "$out/linux" >"$out/linux.txt"
if command -v convert >/dev/null; then
    for bmp in "$out"/wine/*.bmp; do
        convert "$bmp" "${bmp%.bmp}.png" && rm "$bmp"
    done
fi

if ! diff -u --label wine "$out/wine.txt" --label linux "$out/linux.txt"; then
    echo "ui_dialogs_wine: the dialogs differ (listings in $out)"
    exit 1
fi
echo "ui_dialogs_wine: $(grep -c control "$out/linux.txt") controls of" \
     "$(grep -c '^dialog' "$out/linux.txt") dialogs alike"
