#!/usr/bin/env bash
# The installed application against the foreign peer: runs in host A of
# scripts/testhost.sh pair.  B's peer answers the application's call, then
# invites the application, which accepts by itself; at the end nothing of
# the application stays registered.  Every line is shown.
#   peer_call.sh APP PEER
set -uo pipefail
# shellcheck source=../support/follow.sh
source "$(dirname -- "${BASH_SOURCE[0]}")/../support/follow.sh"
app=$1 peer=$2
die() {
  printf 'install: %s\n' "$*" >&2
  exit 1
}

# shellcheck disable=SC2086 # CALLMGR_PEER_EXEC is a command prefix
exec {answer}< <(exec $CALLMGR_PEER_EXEC -- "$peer" answer 2>&1)
answer_pid=$!
wait_for "$answer" ready || die "the foreign peer on $CALLMGR_PEER_NAME does not serve"

exec {out}< <(exec "$app" "$CALLMGR_PEER_NAME" "$CALLMGR_PEER_ADDR" 2>&1)
app_pid=$!
wait_for "$out" 'app: answering' || die "the application's call to $CALLMGR_PEER_NAME failed"
wait_for "$answer" "invite msg=0 callid=* subject=Installed call seqno=* members=2 \
to=bob@$CALLMGR_PEER_NAME from=*@$CALLMGR_HOST_NAME" ||
  die "the foreign peer did not receive the application's invitation"
wait_for "$answer" "replied msg=1 host=$CALLMGR_HOST_ADDR answer=16" ||
  die "the foreign peer's acceptance was not delivered"
rest "$answer"
wait "$answer_pid" || die "the foreign peer (answer) ended with status $?"

# shellcheck disable=SC2086
invited=$($CALLMGR_PEER_EXEC -- "$peer" invite "$CALLMGR_HOST_NAME" alice \
  --subject 'Foreign call' 2>&1)
rc=$?
printf '  %s\n' "${invited//$'\n'/$'\n'  }"
((rc == 0)) || die "the foreign peer (invite) ended with status $rc"
[[ $invited == "answer 16"$'\n'"reply msg=1 from=alice@$CALLMGR_HOST_NAME \
to=foreign@$CALLMGR_PEER_NAME callid="*" seqno=1" ]] ||
  die "the application did not accept the foreign peer's invitation"

wait_for "$out" "app: joined the call 'Foreign call' of foreign@$CALLMGR_PEER_NAME" ||
  die "the application did not join the foreign peer's call"
wait_for "$out" 'app: done' || die "the application did not finish"
rest "$out"
wait "$app_pid" || die "the application ended with status $?"
# Its clean-up took the program off this host's port mapper.
listed=$(rpcinfo -p 127.0.0.1) || die "the port mapper of $CALLMGR_HOST_NAME does not answer"
if grep -qw 391010 <<<"$listed"; then
  die "the call program is still registered after the application ended"
fi
