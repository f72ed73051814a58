#!/usr/bin/env bash
# cmcall.exe (callmgr.dll under Wine) and Linux cmcall on a pair of test
# hosts: A, where this runs, is the Windows host, B the Linux one.
#   calls.sh CASE CMCALL WINDOWS_TREE FOREIGN_PEER
# CMCALL is Linux cmcall, WINDOWS_TREE the tree that scripts/wintree.sh
# made (cmcall.exe and callmgr.dll in its dist/bin, the Wine prefix that
# A's own is copied from), FOREIGN_PEER the peer that rpcgen and libtirpc
# alone make of the protocol description (tests/foreign/peer.c).  CASE:
#   win_invites     cmcall.exe invites B, whose cmcall accepts by itself
#   win_answers     B's cmcall invites A, whose cmcall.exe accepts by itself
#   unreachable     cmcall.exe invites B, where nothing answers, and an
#                   address of the hosts' network that no host has
#   unknown_host    cmcall.exe invites a host that no name service knows
#   rsvp_decline    B's cmcall invites A, where a person presses Decline in
#                   cmcall.exe's Invite - RSVP window with the mouse (xdotool
#                   on A's X server); Linux cmcall presses it itself
#                   (--decline), which its lines say, and only that differs
#   rpcgen_answers  cmcall.exe invites the rpcgen peer on B, which accepts
#   rpcgen_invites  the rpcgen peer on B invites A, whose cmcall.exe accepts
#   portmapper      A has no rpcbind (testhost.sh pair --a-no-rpcbind):
#                   the library serves the port mapper, which rpcinfo on B
#                   lists with the call program, and B's call is accepted
# Every case but the last runs twice, Linux cmcall in A's role first: each
# side's --json lines, times and ports masked, and its exit status must be
# the same both times.
set -uo pipefail

readonly CASE=${1:?case} CMCALL=${2:?Linux cmcall} WINDOWS_TREE=${3:?Windows tree}
readonly FOREIGN_PEER=${4:?rpcgen peer}
readonly WINDOWS_BIN=$WINDOWS_TREE/dist/bin MASTER_PREFIX=$WINDOWS_TREE/wineprefix
readonly WINE=/usr/lib/wine/wine64
# The Decline button of the Invite - RSVP dialog (resource script).
readonly RSVP_DECLINE=7
# shellcheck source=tests/windows/harness.sh
. "$(dirname -- "${BASH_SOURCE[0]}")/harness.sh"
ANSWER_FD=""

# running SIDE KIND ARG...: on SIDE, KIND's program with ARG...: Linux
# cmcall (linux), cmcall.exe (windows, on A only, A being a Windows host
# while it runs), cmcall.exe with a person who presses Decline in its
# Invite - RSVP window (person, likewise) or the rpcgen peer (foreign, on B
# only).  cmcall's lines are its --json ones.
running() {
  local side=$1 kind=$2 prefix=() winhost=(bash "$ROOT/scripts/winhost.sh" "$MASTER_PREFIX" --)
  shift 2
  local command=("$CMCALL" "$@" --json)
  case $kind in
  windows) command=("${winhost[@]}" "$WINE" "$WINDOWS_BIN/cmcall.exe" "$@" --json) ;;
  person)
    command=("${winhost[@]}" bash "$ROOT/tests/windows/rsvp_press.sh" "$WINDOWS_TREE"
      "$RSVP_DECLINE" "$@" --json)
    ;;
  foreign) command=("$FOREIGN_PEER" "$@") ;;
  esac
  # shellcheck disable=SC2206 # a command prefix
  if [[ $side == b ]]; then prefix=($CALLMGR_PEER_EXEC --); fi
  "${prefix[@]}" "${command[@]}"
}

