#!/usr/bin/env bash
# cmcall end to end:  cmcall_test.sh CASE PATH-TO-CMCALL
#
# The cases that need two hosts run on host A of `scripts/testhost.sh pair`
# (CALLMGR_PEER_EXEC reaches host B): cmcall answer on B, cmcall invite on A.
#   accepted      B accepts by itself, twice in a row; A exits 0
#   declined      B presses Decline in its Invite - RSVP dialog; A exits 1
#   unreachable   B has no answering application; A exits 1
#   unknown_host  a name that no hosts file knows; A exits 1
#   mixed         one member accepts, one has no address; A exits 1
#   json          both sides print one valid JSON object per line
#   timeout       nobody answers B's dialog: A exits 3; SIGTERM then ends B
#                 cleanly, declining the open dialog
#   stop          SIGINT ends an idle answering cmcall with exit 0
# Without a pair:
#   arguments     bad command lines exit 2 with a message; --help exits 0
#   no_rpcbind    a host without rpcbind: exit 2 and a message naming rpcbind
set -uo pipefail

readonly CASE=${1:?case} CMCALL=${2:?path to cmcall}
WORK=$(mktemp -d "${TMPDIR:-/tmp}/cmcall-test.XXXXXX")
trap 'rm -rf -- "$WORK"' EXIT
# Standard output (the lines) and standard error of each side.
A_OUT=$WORK/a.out
B_OUT=$WORK/b.out
A_ERR=$WORK/a.err
B_ERR=$WORK/b.err
: >"$A_OUT"
: >"$B_OUT"
: >"$A_ERR"
: >"$B_ERR"
A_RC=""
B_RC=""
B_FD=""
B_SUB=""
B_PID=""

fail() {
  printf 'FAIL (%s): %s\n' "$CASE" "$*"
  printf -- '--- host A (exit %s):\n' "$A_RC"
  cat "$A_OUT" "$A_ERR"
  printf -- '--- host B (exit %s):\n' "$B_RC"
  cat "$B_OUT" "$B_ERR"
  exit 1
}

# shellcheck source=tests/support/checks.sh
. "$(dirname -- "${BASH_SOURCE[0]}")/../support/checks.sh"

