#!/usr/bin/env bash
# A conference grown by a Windows host on a net of three test hosts: host 1,
# where this runs, is the Windows host, whose cmconference.exe (callmgr.dll
# under Wine) invites bob on host 2 and, once he has joined, adds carol on
# host 3 in the Invite dialog.  Hosts 2 and 3 are Linux hosts whose call
# peers (tests/api/call_peer.cpp) answer: bob stays in the call until the
# member list grows, carol reads the Invite - RSVP dialog and accepts.  Each
# side must see what it sees when host 1 is a Linux host
# (tests/ui/conference_test.cpp): bob gets the list of three before carol
# is invited, carol's dialog shows all three.
#   conference.sh WINDOWS_TREE CALL_PEER
# WINDOWS_TREE is the x86-64 Windows tree that scripts/wintree.sh made
# (cmconference.exe beside callmgr.dll in its src, the Wine prefix that
# host 1's own is copied from), CALL_PEER the Linux call peer.
set -uo pipefail

readonly CASE=conference WINDOWS_TREE=${1:?Windows tree} CALL_PEER=${2:?call peer}
# shellcheck source=tests/windows/harness.sh
. "$(dirname -- "${BASH_SOURCE[0]}")/harness.sh"

# peer HOST MODE: the call peer on HOST in MODE, its lines to HOST.out,
# once it is ready.
peer() {
  local host=$1 out=$WORK/host$1.out line fd
  exec {fd}< <($CALLMGR_NET_EXEC "$host" -- timeout 90 "$CALL_PEER" "$2" 2>&1; echo "exit $?")
  SUBS+=("$!")
  PEER_FDS[$host]=$fd
  while IFS= read -r -t 60 line <&"$fd"; do
    printf '%s\n' "$line" >>"$out"
    [[ $line == "ready host$host" ]] && return 0
  done
  fail "the call peer on host $host never got ready"
}

# peer_done HOST: the call peer on HOST, to its end.
peer_done() {
  timeout 90 cat <&"${PEER_FDS[$1]}" >>"$WORK/host$1.out"
}

declare -A PEER_FDS
peer 2 stay
peer 3 rsvp
rc=0
timeout -k 10 120 bash "$ROOT/scripts/winhost.sh" "$WINDOWS_TREE/wineprefix" -- \
  /usr/lib/wine/wine64 "$WINDOWS_TREE/src/cmconference.exe" "Bob <bob@host2.callmgr.test>" \
  "Carol <carol@host3.callmgr.test>" Growing >"$WORK/host1.out" 2>&1 || rc=$?
echo "exit $rc" >>"$WORK/host1.out"
peer_done 2
peer_done 3
# A Windows console program's lines end in CR LF (text mode).
sed -i 's/\r$//' "$WORK/host1.out"

# Host 1: bob rang and joined; carol was added, bob was sent the new list
# (updating) before carol rang, and she joined.
in_order "$WORK/host1.out" 'ready host1' 'invite-user 0' 'note 1 session=1 count=2' \
  'note 51 session=1 addr=020012c6' 'note 2 session=1 addr=020012c6' 'invite 0' \
  'note 53 session=1 count=3' 'note 52 session=1 addr=020012c6' \
  'note 51 session=1 addr=030012c6' 'note 2 session=1 addr=030012c6' 'cleanup 0' 'exit 0'
# Bob: the call of two, then the member list of three with carol in it.
in_order "$WORK/host2.out" 'started size=948 ' 'updated size=1144 ' 'cleanup 0' 'exit 0'
has "$WORK/host2.out" ' subject=Growing count=3 '
has "$WORK/host2.out" ' carol@host3.callmgr.test/030012c6'
# Carol: the dialog shows all three members, then the call of three.
in_order "$WORK/host3.out" \
  'rsvp subject=Growing from=host1 label=Members: (3) members=Bob Carol host1' \
  'started size=1144 ' 'cleanup 0' 'exit 0'
has "$WORK/host3.out" ' subject=Growing count=3 '
echo "ok (conference)"
