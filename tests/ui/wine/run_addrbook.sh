#!/bin/bash
# run_addrbook.sh SOURCE_DIR WIN64_BUILD PROGRAM OUT_DIR [LAUNCHER]: the
# address book file written by PROGRAM (addrbook_files over the platform
# layer) is read by addrbook_files.exe of the x86-64 Windows tree WIN64_BUILD
# (brought up to date with LAUNCHER running its compilers) under Wine, and
# the file written under Wine is read by PROGRAM; each reader's print must
# equal the writer's own.  Files and prints are left in OUT_DIR.  Exits 77
# (skipped) only when a tool is missing.
set -euo pipefail

source "$(dirname -- "${BASH_SOURCE[0]}")/wine_tree.sh"
wine_test_start ui_addrbook_files_wine "$@"
exe=$build/tests/ui/wine/addrbook_files.exe
# Wine sees the host's files on drive Z:.
on_wine() { echo "Z:${1//\//\\}"; }
run_wine() { timeout -k 10 300 $wine "$exe" "$@" | tr -d '\r'; }

started=$SECONDS
"$program" write "$out/linux.ini" >"$out/linux-wrote.txt"
run_wine read "$(on_wine "$out/linux.ini")" >"$out/wine-read.txt"
run_wine write "$(on_wine "$out/wine.ini")" >"$out/wine-wrote.txt"
"$program" read "$out/wine.ini" >"$out/linux-read.txt"
echo "== the runs took $((SECONDS - started)) s"

status=0
diff -u --label "written on Linux" "$out/linux-wrote.txt" --label "read under Wine" \
    "$out/wine-read.txt" || status=1
diff -u --label "written under Wine" "$out/wine-wrote.txt" --label "read on Linux" \
    "$out/linux-read.txt" || status=1
diff -u --label "written on Linux" "$out/linux-wrote.txt" --label "written under Wine" \
    "$out/wine-wrote.txt" || status=1
[ $status = 0 ] || { echo "ui_addrbook_files_wine: the books differ (files in $out)"; exit 1; }
echo "ui_addrbook_files_wine: $(grep -c '^user ' "$out/linux-wrote.txt") users and" \
     "$(grep -c '^group ' "$out/linux-wrote.txt") groups alike both ways"
