#!/usr/bin/env bash
# cmcall on a desktop, with a real call between two hosts:
#   cmcall_desktop_test.sh CASE PATH-TO-CMCALL PATH-TO-DIALOG_LAYOUT
#
# All but `arguments` run on host A of `scripts/testhost.sh pair` (CALLMGR_PEER_EXEC reaches host
# B).  Host A has an X server of its own (Xvfb on a display it picks itself),
# and its cmcall shows the library's dialogs there as real windows
# (CALLMGR_DISPLAY=live) and rings into SDL's disk audio driver; xdotool is
# the person in front of it.
#   rsvp_accept    B invites A's user; the Invite - RSVP window appears on A
#                  and a click on its Accept button answers: B hears the
#                  acceptance, A reports the call
#   rsvp_decline   the same, declined from the keyboard (Tab to Decline,
#                  Enter): B hears the refusal, A reports it
#   invite_dialog_close  the Invite window's Close button places no call
#                  (exit 2); SIGTERM while the window is open closes it and
#                  ends cmcall (exit 143)
#   arguments      what invite --dialog refuses (no host, no X server)
#   invite_dialog  A runs cmcall invite --dialog: the Invite window appears,
#                  xdotool types two members and a subject and clicks Call;
#                  B's member accepts, the one of an unknown host has no
#                  address, each reported for its own address
# Exits 77 (skipped) with a message when Xvfb or the tools are missing or the
# server does not start.  Nothing waits a fixed time: every wait is for a line
# of output, a window, or a process, each with a bound.
set -uo pipefail

readonly CASE=${1:?case} CMCALL=${2:?path to cmcall} LAYOUT=${3:?path to dialog_layout}
readonly SKIP=77
# The library's dialog and control ids (resource script).
readonly RSVP_DIALOG=500 RSVP_ACCEPT=6 RSVP_DECLINE=7
readonly INVITE_DIALOG=100 INVITE_ADDRESS=102 INVITE_NAME=105 INVITE_SUBJECT=107
readonly INVITE_CALL=110 INVITE_ADD=111 INVITE_CLOSE=2

WORK=$(mktemp -d "${TMPDIR:-/tmp}/cmcall-desktop.XXXXXX")
XVFB_PID=""
A_FD=""
A_SUB=""
A_PID=""
A_RC=""
B_FD=""
B_SUB=""
B_RC=""
A_OUT=$WORK/a.out
A_ERR=$WORK/a.err
B_OUT=$WORK/b.out
B_ERR=$WORK/b.err
: >"$A_OUT"
: >"$A_ERR"
: >"$B_OUT"
: >"$B_ERR"

cleanup() {
  # Whatever is left of ours, by PID; the host's end takes the rest.
  [[ -n $B_SUB ]] && kill "$B_SUB" 2>/dev/null
  [[ -n $A_SUB ]] && kill "$A_SUB" 2>/dev/null
  if [[ -n $XVFB_PID ]]; then
    kill "$XVFB_PID" 2>/dev/null
    wait "$XVFB_PID" 2>/dev/null
  fi
  rm -rf -- "$WORK"
}
trap cleanup EXIT

fail() {
  printf 'FAIL (%s): %s\n' "$CASE" "$*"
  printf -- '--- host A (exit %s):\n' "$A_RC"
  cat "$A_OUT" "$A_ERR"
  printf -- '--- host B (exit %s):\n' "$B_RC"
  cat "$B_OUT" "$B_ERR"
  exit 1
}
skip() {
  printf 'SKIP (%s): %s\n' "$CASE" "$*"
  exit "$SKIP"
}

# shellcheck source=tests/support/checks.sh
. "$(dirname -- "${BASH_SOURCE[0]}")/../support/checks.sh"

# ------------------------------------------------------------------ X server