# answering SIDE KIND ARG...: KIND's program answering (answer ARG...) on
# SIDE in the background, its lines to RUN.SIDE.out, once it waits for
# invitations.
answering() {
  local side=$1 kind=$2 out=$WORK/$RUN.$1.out line fd
  shift 2
  : >>"$out"
  if [[ $side == a ]]; then
    (
      running a "$kind" answer "$@" >>"$out" 2>&1
      echo "exit $?" >>"$out"
    ) &
    SUBS+=("$!")
    exec {fd}< <(exec tail -n +1 -f --pid="${SUBS[-1]}" "$out")
  else
    exec {fd}< <(running b "$kind" answer "$@" 2>&1; echo "exit $?")
    SUBS+=("$!")
  fi
  ANSWER_FD=$fd ANSWER_SIDE=$side
  while IFS= read -r -t 90 line <&"$fd"; do
    [[ $side == b ]] && printf '%s\n' "$line" >>"$out"
    [[ $line == *'"event":"waiting"'* || $line == ready ]] && return 0
    [[ $line == "exit "* ]] && break
  done
  fail "$kind answer on $side never waited for invitations"
}

# inviting SIDE KIND ARG...: KIND's program inviting (invite ARG...) on
# SIDE, to its end; then the answering side, if any, to its end.
inviting() {
  local side=$1 kind=$2 rc=0 out=$WORK/$RUN.$1.out
  shift 2
  running "$side" "$kind" invite "$@" >>"$out" 2>&1 || rc=$?
  printf 'exit %s\n' "$rc" >>"$out"
  [[ -n $ANSWER_FD ]] || return 0
  out=$WORK/$RUN.$ANSWER_SIDE.out
  if [[ $ANSWER_SIDE == a ]]; then out=/dev/null; fi
  timeout 90 cat <&"$ANSWER_FD" >>"$out"
  exec {ANSWER_FD}<&-
  ANSWER_FD="" SUBS=()
}

# listed_on_a: A has no rpcbind, so the port mapper that answers there is
# the library's, while cmcall.exe is registered; rpcinfo on B lists it
# with the call program.
listed_on_a() {
  local out=$WORK/rpcinfo.b.out entry
  # shellcheck disable=SC2086 # a command prefix
  $CALLMGR_PEER_EXEC -- rpcinfo -p hosta >"$out" 2>&1 || fail "rpcinfo -p hosta on B failed"
  for entry in '100000 +2 +udp +111' '100000 +2 +tcp +111' '391010 +1 +udp' '391010 +1 +tcp'; do
    grep -Eq "^ +$entry " "$out" || fail "rpcinfo lists no '$entry' on A"
  done
}

# exchange KIND: the case with KIND's cmcall on A; RUN names its files.
exchange() {
  local kind=$1
  RUN=$kind
  case $CASE in
  win_invites)
    answering b linux --auto-accept --count 1
    inviting a "$kind" "Bob <bob@hostb>" --subject "Design review"
    ;;
  win_answers | portmapper)
    answering a "$kind" --auto-accept --count 1
    if [[ $CASE == portmapper ]]; then listed_on_a; fi
    inviting b linux "Alice <alice@hosta>" --subject "Design review"
    ;;
  unreachable)
    inviting a "$kind" hostb --subject "Anyone?"
    inviting a "$kind" 198.18.0.77
    ;;
  unknown_host)
    inviting a "$kind" nobody@nosuchhost
    ;;
  rsvp_decline)
    if [[ $kind == linux ]]; then
      answering a linux --decline --count 1
    else
      answering a person --count 1
    fi
    inviting b linux "Alice <alice@hosta>" --subject "Desk check"
    ;;
  rpcgen_answers)
    answering b foreign
    inviting a "$kind" "Bob <bob@hostb>" --subject "Design review"
    ;;
  rpcgen_invites)
    answering a "$kind" --auto-accept --count 1
    inviting b foreign hosta alice --subject "From afar"
    ;;
  *) fail "unknown case" ;;
  esac
}

# masked FILE: its lines with what differs from run to run masked; in
# rsvp_decline also who presses Decline, cmcall itself or the person.
masked() {
  local who=()
  if [[ $CASE == rsvp_decline ]]; then
    who=(-e 's/"answer":"(decline|dialog)"/"answer":"A"/' -e 's/"action":"(decline|wait)"/"action":"A"/')
  fi
  sed -E -e 's/"time":"[0-9:.]+"/"time":"T"/' -e 's/"udp_ports":\[[0-9]+,[0-9]+\]/"udp_ports":[P,P]/' \
    -e 's/"tcp_port":[0-9]+/"tcp_port":P/' -e 's|callid=[0-9/]+|callid=C|' "${who[@]}" "$1"
}

