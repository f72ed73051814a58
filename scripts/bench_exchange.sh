#!/usr/bin/env bash
# One exchange with another host, three ways, on two isolated hosts.
#
#   bash scripts/bench_exchange.sh [--iterations N] [--rounds R] [--warmup W]
#
# Needs root.  Builds exchange_bench, bench_peer and server_bench in the
# optimised tree of scripts/benchtree.sh (build-bench/, or
# CALLMGR_BENCH_BUILD_DIR), makes a pair of hosts, starts `bench_peer serve`
# (raw TCP and bare libtirpc servers) and `server_bench answer --busy` (the
# call manager, its applications occupied) on hostb, and runs
# exchange_bench on hosta twice: as the user nobody and as root (as root
# libtirpc binds reserved source ports; the call manager's exchange never
# does).  The answering applications are occupied so that every invitation
# is one exchange and nothing more: received, decoded, offered and answered
# "not handled".  An application free to accept would go on to send an
# acceptance of its own, whose work the answering host would do while the
# next exchange waits.  Prints a table per user: raw TCP, libtirpc,
# CALL_Send, median and 99th percentile in microseconds and against raw
# TCP.
set -euo pipefail
cd "$(dirname -- "${BASH_SOURCE[0]}")/.."
readonly ROOT=$PWD
# shellcheck source=scripts/benchlib.sh
. "$ROOT/scripts/benchlib.sh"

if [[ ${1:-} == --inside ]]; then
  shift
  build=$1
  shift
  dir=$(mktemp -d "${TMPDIR:-/tmp}/callmgr-xbench.XXXXXX")
  trap 'exec {serve_in}>&- {answer_in}>&- 2>/dev/null || true; rm -rf -- "$dir"' EXIT
  chmod 0755 "$dir"
  mkfifo "$dir/serve.in" "$dir/answer.in"
  # shellcheck disable=SC2086 # a command prefix
  $CALLMGR_PEER_EXEC -- setpriv --reuid=nobody --regid=nogroup --clear-groups \
    "$build/bench/bench_peer" serve <"$dir/serve.in" >"$dir/serve.out" 2>&1 &
  exec {serve_in}>"$dir/serve.in"
  mkdir -m 0777 "$dir/home"
  # shellcheck disable=SC2086
  $CALLMGR_PEER_EXEC -- setpriv --reuid=nobody --regid=nogroup --clear-groups \
    env HOME="$dir/home" XDG_DATA_HOME="$dir/home/.local/share" \
    "$build/bench/server_bench" answer --apps 2 --busy <"$dir/answer.in" >"$dir/answer.out" 2>&1 &
  exec {answer_in}>"$dir/answer.in"
  for _ in $(seq 100); do
    if grep -q '^ready serve' "$dir/serve.out" 2>/dev/null &&
      grep -q '^ready answer' "$dir/answer.out" 2>/dev/null; then break; fi
    sleep 0.1 # set-up polling of another host's programs, bounded
  done
  port=$(sed -n 's/^ready serve tcp=\([0-9]*\).*/\1/p' "$dir/serve.out")
  [[ -n $port ]] || { cat "$dir"/*.out >&2; exit 1; }
  rc=0
  for user in nobody root; do
    printf '==== as %s\n' "$user"
    as=()
    [[ $user == root ]] || as=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
    "${as[@]}" "$build/bench/exchange_bench" --peer-addr "$CALLMGR_PEER_ADDR" --tcp-port "$port" \
      "$@" || rc=$?
  done
  exit "$rc"
fi

as_root "$@"
readonly BUILD=${CALLMGR_BENCH_BUILD_DIR:-$ROOT/build-bench}
bash "$ROOT/scripts/benchtree.sh" exchange_bench bench_peer server_bench
bash "$ROOT/scripts/testhost.sh" pair -- bash "$ROOT/scripts/bench_exchange.sh" --inside "$BUILD" "$@"