# Starts Xvfb on a display number it chooses itself and sets DISPLAY; skips
# the test when that cannot be done.
start_xvfb() {
  local tool
  for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || skip "$tool is not installed (packages xvfb, xdotool)"
  done
  local fifo=$WORK/displayfd number=""
  mkfifo "$fifo" || skip "no fifo for Xvfb"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$fifo" \
    </dev/null >/dev/null 2>"$WORK/xvfb.err" &
  XVFB_PID=$!
  # The server writes its display number once it accepts connections; its
  # end closes the fifo, so a failed start ends the read too.
  read -r -t 30 number <"$fifo" || true
  if [[ ! $number =~ ^[0-9]+$ ]]; then
    kill "$XVFB_PID" 2>/dev/null
    wait "$XVFB_PID" 2>/dev/null
    XVFB_PID=""
    skip "Xvfb did not start: $(head -c 300 "$WORK/xvfb.err")"
  fi
  export DISPLAY=:$number
}

# find_window TITLE: the X window of that exact title once it is shown,
# waiting at most 30 s; WINDOW is its id.
find_window() {
  WINDOW=$(timeout 30 xdotool search --sync --onlyvisible --name "^$1\$" 2>/dev/null |
    head -n 1)
  [[ $WINDOW =~ ^[0-9]+$ ]] || fail "no window named '$1' within 30 s"
}

