#!/usr/bin/env bash
# cmcall on a desktop, with a real call between two hosts:
#   cmcall_desktop_test.sh CASE PATH-TO-CMCALL PATH-TO-DIALOG_LAYOUT
# on host A of `scripts/testhost.sh pair`, with an X server of its own where
# A's cmcall shows real windows and rings into SDL's disk audio driver;
# xdotool is the person in front of it.
#   rsvp_accept          a click on Accept in A's Invite - RSVP window answers B
#   invite_dialog        the Invite window: two members typed, Call; B's accepts,
#                        the one of an unknown host has no address
#   invite_dialog_close  the Invite window's Close places no call (exit 2);
#                        SIGTERM while it is open closes it (exit 143)
# Exits 77 (skipped) when Xvfb or the tools are missing or it does not start.
set -uo pipefail

readonly CASE=${1:?case} CMCALL=${2:?path to cmcall} LAYOUT=${3:?path to dialog_layout}
# The library's dialog and control ids (resource script).
readonly RSVP_DIALOG=500 RSVP_ACCEPT=6
readonly INVITE_DIALOG=100 INVITE_ADDRESS=102 INVITE_NAME=105 INVITE_SUBJECT=107
readonly INVITE_CALL=110 INVITE_ADD=111 INVITE_CLOSE=2

skip() {
  printf 'SKIP (%s): %s\n' "$CASE" "$*"
  exit 77
}

# shellcheck source=tests/integration/cmcall_sides.sh
. "$(dirname -- "${BASH_SOURCE[0]}")/../integration/cmcall_sides.sh"
# A's cmcall shows its dialogs on our X server and rings into a file.
A_RUN=(env CALLMGR_DISPLAY=live CALLMGR_SOUND=on SDL_AUDIODRIVER=disk
  SDL_DISKAUDIOFILE="$WORK/audio.raw")
XVFB_PID=""
trap '[[ -n $XVFB_PID ]] && kill "$XVFB_PID" 2>/dev/null; cleanup' EXIT

# show TITLE DIALOG CONTROL...: WINDOW is the X window of that exact title
# once it is shown (at most 30 s), which has the size of the template DIALOG;
# POS[control] is the middle of each control in it.
declare -A POS
show() {
  local title=$1 dialog=$2 layout word id x y width="" height=""
  shift 2
  WINDOW=$(timeout 30 xdotool search --sync --onlyvisible --name "^$title\$" 2>/dev/null |
    head -n 1)
  [[ $WINDOW =~ ^[0-9]+$ ]] || fail "no window named '$title' within 30 s"
  layout=$("$LAYOUT" "$dialog" "$@") || fail "dialog_layout $dialog $* failed"
  while read -r word x y; do
    if [[ $word == size ]]; then
      width=$x height=$y
    else
      POS[$word]="$x $y"
    fi
  done <<<"$layout"
  eval "$(xdotool getwindowgeometry --shell "$WINDOW")"
  [[ ${WIDTH:-} == "$width" && ${HEIGHT:-} == "$height" ]] ||
    fail "the window is ${WIDTH:-?}x${HEIGHT:-?}, its template ${width}x${height}"
  for id in "$@"; do [[ -n ${POS[$id]:-} ]] || fail "no position for control $id"; done
}

# click CONTROL: a left click in the middle of the control.
click() {
  # shellcheck disable=SC2086 # "X Y"
  xdotool mousemove --window "$WINDOW" ${POS[$1]} click 1 ||
    fail "xdotool could not click control $1"
}

# type_into CONTROL TEXT
type_into() {
  click "$1"
  xdotool type --delay 5 "$2" || fail "xdotool could not type"
}

# gone TITLE: no window of that title is shown.
gone() {
  [[ -z $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null) ]] ||
    fail "the $1 window is still shown"
}

USER_A=$(id -un) || fail "no user name"
readonly USER_A

# Xvfb on a display number it picks, sent once it takes clients; a failed
# start closes the fifo.
type -P Xvfb xdotool >/dev/null || skip "Xvfb or xdotool is missing (packages xvfb, xdotool)"
mkfifo "$WORK/displayfd" || skip "no fifo for Xvfb"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$WORK/displayfd" \
  </dev/null >/dev/null 2>"$WORK/xvfb.err" &
