#!/usr/bin/env bash
# The example applications (examples/) between two test hosts: runs in host A
# of scripts/testhost.sh pair, with BINDIR holding glib_call and poll_call
# built against the installed library.  The GLib one here calls the poll one
# on host B, then answers B's call, each inside its own loop; every line
# either prints is shown.
#   examples_pair.sh BINDIR
set -uo pipefail
# shellcheck source=../support/follow.sh
source "$(dirname -- "${BASH_SOURCE[0]}")/../support/follow.sh"
bin=$1
die() {
  printf 'examples: %s\n' "$*" >&2
  exit 1
}
# show TEXT: the lines of a finished command.
show() {
  printf '  %s\n' "${1//$'\n'/$'\n'  }"
}

# A calls, B answers by itself.
# shellcheck disable=SC2086 # CALLMGR_PEER_EXEC is a command prefix
exec {b}< <(exec $CALLMGR_PEER_EXEC -- env LD_LIBRARY_PATH="${LD_LIBRARY_PATH:-}" \
  "$bin/poll_call" answer 1 2>&1)
b_pid=$!
wait_for "$b" 'answering on *' || die "poll_call does not answer on $CALLMGR_PEER_NAME"
out=$("$bin/glib_call" invite "bob@$CALLMGR_PEER_NAME" 2>&1)
rc=$?
show "$out"
((rc == 0)) || die "glib_call invite ended with status $rc"
[[ $out == *"ringing $CALLMGR_PEER_ADDR"* && $out == *"accepted by $CALLMGR_PEER_ADDR"* ]] ||
  die "glib_call did not see its call ring and be accepted"
wait_for "$b" "session *: call started, subject 'Example call':*bob@$CALLMGR_PEER_NAME*" ||
  die "poll_call did not join glib_call's call"
rest "$b"
wait "$b_pid" || die "poll_call answer ended with status $?"

# B calls, A answers by itself.
exec {a}< <(exec "$bin/glib_call" answer 1 2>&1)
a_pid=$!
wait_for "$a" 'answering on *' || die "glib_call does not answer"
# shellcheck disable=SC2086
out=$($CALLMGR_PEER_EXEC -- env LD_LIBRARY_PATH="${LD_LIBRARY_PATH:-}" \
  "$bin/poll_call" invite "alice@$CALLMGR_HOST_NAME" 2>&1)
rc=$?
show "$out"
((rc == 0)) || die "poll_call invite ended with status $rc"
[[ $out == *"accepted by $CALLMGR_HOST_ADDR"* ]] || die "poll_call's call was not accepted"
wait_for "$a" "session *: call started, subject 'Example call':*alice@$CALLMGR_HOST_NAME*" ||
  die "glib_call did not join poll_call's call"
rest "$a"
wait "$a_pid" || die "glib_call answer ended with status $?"

listed=$(rpcinfo -p 127.0.0.1) || die "the port mapper of $CALLMGR_HOST_NAME does not answer"
if grep -qw 391010 <<<"$listed"; then
  die "the call program is still registered after glib_call ended"
fi
