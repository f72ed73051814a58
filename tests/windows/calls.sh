#!/usr/bin/env bash
# cmcall.exe (callmgr.dll under Wine) and Linux cmcall on a pair of test
# hosts: A, where this runs, is the Windows host, B the Linux one.
#   calls.sh CASE CMCALL WINDOWS_BIN PREFIX
# CMCALL is Linux cmcall, WINDOWS_BIN the folder of cmcall.exe and
# callmgr.dll, PREFIX the Wine prefix that A's own is copied from.
#   win_invites   cmcall.exe invites B, whose cmcall accepts by itself
#   win_answers   B's cmcall invites A, whose cmcall.exe accepts by itself
#   unreachable   cmcall.exe invites B, where nothing answers, and an
#                 address of the hosts' network that no host has
#   unknown_host  cmcall.exe invites a host that no name service knows
#   portmapper    A has no rpcbind (run with testhost.sh pair --a-no-rpcbind):
#                 cmcall.exe's library serves the port mapper, which
#                 rpcinfo on B lists with the call program, and B's call
#                 is accepted
# Every case but the last runs twice, Linux cmcall in A's role first: each
# side's --json lines, times and ports masked, and its exit status must be
# the same both times.
set -uo pipefail

readonly CASE=${1:?case} CMCALL=${2:?Linux cmcall} WINDOWS_BIN=${3:?cmcall.exe folder}
readonly MASTER_PREFIX=${4:?Wine prefix}
readonly WINE=/usr/lib/wine/wine64
ROOT=$(cd "$(dirname -- "${BASH_SOURCE[0]}")/../.." && pwd)
readonly ROOT
# shellcheck source=tests/support/checks.sh
. "$ROOT/tests/support/checks.sh"