# place DIALOG CONTROL...: sets POS[control] to the middle of each control in
# the window's own coordinates, from the dialog's template, and checks that
# the window on the screen has the template's size.
declare -A POS
place() {
  local dialog=$1 line word id x y width="" height=""
  shift
  local layout
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

# focus: keyboard input goes to the window.
focus() { xdotool windowfocus --sync "$WINDOW" || fail "xdotool could not focus the window"; }

# ------------------------------------------------------------------ cmcall

# A's cmcall on the desktop: its dialogs are windows on our X server, its
# rings go to a file.
live_env() {
  env CALLMGR_DISPLAY=live CALLMGR_SOUND=on SDL_AUDIODRIVER=disk \
    SDL_DISKAUDIOFILE="$WORK/audio.raw" "$@"
}

# start_a ARG...: cmcall ARG... on host A, live; returns at once.  Its lines
# are copied to A_OUT by read_a and finish.
start_a() {
  # shellcheck disable=SC2016 # $$ is the inner shell's, which becomes cmcall
  exec {A_FD}< <(live_env bash -c 'echo "pid $$"; exec "$0" "$@"' "$CMCALL" "$@" 2>"$A_ERR")
  A_SUB=$!
  local line=""
  read -r -t 30 line <&"$A_FD" || true
  [[ $line == "pid "* ]] || fail "cmcall did not start on A"
  A_PID=${line#pid }
}

# start_b ARG...: cmcall ARG... on host B; returns at once.  Its lines are
# copied to B_OUT by read_b and finish.
start_b() {
  [[ -n ${CALLMGR_PEER_EXEC:-} ]] || fail "not on a test host pair"
  # shellcheck disable=SC2086 # a command prefix
  # shellcheck disable=SC2034 # read through read_from and finish
  exec {B_FD}< <($CALLMGR_PEER_EXEC -- "$CMCALL" "$@" 2>"$B_ERR")
  B_SUB=$!
}

# read_from A|B TEXT: copies that host's lines to its output file until one
# contains TEXT.
read_from() {
  local fd_var=${1}_FD out_var=${1}_OUT line
  while IFS= read -r -t 60 line <&"${!fd_var}"; do
    printf '%s\n' "$line" >>"${!out_var}"
    [[ $line == *"$2"* ]] && return 0
  done
  fail "$1 never printed '$2'"
}
read_a() { read_from A "$1"; }
read_b() { read_from B "$1"; }

# finish A|B: waits until that host's cmcall has ended; A_RC or B_RC is its
# status.
finish() {
  local fd_var=${1}_FD out_var=${1}_OUT sub_var=${1}_SUB rc=0
  cat <&"${!fd_var}" >>"${!out_var}"
  wait "${!sub_var}" || rc=$?
  printf -v "${1}_RC" '%s' "$rc"
  printf -v "$sub_var" '%s' ""
  eval "exec {$fd_var}<&-"
}

# ------------------------------------------------------------------ cases

USER_A=$(id -un) || fail "no user name"
readonly USER_A

case $CASE in
arguments)
  # What --dialog refuses, before anything is registered.
  check_refusal() {
    local want=$1 rc=0
    shift
    "$@" >"$A_OUT" 2>"$A_ERR" || rc=$?
    A_RC=$rc
    rc_is "$*" "$rc" 2
    has "$A_ERR" "$want"
    [[ ! -s $A_OUT ]] || fail "standard output is not empty"
  }
  check_refusal "cmcall: --dialog takes no address ('hostb'): they are typed in the Invite dialog" \
    "$CMCALL" invite --dialog hostb
  check_refusal "cmcall: --dialog takes no --subject: it is typed in the Invite dialog" \
    "$CMCALL" invite --subject x --dialog
  check_refusal "cmcall: '--dialog' is not an option of answer" "$CMCALL" answer --dialog
  check_refusal "cmcall: invite --dialog needs a desktop" \
    env CALLMGR_DISPLAY=headless DISPLAY=:0 "$CMCALL" invite --dialog
  check_refusal "cmcall: invite --dialog needs a desktop" \
    env -u CALLMGR_DISPLAY -u DISPLAY -u WAYLAND_DISPLAY "$CMCALL" invite --dialog
  check_refusal "cmcall: invite --dialog needs a desktop" \
    env CALLMGR_DISPLAY=bogus DISPLAY= WAYLAND_DISPLAY= "$CMCALL" invite --dialog
  A_RC=0
  "$CMCALL" --help >"$A_OUT" 2>"$A_ERR" || A_RC=$?
  rc_is "--help" "$A_RC" 0
  has "$A_OUT" "cmcall invite --dialog [--timeout SECONDS] [--json] [--sound FILE]"
  ;;
rsvp_accept | rsvp_decline)
  start_xvfb
  start_a answer --count 1
  read_a "waiting for invitations"
  start_b invite "$USER_A@hosta" --subject "Desk check" --timeout 60
  find_window "Invite - RSVP"
  read_a "Invite - RSVP dialog: subject"
  has "$A_OUT" 'Invite - RSVP dialog: subject "Desk check", from hostb; waiting for an answer'
  place "$RSVP_DIALOG" "$RSVP_ACCEPT" "$RSVP_DECLINE"
  if [[ $CASE == rsvp_accept ]]; then
    click "$RSVP_ACCEPT"
  else
    # The focus starts on Accept; Tab moves it to Decline, Enter presses it.
    focus
    xdotool key Tab Return || fail "xdotool could not press keys"
  fi
  finish B
  finish A
  rc_is "answer on A" "$A_RC" 0
  if [[ $CASE == rsvp_accept ]]; then
    rc_is "invite on B" "$B_RC" 0
    in_order "$B_OUT" "inviting $USER_A@hosta (session 1)" "ringing $USER_A@hosta (198.18.0.1)" \
      "accepted by $USER_A@hosta (198.18.0.1)" \
      "result: 1 accepted, 0 declined, 0 unreachable, 0 without address"
    in_order "$A_OUT" "waiting for invitations" "Invite - RSVP dialog: subject" \
      'call started: session 1, subject "Desk check", 2 members' \
      "session 1 closed, ready for the next invitation" "cleaned up"
    lacks "$A_OUT" "invitation refused"
  else
    rc_is "invite on B" "$B_RC" 1
    in_order "$B_OUT" "ringing $USER_A@hosta (198.18.0.1)" \
      "declined by $USER_A@hosta (198.18.0.1)" \
      "result: 0 accepted, 1 declined, 0 unreachable, 0 without address"
    in_order "$A_OUT" "Invite - RSVP dialog: subject" "invitation refused" "cleaned up"
    lacks "$A_OUT" "call started"
  fi
  # The dialog rang on A's desktop while it was open.
  [[ -s $WORK/audio.raw ]] || fail "nothing was played into SDL's disk audio file"
  # The dialog is gone from the screen once answered.
  [[ -z $(xdotool search --onlyvisible --name '^Invite - RSVP$' 2>/dev/null) ]] ||
    fail "the Invite - RSVP window is still shown"
  ;;
