# shellcheck shell=bash
# harness.sh, sourced by the Windows host tests once CASE is set: ROOT, the
# checks of tests/support/checks.sh, a WORK folder that goes at the end with
# the background processes listed in SUBS, and fail MESSAGE, which shows
# every WORK/*.out.
ROOT=$(cd "$(dirname -- "${BASH_SOURCE[0]}")/../.." && pwd)
readonly ROOT
# shellcheck source=tests/support/checks.sh
. "$ROOT/tests/support/checks.sh"

WORK=$(mktemp -d "${TMPDIR:-/tmp}/callmgr-$CASE.XXXXXX")
SUBS=()
cleanup() {
  local pid
  for pid in "${SUBS[@]}"; do kill "$pid" 2>/dev/null; done
  rm -rf -- "$WORK"
}
trap cleanup EXIT

fail() {
  printf 'FAIL (%s): %s\n' "$CASE" "$*"
  local f
  for f in "$WORK"/*.out; do
    [[ -e $f ]] || continue
    printf -- '--- %s:\n' "${f##*/}"
    cat "$f"
  done
  exit 1
}