if [[ $CASE != portmapper ]]; then exchange linux; fi
exchange windows
# A Windows console program's lines end in CR LF (text mode).
sed -i 's/\r$//' "$WORK"/*.out

# What each case must show, whichever program ran it.
a=$WORK/windows.a.out b=$WORK/windows.b.out
case $CASE in
win_invites | rpcgen_answers)
  in_order "$a" '"event":"ringing","session":1,"member":"bob@hostb","addr":"198.18.0.2"' \
    '"event":"accepted","session":1,"member":"bob@hostb","addr":"198.18.0.2"' \
    '"accepted":1,"declined":0,"unreachable":0,"no_address":0' '"event":"cleaned-up"' 'exit 0'
  ;;&
win_invites)
  in_order "$b" '"event":"call-started","session":1,"subject":"Design review"' \
    '"event":"session-closed","session":1' 'exit 0'
  has "$b" '"originator":"198.18.0.1"'
  ;;
win_answers | portmapper)
  in_order "$b" '"event":"accepted","session":1,"member":"alice@hosta","addr":"198.18.0.1"' \
    '"accepted":1,"declined":0,"unreachable":0,"no_address":0' 'exit 0'
  in_order "$a" '"event":"waiting","answer":"accept","count":1' \
    '"event":"call-started","session":1,"subject":"Design review"' \
    '"event":"session-closed","session":1' '"event":"cleaned-up"' 'exit 0'
  ;;
unreachable)
  in_order "$a" '"event":"ringing","session":1,"member":"hostb","addr":"198.18.0.2"' \
    '"event":"unreachable","session":1,"member":"hostb","addr":"198.18.0.2"' \
    '"accepted":0,"declined":0,"unreachable":1,"no_address":0' 'exit 1'
  has "$a" '"event":"unreachable","session":1,"member":"198.18.0.77","addr":"198.18.0.77"'
  ;;
unknown_host)
  in_order "$a" '"event":"no-address","session":1,"member":"nobody@nosuchhost"' \
    '"accepted":0,"declined":0,"unreachable":0,"no_address":1' 'exit 1'
  lacks "$a" '"event":"ringing"'
  ;;
rsvp_decline)
  in_order "$a" '"event":"waiting","answer":"dialog","count":1' \
    '"event":"rsvp","subject":"Desk check","from":"hostb","action":"wait"' \
    '"event":"invitation-refused","session":0' '"event":"cleaned-up"' 'exit 0'
  lacks "$a" '"event":"call-started"'
  in_order "$b" '"event":"ringing","session":1,"member":"alice@hosta","addr":"198.18.0.1"' \
    '"event":"declined","session":1,"member":"alice@hosta","addr":"198.18.0.1"' \
    '"accepted":0,"declined":1,"unreachable":0,"no_address":0' 'exit 1'
  ;;
rpcgen_answers)
  # The call's id begins with the address of the host that made it, A's.
  in_order "$b" ready 'invite msg=0 callid=3323068417/' 'replied msg=1 host=198.18.0.1 answer=16' \
    'exit 0'
  has "$b" ' subject=Design review seqno=1 members=2 to=bob@hostb from=hosta@hosta.callmgr.test'
  ;;
rpcgen_invites)
  in_order "$b" 'answer 16' \
    'reply msg=1 from=alice@hosta to=foreign@hostb.callmgr.test callid=3323068418/' 'exit 0'
  in_order "$a" '"event":"waiting","answer":"accept","count":1' \
    '"event":"call-started","session":1,"subject":"From afar","count":2' \
    '"event":"session-closed","session":1' '"event":"cleaned-up"' 'exit 0'
  has "$a" '"originator":"198.18.0.2"'
  ;;
esac

for side in a b; do
  [[ -e $WORK/linux.$side.out ]] || continue
  diff -u <(masked "$WORK/linux.$side.out") <(masked "$WORK/windows.$side.out") ||
    fail "host $side's lines differ between Linux cmcall and cmcall.exe on A"
done
printf 'ok (%s)\n' "$CASE"