XVFB_PID=$!
DISPLAY_NUMBER=""
read -r -t 30 DISPLAY_NUMBER <"$WORK/displayfd" || true
[[ $DISPLAY_NUMBER =~ ^[0-9]+$ ]] || skip "Xvfb did not start: $(head -c 300 "$WORK/xvfb.err")"
export DISPLAY=:$DISPLAY_NUMBER

case $CASE in
rsvp_accept)
  start A answer --count 1
  read_from A "waiting for invitations"
  start B invite "$USER_A@hosta" --subject "Desk check" --timeout 60
  show "Invite - RSVP" "$RSVP_DIALOG" "$RSVP_ACCEPT"
  read_from A "Invite - RSVP dialog: subject"
  has "$A_OUT" 'Invite - RSVP dialog: subject "Desk check", from hostb; waiting for an answer'
  click "$RSVP_ACCEPT"
  finish B
  finish A
  rc_is "answer on A" "$A_RC" 0
  rc_is "invite on B" "$B_RC" 0
  has "$B_OUT" "accepted by $USER_A@hosta (198.18.0.1)"
  in_order "$A_OUT" 'call started: session 1, subject "Desk check", 2 members' "cleaned up"
  # The dialog rang on A's desktop while it was open.
  [[ -s $WORK/audio.raw ]] || fail "nothing was played into SDL's disk audio file"
  gone "Invite - RSVP"
  ;;
invite_dialog)
  start B answer --auto-accept --count 1
  read_from B "waiting for invitations"
  start A invite --dialog --timeout 60
  show Invite "$INVITE_DIALOG" "$INVITE_ADDRESS" "$INVITE_NAME" "$INVITE_SUBJECT" "$INVITE_ADD" \
    "$INVITE_CALL"
  read_from A "Invite dialog open for session 1"
  xdotool windowfocus --sync "$WINDOW" || fail "xdotool could not focus the window"
  # Two members: one added with Add, the other typed and taken by Call.
  type_into "$INVITE_ADDRESS" 'bob@hostb'
  type_into "$INVITE_NAME" 'Bob'
  click "$INVITE_ADD"
  type_into "$INVITE_ADDRESS" 'nobody@nosuchhost'
  type_into "$INVITE_SUBJECT" 'Typed on a desktop'
  click "$INVITE_CALL"
  finish A
  finish B
  rc_is "invite --dialog on A" "$A_RC" 1
  rc_is "answer on B" "$B_RC" 0
  in_order "$A_OUT" 'call started: session 1, subject "Typed on a desktop", 3 members' \
    "inviting bob@hostb (session 1)" "inviting nobody@nosuchhost (session 1)"
  in_order "$A_OUT" "accepted by bob@hostb (198.18.0.2)" \
    "result: 1 accepted, 0 declined, 0 unreachable, 1 without address" "cleaned up"
  has "$B_OUT" 'call started: session 1, subject "Typed on a desktop"'
  gone Invite
  ;;
invite_dialog_close)
  start A invite --dialog
  show Invite "$INVITE_DIALOG" "$INVITE_CLOSE"
  read_from A "Invite dialog open for session 1"
  click "$INVITE_CLOSE"
  finish A
  rc_is "invite --dialog closed" "$A_RC" 2
  has "$A_ERR" "cmcall: no call placed from the Invite dialog: cancelled (CMERR_CANCELLED, 144)"
  has "$A_OUT" "cleaned up"
  lacks "$A_OUT" "call started"
  # Stopped while the person still types: the window goes, cmcall ends.
  : >"$A_OUT"
  start A invite --dialog --json
  show Invite "$INVITE_DIALOG"
  read_from A '"event":"dialog"'
  signal A TERM
  finish A
  rc_is "invite --dialog stopped" "$A_RC" 143
  in_order "$A_OUT" '"event":"stopping","signal":"SIGTERM"' '"event":"cleaned-up"'
  lacks "$A_OUT" "call-started"
  gone Invite
  ;;
*)
  fail "unknown case"
  ;;
esac
printf 'ok (%s)\n' "$CASE"