# start_answer ARG...: cmcall answer ARG... on host B; returns once it waits
# for invitations.  Its output goes on to B_OUT through read_b / drain_b.
start_answer() {
  [[ -n ${CALLMGR_PEER_EXEC:-} ]] || fail "not on a test host pair"
  # shellcheck disable=SC2086,SC2016 # a command prefix; $$ is the peer shell's
  exec {B_FD}< <($CALLMGR_PEER_EXEC -- bash -c 'echo "pid $$"; exec "$0" answer "$@"' \
    "$CMCALL" "$@" 2>"$B_ERR")
  B_SUB=$!
  local line=""
  read -r -t 30 line <&"$B_FD" || true
  [[ $line == "pid "* ]] || fail "cmcall answer did not start on B"
  B_PID=${line#pid }
  read_b 'waiting for invitations' '"event":"waiting"'
}

# read_b TEXT...: copies B's lines to B_OUT until one contains a TEXT.
read_b() {
  local line text
  while IFS= read -r -t 60 line <&"$B_FD"; do
    printf '%s\n' "$line" >>"$B_OUT"
    for text in "$@"; do
      if [[ $line == *"$text"* ]]; then return 0; fi
    done
  done
  fail "B never printed '$1'"
}

# finish_answer: waits until cmcall answer on B has ended; B_RC is its status.
finish_answer() {
  cat <&"$B_FD" >>"$B_OUT"
  B_RC=0
  wait "$B_SUB" || B_RC=$?
  exec {B_FD}<&-
}

signal_b() {
  # shellcheck disable=SC2086
  $CALLMGR_PEER_EXEC -- kill "-$1" "$B_PID" || fail "cannot signal cmcall on B"
}

# invite ARG...: cmcall invite ARG... on host A; A_RC is its status.
invite() {
  : >"$A_OUT"
  A_RC=0
  "$CMCALL" invite "$@" >"$A_OUT" 2>"$A_ERR" || A_RC=$?
}

case $CASE in
accepted)
  start_answer --auto-accept --count 2
  invite "Bob <bob@hostb>" --subject "Design review"
  rc_is "invite" "$A_RC" 0
  in_order "$A_OUT" "registered as application 1 on hosta" "inviting bob@hostb (session 1)" \
    'call started: session 1, subject "Design review", 2 members' \
    "address of bob@hostb: 198.18.0.2" "ringing bob@hostb (198.18.0.2)" \
    "accepted by bob@hostb (198.18.0.2)" \
    "result: 1 accepted, 0 declined, 0 unreachable, 0 without address" "cleaned up"
  # B is idle again once it closed the first call's session, so it takes the
  # second.
  cp "$A_OUT" "$WORK/a1.out"
  read_b "session 1 closed, ready for the next invitation"
  invite hostb
  rc_is "second invite" "$A_RC" 0
  has "$A_OUT" "accepted by hostb (198.18.0.2)"
  has "$A_OUT" "no subject"
  finish_answer
  rc_is "answer" "$B_RC" 0
  in_order "$B_OUT" "registered as application 1 on hostb" "waiting for invitations" \
    'call started: session 1, subject "Design review", 2 members' \
    "session 1 closed, ready for the next invitation" "call started: session 2, no subject" \
    "session 2 closed" "cleaned up"
  # The caller waited for its own address, so the call names its originator.
  has "$WORK/a1.out" "from 198.18.0.1, udp ports"
  has "$B_OUT" "from 198.18.0.1, udp ports"
  [[ $(grep -c 'call started' "$B_OUT") == 2 ]] || fail "B did not start two calls"
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
  lacks "$A_OUT" "accepted by"
  finish_answer
  rc_is "answer" "$B_RC" 0
  in_order "$B_OUT" 'Invite - RSVP dialog: subject "Lunch?", from hosta; pressing Decline' \
    "invitation refused" "cleaned up"
  lacks "$B_OUT" "call started"
  ;;
unreachable)
  invite hostb --subject "Anyone?"
  rc_is "invite" "$A_RC" 1
  in_order "$A_OUT" "address of hostb: 198.18.0.2" "ringing hostb (198.18.0.2)" \
    "unreachable: hostb (198.18.0.2)" \
    "result: 0 accepted, 0 declined, 1 unreachable, 0 without address"
  ;;
unknown_host)
  invite nosuchhost --subject "Hello?"
  rc_is "invite" "$A_RC" 1
  in_order "$A_OUT" "call started: session 1" "no address: nosuchhost" \
    "result: 0 accepted, 0 declined, 0 unreachable, 1 without address"
  lacks "$A_OUT" "ringing"
  ;;
mixed)
  start_answer --auto-accept --count 1
  invite "Bob <bob@hostb>" "nobody@nosuchhost" --subject "Two of us"
  rc_is "invite" "$A_RC" 1
  has "$A_OUT" "inviting bob@hostb (session 1)"
  has "$A_OUT" "inviting nobody@nosuchhost (session 2)"
  has "$A_OUT" "accepted by bob@hostb (198.18.0.2)"
  has "$A_OUT" "no address: nobody@nosuchhost"
  has "$A_OUT" "result: 1 accepted, 0 declined, 0 unreachable, 1 without address"
  finish_answer
  rc_is "answer" "$B_RC" 0
  ;;
json)
  start_answer --auto-accept --count 1 --json
  invite 'Bob "B" <bob@hostb>' --subject $'tab\there "quoted" \\ caf\xe9' --json
  rc_is "invite" "$A_RC" 0
  finish_answer
  rc_is "answer" "$B_RC" 0
  python3 - "$A_OUT" "$B_OUT" <<'EOF' || fail "JSON lines"
