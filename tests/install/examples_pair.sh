#!/usr/bin/env bash
# The example applications (examples/) between two test hosts: runs in host A
# of scripts/testhost.sh pair, with BINDIR holding glib_call and poll_call
# built against the installed library.  The GLib one here calls the poll one
# on host B, then answers B's call, each inside its own loop; every line
# either prints is shown.
#   examples_pair.sh BINDIR
set -uo pipefail
# shellcheck source=tests/support/follow.sh
source "$(dirname -- "${BASH_SOURCE[0]}")/../support/follow.sh"
WHAT=examples bin=$1
# poll_call on B, a command prefix and all.
# shellcheck disable=SC2206 # CALLMGR_PEER_EXEC is a command prefix
poll_call=($CALLMGR_PEER_EXEC -- env LD_LIBRARY_PATH="${LD_LIBRARY_PATH:-}" "$bin/poll_call")

# A calls, B answers by itself.
follow b "${poll_call[@]}" answer 1
wait_for b 'answering on *' || die "poll_call does not answer on $CALLMGR_PEER_NAME"
run "glib_call invite" "$bin/glib_call" invite "bob@$CALLMGR_PEER_NAME"
[[ $OUT == *"ringing $CALLMGR_PEER_ADDR"* && $OUT == *"accepted by $CALLMGR_PEER_ADDR"* ]] ||
  die "glib_call did not see its call ring and be accepted"
wait_for b "session *: call started, subject 'Example call':*bob@$CALLMGR_PEER_NAME*" ||
  die "poll_call did not join glib_call's call"
finish b "poll_call answer"

# B calls, A answers by itself.
follow a "$bin/glib_call" answer 1
wait_for a 'answering on *' || die "glib_call does not answer"
run "poll_call invite" "${poll_call[@]}" invite "alice@$CALLMGR_HOST_NAME"
[[ $OUT == *"accepted by $CALLMGR_HOST_ADDR"* ]] || die "poll_call's call was not accepted"
wait_for a "session *: call started, subject 'Example call':*alice@$CALLMGR_HOST_NAME*" ||
  die "glib_call did not join poll_call's call"
finish a "glib_call answer"
unregistered glib_call
