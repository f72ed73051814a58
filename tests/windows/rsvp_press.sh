#!/usr/bin/env bash
# rsvp_press.sh WINDOWS_TREE CONTROL ARG...: on a Windows host, under
# scripts/winhost.sh (whose X server and Wine prefix it uses), cmcall.exe
# ARG... of the x86-64 Windows tree WINDOWS_TREE, and a person in front of
# it who presses CONTROL in the Invite - RSVP window once it shows: a
# click in the middle of the control, placed from the dialog's template as
# Wine's dialog manager lays it out (dialog_controls.exe --pixels), on a
# window that must have the size of that layout.  cmcall.exe's lines go to
# the standard output, this script's complaints to the standard error; the
# exit status is cmcall.exe's, or 1 when the person could not press.
set -uo pipefail

readonly TREE=${1:?Windows tree} CONTROL=${2:?control id}
shift 2
readonly WINE=/usr/lib/wine/wine64 RSVP_DIALOG=500 TITLE="Invite - RSVP"

PROGRAM=""
fail() {
  printf 'rsvp_press: %s\n' "$*" >&2
  if [[ -n $PROGRAM ]]; then
    kill "$PROGRAM" 2>/dev/null
    wait "$PROGRAM"
  fi
  exit 1
}

# The layout comes first: its dialog, a window of the same title, would be
# among the windows that cmcall.exe looks through for its own.
layout=$("$WINE" "$TREE/src/dialog_controls.exe" --pixels "$RSVP_DIALOG" | tr -d '\r') ||
  fail "dialog_controls.exe --pixels $RSVP_DIALOG failed"
size="" position=""
number='(-?[0-9]+)'
while read -r line; do
  if [[ $line =~ ^dialog\ .*\ client\ ([0-9]+\ [0-9]+)$ ]]; then
    size=${BASH_REMATCH[1]}
  elif [[ $line =~ ^control\ $CONTROL\ .*\ rect\ $number\ $number\ $number\ $number$ ]]; then
    position="$(((BASH_REMATCH[1] + BASH_REMATCH[3]) / 2)) $(((BASH_REMATCH[2] + BASH_REMATCH[4]) / 2))"
  fi
done <<<"$layout"
[[ -n $position ]] || fail "no control $CONTROL in dialog $RSVP_DIALOG"

"$WINE" "$TREE/dist/bin/cmcall.exe" "$@" &
PROGRAM=$!
window=$(timeout 60 xdotool search --sync --onlyvisible --name "^$TITLE\$" 2>/dev/null | head -n 1)
[[ $window =~ ^[0-9]+$ ]] || fail "no $TITLE window within 60 s"
WIDTH="" HEIGHT=""
eval "$(xdotool getwindowgeometry --shell "$window")"
[[ "$WIDTH $HEIGHT" == "$size" ]] ||
  fail "the window is ${WIDTH:-?}x${HEIGHT:-?}, its layout ${size/ /x}"
# shellcheck disable=SC2086 # "X Y"
xdotool mousemove --window "$window" $position click 1 || fail "xdotool could not click"

wait "$PROGRAM"
