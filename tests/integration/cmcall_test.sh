#!/usr/bin/env bash
# cmcall end to end:  cmcall_test.sh CASE PATH-TO-CMCALL
# Two-host cases run on host A of `scripts/testhost.sh pair`, with cmcall
# answer on B and cmcall invite on A:
#   accepted (twice in a row, once with a member without address; SIGINT
#   ends B), declined (in B's Invite - RSVP dialog; then nothing answers on
#   B), timeout (nobody answers B's dialog; SIGTERM ends B).
# Without a pair: arguments (usage errors exit 2) and no_rpcbind.
set -uo pipefail

readonly CASE=${1:?case} CMCALL=${2:?path to cmcall}
# shellcheck source=tests/integration/cmcall_sides.sh
. "$(dirname -- "${BASH_SOURCE[0]}")/cmcall_sides.sh"

# start_answer ARG...: cmcall answer on B, once it waits for invitations.
start_answer() {
  start B answer "$@"
  read_from B 'waiting for invitations' '"event":"waiting"'
}

# invite ARG...: cmcall invite ARG... on host A; A_RC is its status.
invite() {
  A_RC=0
  "$CMCALL" invite "$@" >"$A_OUT" 2>"$A_ERR" || A_RC=$?
}

# refused TEXT COMMAND...: COMMAND exits 2 with TEXT on standard error and
# nothing on standard output.
refused() {
  local rc=0
  "${@:2}" >"$A_OUT" 2>"$A_ERR" || rc=$?
  rc_is "${*:2}" "$rc" 2
  has "$A_ERR" "$1"
  [[ ! -s $A_OUT ]] || fail "standard output is not empty"
}

case $CASE in
accepted)
  start_answer --auto-accept
  invite "Bob <bob@hostb>" --subject "Design review"
  rc_is "invite" "$A_RC" 0
  in_order "$A_OUT" "registered as application 1 on hosta" "inviting bob@hostb (session 1)" \
    'call started: session 1, subject "Design review", 2 members' \
    "address of bob@hostb: 198.18.0.2" "ringing bob@hostb (198.18.0.2)" \
    "accepted by bob@hostb (198.18.0.2)" \
    "result: 1 accepted, 0 declined, 0 unreachable, 0 without address" "cleaned up"
  # B, idle again once it closed the first call's session, takes the second;
  # each address on the command line has a session of its own.
  read_from B "session 1 closed, ready for the next invitation"
  invite hostb nobody@nosuchhost
  rc_is "second invite" "$A_RC" 1
  in_order "$A_OUT" "inviting nobody@nosuchhost (session 2)" "no address: nobody@nosuchhost" \
    "result: 1 accepted, 0 declined, 0 unreachable, 1 without address"
  in_order "$A_OUT" "accepted by hostb (198.18.0.2)" "result: 1 accepted"
  lacks "$A_OUT" "ringing nobody"
  # Without --count B stays until a signal ends it.
  read_from B "session 2 closed, ready for the next invitation"
  signal B INT
  finish B
  rc_is "answer" "$B_RC" 0
  in_order "$B_OUT" "registered as application 1 on hostb" "waiting for invitations" \
    'call started: session 1, subject "Design review", 2 members' \
    "session 1 closed, ready for the next invitation" "call started: session 2, no subject" \
    "session 2 closed" "stopping on SIGINT" "cleaned up"
  # The caller waited for its own address, so the call names its originator.
  has "$B_OUT" "from 198.18.0.1, udp ports"
  ;;
declined)
  # With ring sounds on both sides: a short WAV file on B, a missing one on A;
  # neither holds anything up.
  python3 -c 'import sys, wave
w = wave.open(sys.argv[1], "wb")
w.setnchannels(1); w.setsampwidth(2); w.setframerate(8000)
w.writeframes(b"\x00\x10\x00\xf0" * 2000); w.close()' "$WORK/ring.wav" || fail "no WAV file"
  start_answer --decline --count 1 --sound "$WORK/ring.wav"
  invite hostb --subject "Lunch?" --sound "$WORK/missing.wav"
  rc_is "invite" "$A_RC" 1
  in_order "$A_OUT" "ringing hostb (198.18.0.2)" "declined by hostb (198.18.0.2)" \
    "result: 0 accepted, 1 declined, 0 unreachable, 0 without address" "cleaned up"
  finish B
  rc_is "answer" "$B_RC" 0
  in_order "$B_OUT" 'Invite - RSVP dialog: subject "Lunch?", from hosta; pressing Decline' \
    "invitation refused" "cleaned up"
  lacks "$B_OUT" "call started"
  # B has ended: nothing answers there now.
  invite hostb --subject "Anyone?"
  rc_is "invite of nobody" "$A_RC" 1
  in_order "$A_OUT" "address of hostb: 198.18.0.2" "ringing hostb (198.18.0.2)" \
    "unreachable: hostb (198.18.0.2)" \
    "result: 0 accepted, 0 declined, 1 unreachable, 0 without address"
  ;;
timeout)
  start_answer
  invite hostb --subject "Still there?" --timeout 2
  rc_is "invite" "$A_RC" 3
  in_order "$A_OUT" "ringing hostb (198.18.0.2)" "time-out after 2 s; no answer from hostb" \
    "cleaned up"
  read_from B "Invite - RSVP dialog"
  signal B TERM
  finish B
  rc_is "answer" "$B_RC" 0
  in_order "$B_OUT" 'Invite - RSVP dialog: subject "Still there?", from hosta; waiting for an answer' \
    "stopping on SIGTERM" "invitation refused" "cleaned up"
  ;;
arguments)
  # Each refusal's text is cmcall_logic_test's.
  refused "cmcall: no command given" "$CMCALL"
  refused "usage: cmcall answer" "$CMCALL" invite --bogus
  "$CMCALL" --help >"$A_OUT" 2>"$A_ERR" || fail "cmcall --help failed"
  has "$A_OUT" "cmcall invite --dialog [--timeout SECONDS]"
  # Which environment is a desktop is display_test's DisplayChoice.
  refused "cmcall: invite --dialog needs a desktop" \
    env CALLMGR_DISPLAY=headless DISPLAY=:0 "$CMCALL" invite --dialog
  ;;
no_rpcbind)
  # A network of its own and an empty /run: no rpcbind to register with.
  # shellcheck disable=SC2016 # expanded by the inner shell
  refused "cmcall: cannot register with the call manager" \
    unshare --net --mount --propagation private -- bash -c \
    'mount -t tmpfs cmcall-run /run && ip link set lo up && exec "$0" invite hostb' "$CMCALL"
  has "$A_ERR" "CMERR_SERVER, 131); is rpcbind running on this host?"
  ;;
*)
  fail "unknown case"
  ;;
esac
printf 'ok (%s)\n' "$CASE"