WORK=$(mktemp -d "${TMPDIR:-/tmp}/callmgr-wine.XXXXXX")
A_SUB="" B_SUB=""
cleanup() {
  [[ -n $A_SUB ]] && kill "$A_SUB" 2>/dev/null
  [[ -n $B_SUB ]] && kill "$B_SUB" 2>/dev/null
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

# on_a KIND ARG...: cmcall ARG... on A, Linux cmcall (KIND linux) or
# cmcall.exe (KIND windows, A being a Windows host while it runs).
on_a() {
  local kind=$1
  shift
  if [[ $kind == windows ]]; then
    bash "$ROOT/scripts/winhost.sh" "$MASTER_PREFIX" -- "$WINE" "$WINDOWS_BIN/cmcall.exe" "$@"
  else
    "$CMCALL" "$@"
  fi
}

on_b() {
  # shellcheck disable=SC2086 # a command prefix
  $CALLMGR_PEER_EXEC -- "$CMCALL" "$@"
}

# answering SIDE KIND ARG...: cmcall answer ARG... on SIDE in the background,
# its lines to RUN.SIDE.out, once it waits for invitations.
answering() {
  local side=$1 kind=$2 out=$WORK/$RUN.$1.out line fd
  shift 2
  : >>"$out"
  if [[ $side == a ]]; then
    (
      on_a "$kind" answer "$@" --json >>"$out" 2>&1
      echo "exit $?" >>"$out"
    ) &
    A_SUB=$!
    exec {fd}< <(exec tail -n +1 -f --pid="$A_SUB" "$out")
  else
    exec {fd}< <(on_b answer "$@" --json 2>&1; echo "exit $?")
    B_SUB=$!
  fi
  ANSWER_FD=$fd ANSWER_SIDE=$side
  while IFS= read -r -t 90 line <&"$fd"; do
    [[ $side == b ]] && printf '%s\n' "$line" >>"$out"
    [[ $line == *'"event":"waiting"'* ]] && return 0
    [[ $line == "exit "* ]] && break
  done
  fail "cmcall answer on $side never waited for invitations"
}

# answered: the answering side, to its end.
answered() {
  local out=$WORK/$RUN.$ANSWER_SIDE.out
  if [[ $ANSWER_SIDE == a ]]; then
    timeout 90 cat <&"$ANSWER_FD" >/dev/null
  else
    timeout 90 cat <&"$ANSWER_FD" >>"$out"
  fi
  exec {ANSWER_FD}<&-
  A_SUB="" B_SUB=""
}

# inviting SIDE KIND ARG...: cmcall invite ARG... on SIDE, to its end.
inviting() {
  local side=$1 kind=$2 rc=0 out=$WORK/$RUN.$1.out
  shift 2
  if [[ $side == a ]]; then
    on_a "$kind" invite "$@" --json >>"$out" 2>&1 || rc=$?
  else
    on_b invite "$@" --json >>"$out" 2>&1 || rc=$?
  fi
  printf 'exit %s\n' "$rc" >>"$out"
}

# listed_on_a: A has no rpcbind, so the port mapper that answers there is
# the library's, while cmcall.exe is registered; rpcinfo on B lists it
# with the call program.
listed_on_a() {
  local out=$WORK/rpcinfo.b.out
  # shellcheck disable=SC2086 # a command prefix
  $CALLMGR_PEER_EXEC -- rpcinfo -p hosta >"$out" 2>&1 || fail "rpcinfo -p hosta on B failed"
  grep -Eq '^ +100000 +2 +udp +111 ' "$out" || fail "no port mapper on udp port 111 of A"
  grep -Eq '^ +100000 +2 +tcp +111 ' "$out" || fail "no port mapper on tcp port 111 of A"
  grep -Eq '^ +391010 +1 +udp ' "$out" || fail "391010 is not listed on udp"
  grep -Eq '^ +391010 +1 +tcp ' "$out" || fail "391010 is not listed on tcp"
}

# exchange KIND: the case with KIND's cmcall on A; RUN names its files.
exchange() {
  local kind=$1
  RUN=$kind
  case $CASE in
  win_invites)
    answering b linux --auto-accept --count 1
    inviting a "$kind" "Bob <bob@hostb>" --subject "Design review"
    answered
    ;;
  win_answers | portmapper)
    answering a "$kind" --auto-accept --count 1
    if [[ $CASE == portmapper ]]; then listed_on_a; fi
    inviting b linux "Alice <alice@hosta>" --subject "Design review"
    answered
    ;;
  unreachable)
    inviting a "$kind" hostb --subject "Anyone?"
    inviting a "$kind" 198.18.0.77
    ;;
  unknown_host)
    inviting a "$kind" nobody@nosuchhost
    ;;
  *) fail "unknown case" ;;
  esac
}

# masked FILE: its lines with what differs from run to run masked.
masked() {
  sed -E -e 's/"time":"[0-9:.]+"/"time":"T"/' -e 's/"udp_ports":\[[0-9]+,[0-9]+\]/"udp_ports":[P,P]/' \
    -e 's/"tcp_port":[0-9]+/"tcp_port":P/' "$1"
}

same_as_linux() {
  local side
  for side in a b; do
    [[ -e $WORK/linux.$side.out ]] || continue
    diff -u <(masked "$WORK/linux.$side.out") <(masked "$WORK/windows.$side.out") ||
      fail "host $side's lines differ between Linux cmcall and cmcall.exe on A"
  done
}

if [[ $CASE != portmapper ]]; then
  exchange linux
fi
exchange windows
# A Windows console program's lines end in CR LF (text mode).
sed -i 's/\r$//' "$WORK"/*.out

# What each case must show, whichever program ran it.
a=$WORK/windows.a.out b=$WORK/windows.b.out
case $CASE in
win_invites)
  in_order "$a" '"event":"ringing","session":1,"member":"bob@hostb","addr":"198.18.0.2"' \
    '"event":"accepted","session":1,"member":"bob@hostb","addr":"198.18.0.2"' \
    '"accepted":1,"declined":0,"unreachable":0,"no_address":0' '"event":"cleaned-up"' 'exit 0'
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
esac

if [[ $CASE != portmapper ]]; then same_as_linux; fi
for f in "$WORK"/windows.*.out "$WORK"/rpcinfo.*.out; do
  [[ -e $f ]] || continue
  printf -- '--- %s:\n' "${f##*/}"
  cat "$f"
done
printf 'ok (%s)\n' "$CASE"