import json, sys
a = [json.loads(l) for l in open(sys.argv[1], encoding="utf-8")]
b = [json.loads(l) for l in open(sys.argv[2], encoding="utf-8")]
want = ["registered", "inviting", "call-started", "address", "ringing", "accepted",
        "result", "cleaned-up"]
got = [e["event"] for e in a]
pos = [got.index(w) for w in want]
assert pos == sorted(pos), got
started = a[got.index("call-started")]
assert started["subject"] == 'tab\there "quoted" \\ caf\u00e9', started
assert started["count"] == 2 and len(started["members"]) == 2, started
acc = a[got.index("accepted")]
assert acc["member"] == "bob@hostb" and acc["addr"] == "198.18.0.2", acc
assert a[got.index("result")]["exit"] == 0
assert all(e["time"][2] == ":" for e in a + b)
bev = [e["event"] for e in b]
assert "call-started" in bev and "session-closed" in bev and bev[-1] == "cleaned-up", bev
assert b[bev.index("call-started")]["subject"] == started["subject"]
EOF
  ;;
timeout)
  start_answer
  invite hostb --subject "Still there?" --timeout 2
  rc_is "invite" "$A_RC" 3
  in_order "$A_OUT" "ringing hostb (198.18.0.2)" "time-out after 2 s; no answer from hostb" \
    "cleaned up"
  read_b "Invite - RSVP dialog"
  signal_b TERM
  finish_answer
  rc_is "answer" "$B_RC" 0
  in_order "$B_OUT" 'Invite - RSVP dialog: subject "Still there?", from hosta; waiting for an answer' \
    "stopping on SIGTERM" "invitation refused" "cleaned up"
  ;;
stop)
  start_answer --auto-accept
  invite hostb
  rc_is "invite" "$A_RC" 0
  read_b "ready for the next invitation"
  signal_b INT
  finish_answer
  rc_is "answer" "$B_RC" 0
  in_order "$B_OUT" "call started" "stopping on SIGINT" "cleaned up"
  ;;
arguments)
  check_usage() {
    local want_rc=$1 want_text=$2 rc=0
    shift 2
    "$CMCALL" "$@" >"$A_OUT" 2>"$A_ERR" || rc=$?
    [[ $rc == "$want_rc" ]] || fail "cmcall $* exited $rc, not $want_rc"
    if ((want_rc == 0)); then has "$A_OUT" "$want_text"; else has "$A_ERR" "$want_text"; fi
  }
  check_usage 2 "cmcall: no command given" 
  check_usage 2 "cmcall: unknown option '--bogus'" answer --bogus
  check_usage 2 "usage: cmcall answer" invite --bogus
  check_usage 2 "cmcall: invite needs at least one address" invite --json
  check_usage 2 "exclude each other" answer --auto-accept --decline
  check_usage 2 "--count wants a whole number" answer --count 0
  check_usage 0 "usage: cmcall answer" --help
  ;;
no_rpcbind)
  # A network of its own and an empty /run: no rpcbind to register with.
  rc=0
  # shellcheck disable=SC2016 # expanded by the inner shell
  unshare --net --mount --propagation private -- bash -c \
    'mount -t tmpfs cmcall-run /run && ip link set lo up && exec "$0" invite hostb' \
    "$CMCALL" >"$A_OUT" 2>"$A_ERR" || rc=$?
  A_RC=$rc
  rc_is "invite without rpcbind" "$rc" 2
  has "$A_ERR" "cmcall: cannot register with the call manager"
  has "$A_ERR" "CMERR_SERVER, 131); is rpcbind running on this host?"
  [[ ! -s $A_OUT ]] || fail "standard output is not empty"
  ;;
*)
  fail "unknown case"
  ;;
esac
printf 'ok (%s)\n' "$CASE"
