#!/usr/bin/env bash
# The installed application against the foreign peer: runs in host A of
# scripts/testhost.sh pair.  B's peer answers the application's call, then
# invites the application, which accepts by itself; at the end nothing of
# the application stays registered.  Every line is shown.
#   peer_call.sh APP PEER
set -uo pipefail
# shellcheck source=tests/support/follow.sh
source "$(dirname -- "${BASH_SOURCE[0]}")/../support/follow.sh"
WHAT=install app=$1 peer=$2

# shellcheck disable=SC2086 # CALLMGR_PEER_EXEC is a command prefix
follow answer $CALLMGR_PEER_EXEC -- "$peer" answer
wait_for answer ready || die "the foreign peer on $CALLMGR_PEER_NAME does not serve"
follow out "$app" "$CALLMGR_PEER_NAME" "$CALLMGR_PEER_ADDR"
wait_for out 'app: answering' || die "the application's call to $CALLMGR_PEER_NAME failed"
wait_for answer "invite msg=0 callid=* subject=Installed call seqno=* members=2 \
to=bob@$CALLMGR_PEER_NAME from=*@$CALLMGR_HOST_NAME" ||
  die "the foreign peer did not receive the application's invitation"
wait_for answer "replied msg=1 host=$CALLMGR_HOST_ADDR answer=16" ||
  die "the foreign peer's acceptance was not delivered"
finish answer "the foreign peer (answer)"

# shellcheck disable=SC2086
run "the foreign peer (invite)" $CALLMGR_PEER_EXEC -- "$peer" invite "$CALLMGR_HOST_NAME" alice \
  --subject 'Foreign call'
[[ $OUT == "answer 16"$'\n'"reply msg=1 from=alice@$CALLMGR_HOST_NAME \
to=foreign@$CALLMGR_PEER_NAME callid="*" seqno=1" ]] ||
  die "the application did not accept the foreign peer's invitation"
wait_for out "app: joined the call 'Foreign call' of foreign@$CALLMGR_PEER_NAME" ||
  die "the application did not join the foreign peer's call"
# Its exit status says all went as expected; its clean-up took the program
# off this host's port mapper.
finish out "the application"
unregistered "the application"