invite_dialog)
  start_xvfb
  start_b answer --auto-accept --count 1
  read_b "waiting for invitations"
  start_a invite --dialog --timeout 60
  find_window "Invite"
  read_a "Invite dialog open for session 1"
  place "$INVITE_DIALOG" "$INVITE_ADDRESS" "$INVITE_NAME" "$INVITE_SUBJECT" "$INVITE_ADD" \
    "$INVITE_CALL"
  focus
  # Two members: one added with Add, the other typed and taken by Call.
  click "$INVITE_ADDRESS"
  xdotool type --delay 5 'bob@hostb' || fail "xdotool could not type"
  click "$INVITE_NAME"
  xdotool type --delay 5 'Bob' || fail "xdotool could not type"
  click "$INVITE_ADD"
  click "$INVITE_ADDRESS"
  xdotool type --delay 5 'nobody@nosuchhost' || fail "xdotool could not type"
  click "$INVITE_SUBJECT"
  xdotool type --delay 5 'Typed on a desktop' || fail "xdotool could not type"
  click "$INVITE_CALL"
  finish A
  finish B
  rc_is "invite --dialog on A" "$A_RC" 1
  rc_is "answer on B" "$B_RC" 0
  in_order "$A_OUT" "Invite dialog open for session 1" \
    'call started: session 1, subject "Typed on a desktop", 3 members' \
    "inviting bob@hostb (session 1)" "inviting nobody@nosuchhost (session 1)"
  has "$A_OUT" "no address: nobody@nosuchhost"
  in_order "$A_OUT" "address of bob@hostb: 198.18.0.2" "ringing bob@hostb (198.18.0.2)" \
    "accepted by bob@hostb (198.18.0.2)" \
    "result: 1 accepted, 0 declined, 0 unreachable, 1 without address" "cleaned up"
  in_order "$B_OUT" 'call started: session 1, subject "Typed on a desktop"' \
    "session 1 closed" "cleaned up"
  [[ -z $(xdotool search --onlyvisible --name '^Invite$' 2>/dev/null) ]] ||
    fail "the Invite window is still shown"
  ;;
invite_dialog_close)
  start_xvfb
  start_a invite --dialog
  find_window "Invite"
  read_a "Invite dialog open for session 1"
  place "$INVITE_DIALOG" "$INVITE_CLOSE"
  click "$INVITE_CLOSE"
  finish A
  rc_is "invite --dialog closed" "$A_RC" 2
  has "$A_ERR" "cmcall: no call placed from the Invite dialog: cancelled (CMERR_CANCELLED, 144)"
  has "$A_OUT" "cleaned up"
  lacks "$A_OUT" "call started"
  # Stopped while the person still types: the window goes, cmcall ends.
  : >"$A_OUT"
  start_a invite --dialog --json
  find_window "Invite"
  read_a '"event":"dialog"'
  kill -TERM "$A_PID" || fail "cannot signal cmcall on A"
  finish A
  rc_is "invite --dialog stopped" "$A_RC" 143
  in_order "$A_OUT" '"event":"stopping","signal":"SIGTERM"' '"event":"cleaned-up"'
  lacks "$A_OUT" "call-started"
  [[ -z $(xdotool search --onlyvisible --name '^Invite$' 2>/dev/null) ]] ||
    fail "the Invite window is still shown"
  ;;
*)
  fail "unknown case"
  ;;
esac
printf 'ok (%s)\n' "$CASE"
