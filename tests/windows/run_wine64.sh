#!/bin/bash
# run_wine64.sh CASE SOURCE_DIR BUILD_DIR LAUNCHER [LINUX_PROGRAM...]: the
# Windows build under Wine.  The x86-64 Windows tree BUILD_DIR and its Wine
# prefix come from scripts/wintree.sh (LAUNCHER, such as ccache, runs its
# compilers, or is empty); then CASE runs:
#   CallmgrDll.*, win32rpc_transport_test.*
#               one of the tree's own tests, each on a Windows test host of
#               its own
#   conference  conference.sh on a net of three test hosts; LINUX_PROGRAM
#               is the call peer
#   any other   calls.sh CASE on a pair of test hosts; the LINUX_PROGRAMs
#               are Linux cmcall and the rpcgen peer
# The x86-64 build stands in for the 32-bit DLL on machines that run no
# 32-bit programs: the same sources on the same Wine.  Exits 77 (skipped)
# only when a tool is missing (wine_tree.sh).
set -euo pipefail

case=${1:?case}
src=$(cd "${2:?source folder}" && pwd)
build=${3:?build folder}
launcher=${4?launcher}
shift 4

# shellcheck source=tests/ui/wine/wine_tree.sh
source "$src/tests/ui/wine/wine_tree.sh"
wine_tree_build "windows.$case" "$src" "$build" "$launcher"
build=$(cd "$build" && pwd)

started=$SECONDS
rc=0
case $case in
CallmgrDll.* | win32rpc_transport_test.*)
  ctest --test-dir "$build" -R "^${case//./\\.}\$" --no-tests=error --output-on-failure || rc=$?
  ;;
conference)
  timeout -k 10 600 bash "$src/scripts/testhost.sh" net 3 -- \
    bash "$src/tests/windows/conference.sh" "$build" "$@" || rc=$?
  ;;
*)
  pair=(pair)
  if [ "$case" = portmapper ]; then pair+=(--a-no-rpcbind); fi
  timeout -k 10 600 bash "$src/scripts/testhost.sh" "${pair[@]}" -- \
    bash "$src/tests/windows/calls.sh" "$case" "$1" "$build" "$2" || rc=$?
  ;;
esac
echo "== the case took $((SECONDS - started)) s"
exit $rc
