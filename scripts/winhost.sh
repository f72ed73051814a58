#!/usr/bin/env bash
# Runs a Windows program on a test host, as on a Windows machine of its own.
#
#   winhost.sh PREFIX -- COMMAND [ARG...]
#
# COMMAND (a program under Wine, such as /usr/lib/wine/wine64 prog.exe) runs
# in a Wine prefix of its own, copied from PREFIX (one that wineboot made),
# so that its own wineserver makes its sockets in this host's network: a
# wineserver shared between hosts would put every host's sockets in the
# first one's.  Wine makes windows only with an X server, so it gets an
# Xvfb of its own.  The copy links the prefix's code files (nothing writes
# them) and copies every other file; PREFIX's note of its server's socket
# folder stays behind.  When COMMAND ends, every Wine process of the copy
# ends (they hold COMMAND's descriptors, and a reader of its output would
# wait for them), and the copy and the X server go.  The exit status is
# COMMAND's; 125 means the host could not be set up.
set -uo pipefail

die() {
  printf 'winhost: %s\n' "$*" >&2
  exit 125
}

(($# >= 3)) && [[ $2 == -- ]] || die "usage: winhost.sh PREFIX -- COMMAND [ARG...]"
readonly MASTER=$1
shift 2
[[ -f $MASTER/system.reg ]] || die "$MASTER is no Wine prefix"
command -v Xvfb >/dev/null || die "Xvfb is not installed (package xvfb)"

WORK=$(mktemp -d "${TMPDIR:-/tmp}/callmgr-winhost.XXXXXX") || die "no temporary folder"
readonly PREFIX=$WORK/prefix
X_PID=""
cleanup() {
  if [[ -f $PREFIX/wineserver ]]; then
    WINEPREFIX=$PREFIX /usr/lib/wine/wineserver -k 2>/dev/null
    # Wine keeps its server's socket folder under /tmp, named in the prefix.
    local dir
    dir=$(<"$PREFIX/wineserver")
    [[ $dir == wine-* ]] && rm -rf -- "/tmp/$dir"
  fi
  [[ -n $X_PID ]] && kill "$X_PID" 2>/dev/null
  rm -rf -- "$WORK"
}
trap cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

mkdir "$PREFIX" && cp -al "$MASTER/drive_c" "$MASTER/dosdevices" "$PREFIX/" ||
  die "cannot link the Wine prefix"
(cd "$MASTER" && find . -type f ! -name '*.dll' ! -name '*.exe' ! -name wineserver -print0 |
  xargs -0 cp -p --parents --remove-destination -t "$PREFIX") || die "cannot copy the Wine prefix"

exec {xfd}< <(exec Xvfb -displayfd 1 -nolisten tcp 2>"$WORK/xvfb.log")
X_PID=$!
display=""
read -r -t 30 display <&"$xfd" || true
[[ $display =~ ^[0-9]+$ ]] || die "Xvfb did not start: $(cat "$WORK/xvfb.log")"

# No Mono or Gecko installers, no debugger (a crash ends the program), and no
# sound drivers: a test host has no sound card, and a ring sound is then
# played and forgotten as where no sound device answers.
export WINEPREFIX=$PREFIX DISPLAY=:$display WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml,winealsa.drv,winepulse.drv=;winedbg.exe=d"
# The desktop comes up before the program: Wine starts it for the first
# window a prefix makes and gives it ten seconds, which a loaded machine can
# take, and the program's first window would then fail.  Made by a program
# of Wine's own (one that makes a window) on a server kept until the end.
/usr/lib/wine/wineserver -p || die "the Wine server did not start"
/usr/lib/wine/wine64 rundll32.exe user32.dll,GetDesktopWindow >/dev/null 2>&1 ||
  die "Wine's desktop did not start"
rc=0
"$@" || rc=$?
exit "$rc"
