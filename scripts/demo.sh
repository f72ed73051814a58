#!/usr/bin/env bash
# The demo: two machines set up a call.
#
#   bash scripts/demo.sh          (as root, or it asks sudo)
#
# Builds cmcall if needed (packages through `scripts/test.sh --deps-only`,
# then cmake in build/, or CALLMGR_BUILD_DIR), makes two isolated hosts linked
# by a network (scripts/testhost.sh pair: hosta 198.18.0.1 and hostb
# 198.18.0.2), and shows five outcomes, with what each side saw:
#   1. an accepted call   hostb answers on its own (cmcall answer --auto-accept)
#   2. a declined call    hostb's user presses Decline in the Invite - RSVP dialog
#   3. unreachable        hostb runs no answering application
#   4. unknown host       a name no hosts file knows
#   5. Windows and Linux  hostb runs cmcall.exe (callmgr.dll under Wine): it
#                         invites hosta, which accepts on its own, and hosta
#                         invites it, and it accepts on its own
# The fifth builds the x86-64 Windows tree in BUILD/build-win64 (the machine
# may run no 32-bit programs; the sources are the same) and needs the
# x86-64 mingw-w64 compiler, wine64 and Xvfb; without them it is skipped.
# The hosts and everything started in them go away when the demo ends,
# however it ends.
set -euo pipefail

cd "$(dirname -- "${BASH_SOURCE[0]}")/.."
readonly ROOT=$PWD

# ------------------------------------------------------------ on host A

# inside CMCALL OUTDIR WINDOWS: runs the cases; host B is reached through
# CALLMGR_PEER_EXEC.  WINDOWS is "BIN PREFIX" (the folder of cmcall.exe, the
# Wine prefix) or "- REASON" when the Windows case is skipped.  Exit 0 when
# every case ended as it should.
inside() {
  local cmcall=$1 out=$2 windows=$3
  local -a results=() b_cmcall=("$cmcall")
  local b_fd="" b_sub="" b_pid="" b_rc a_rc

  show() { # show LABEL FILE (a Windows program's lines end in CR LF)
    local line
    while IFS= read -r line; do printf '  %-6s| %s\n' "$1" "${line%$'\r'}"; done <"$2"
  }

  # answer_on_b ARG...: starts cmcall answer on hostb (the program in
  # b_cmcall) and returns once it waits for invitations.
  answer_on_b() {
    : >"$out/b"
    # shellcheck disable=SC2086,SC2016 # a command prefix; $$ is the peer shell's
    exec {b_fd}< <($CALLMGR_PEER_EXEC -- sh -c 'echo "pid $$"; exec "$@"' sh \
      "${b_cmcall[@]}" answer "$@" 2>&1)
    b_sub=$!
    local line=""
    read -r -t 30 line <&"$b_fd" || true
    b_pid=${line#pid }
    while IFS= read -r -t 30 line <&"$b_fd"; do
      printf '%s\n' "$line" >>"$out/b"
      if [[ $line == *"waiting for invitations"* ]]; then return 0; fi
    done
    return 1
  }

  # b_done: collects hostb's output until its cmcall ends (at most 30 s,
  # then it is told to stop).
  b_done() {
    if ! timeout 30 cat <&"$b_fd" >>"$out/b"; then
      # shellcheck disable=SC2086
      $CALLMGR_PEER_EXEC -- kill -TERM "$b_pid" 2>/dev/null || true
      timeout 10 cat <&"$b_fd" >>"$out/b" || true
    fi
    b_rc=0
    wait "$b_sub" || b_rc=$?
    exec {b_fd}<&-
  }

  invite_from_a() {
    a_rc=0
    "$cmcall" invite "$@" --timeout 40 >"$out/a" 2>&1 || a_rc=$?
  }

  # case_end N TITLE WANT_A WANT_B [A_RAN B_RAN [INVITER]]: prints both
  # sides and the verdict; A_RAN and B_RAN say what each ran (cmcall invite
  # and answer), INVITER which side invited (a, or b), whose exit the
  # summary shows.
  case_end() {
    local n=$1 title=$2 want_a=$3 want_b=$4 verdict=ok shown=$a_rc want=$3
    if [[ ${7:-a} == b ]]; then shown=$b_rc want=$want_b; fi
    printf '\n  what hosta saw (%s, exit %s):\n' "${5:-cmcall invite}" "$a_rc"
    show hosta "$out/a"
    if [[ $want_b != - ]]; then
      printf '  what hostb saw (%s, exit %s):\n' "${6:-cmcall answer}" "$b_rc"
      show hostb "$out/b"
    fi
    if [[ $a_rc != "$want_a" || ($want_b != - && $b_rc != "$want_b") ]]; then
      verdict="UNEXPECTED"
    fi
    results+=("$(printf '%s. %-16s invite exit %s (want %s)  %s' "$n" "$title" "$shown" \
      "$want" "$verdict")")
  }

  printf '\n=== 1. An accepted call\n'
  printf '  hostb$ cmcall answer --auto-accept --count 1\n'
  printf '  hosta$ cmcall invite "Bob <bob@hostb>" --subject "Design review"\n'
  b_rc=""
  if answer_on_b --auto-accept --count 1; then
    invite_from_a "Bob <bob@hostb>" --subject "Design review"
  else
    a_rc="(not run: cmcall answer did not start on hostb)"
  fi
  b_done
  case_end 1 "accepted" 0 0

  printf '\n=== 2. A declined call\n'
  printf '  hostb$ cmcall answer --decline --count 1    (presses Decline in the dialog)\n'
  printf '  hosta$ cmcall invite hostb --subject "Lunch?"\n'
  if answer_on_b --decline --count 1; then
    invite_from_a hostb --subject "Lunch?"
  else
    a_rc="(not run: cmcall answer did not start on hostb)"
  fi
  b_done
  case_end 2 "declined" 1 0

  printf '\n=== 3. An unreachable member: hostb runs no answering application\n'
  printf '  hosta$ cmcall invite hostb --subject "Anyone there?"\n'
  invite_from_a hostb --subject "Anyone there?"
  case_end 3 "unreachable" 1 -

  printf '\n=== 4. An unknown host\n'
  printf '  hosta$ cmcall invite nosuchhost --subject "Hello?"\n'
  invite_from_a nosuchhost --subject "Hello?"
  case_end 4 "unknown host" 1 -

  printf '\n=== 5. Windows and Linux: hostb runs cmcall.exe (callmgr.dll under Wine)\n'
  if [[ $windows == "- "* ]]; then
    printf '  skipped: %s\n' "${windows#- }"
    results+=("5. Windows         skipped: ${windows#- }")
  else
    local winbin=${windows%% *} prefix=${windows#* } a_fd a_sub
    b_cmcall=(bash "$ROOT/scripts/winhost.sh" "$prefix" -- /usr/lib/wine/wine64 "$winbin/cmcall.exe")
    printf '  hosta$ cmcall answer --auto-accept --count 1\n'
    printf '  hostb$ cmcall.exe invite "Alice <alice@hosta>" --subject "From Windows"\n'
    : >"$out/a"
    exec {a_fd}< <("$cmcall" answer --auto-accept --count 1 2>&1)
    a_sub=$!
    b_rc="(not run: cmcall answer did not start on hosta)"
    local line
    while IFS= read -r -t 30 line <&"$a_fd"; do
      printf '%s\n' "$line" >>"$out/a"
      if [[ $line == *"waiting for invitations"* ]]; then
        b_rc=0
        # shellcheck disable=SC2086 # a command prefix
        $CALLMGR_PEER_EXEC -- "${b_cmcall[@]}" invite "Alice <alice@hosta>" \
          --subject "From Windows" --timeout 40 >"$out/b" 2>&1 || b_rc=$?
        break
      fi
    done
    timeout 30 cat <&"$a_fd" >>"$out/a" || true
    a_rc=0
    wait "$a_sub" || a_rc=$?
    exec {a_fd}<&-
    case_end 5a "Windows invites" 0 0 "cmcall answer" "cmcall.exe invite" b

    printf '\n  hostb$ cmcall.exe answer --auto-accept --count 1\n'
    printf '  hosta$ cmcall invite "Bob <bob@hostb>" --subject "To Windows"\n'
    if answer_on_b --auto-accept --count 1; then
      invite_from_a "Bob <bob@hostb>" --subject "To Windows"
    else
      a_rc="(not run: cmcall.exe answer did not start on hostb)"
    fi
    b_done
    case_end 5b "Windows accepts" 0 0 "cmcall invite" "cmcall.exe answer"
  fi

  printf '\n=== Outcomes (exit 0 all accepted, 1 declined/unreachable/no address)\n'
  local r bad=0
  for r in "${results[@]}"; do
    printf '  %s\n' "$r"
    if [[ $r == *UNEXPECTED ]]; then bad=1; fi
  done
  return "$bad"
}

if [[ ${1:-} == --inside ]]; then
  inside "$2" "$3" "$4"
  exit
fi

# ------------------------------------------------------------ on the machine

step() { printf '==== %s\n' "$*"; }
fail() {
  printf 'demo.sh: %s\n' "$*" >&2
  exit 1
}

if ((EUID != 0)); then
  command -v sudo >/dev/null || fail "run as root (the hosts need namespaces): sudo bash scripts/demo.sh"
  exec sudo bash "$ROOT/scripts/demo.sh" "$@"
fi

readonly BUILD=${CALLMGR_BUILD_DIR:-build}
OUT=$(mktemp -d "${TMPDIR:-/tmp}/callmgr-demo.XXXXXX")
cleanup() {
  local rc=$?
  rm -rf -- "$OUT"
  if ((rc != 0)); then printf 'demo.sh: ended with status %s\n' "$rc" >&2; fi
  exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The packages: the test command's own list, installed only where missing.
if ! bash "$ROOT/scripts/test.sh" --deps-only >"$OUT/deps.log" 2>&1; then
  cat "$OUT/deps.log" >&2
  fail "cannot install the packages"
fi
grep '^====' "$OUT/deps.log" || true

if [[ ! -f $BUILD/CMakeCache.txt ]]; then
  step "configuring $BUILD"
  cmake -S "$ROOT" -B "$BUILD" >"$OUT/configure.log" 2>&1 || {
    cat "$OUT/configure.log" >&2
    fail "cmake could not configure $BUILD"
  }
fi
step "building cmcall in $BUILD"
cmake --build "$BUILD" --target cmcall -j"$(nproc)" >"$OUT/build.log" 2>&1 || {
  tail -n 40 "$OUT/build.log" >&2
  fail "cmcall does not build"
}
CMCALL=$(cd "$BUILD" && pwd)/apps/cmcall/cmcall
[[ -x $CMCALL ]] || fail "no $CMCALL after the build"

# The Windows side: the x86-64 tree, which this machine can run under wine64.
windows="- the x86-64 mingw-w64 compiler, wine64 or Xvfb is not installed"
if command -v x86_64-w64-mingw32-g++-posix >/dev/null && [[ -x /usr/lib/wine/wine64 ]] &&
  command -v Xvfb >/dev/null; then
  step "building callmgr.dll and cmcall.exe for Windows in $BUILD/build-win64"
  if bash "$ROOT/scripts/wintree.sh" "$ROOT" "$BUILD/build-win64" >"$OUT/wintree.log" 2>&1; then
    WINTREE=$(cd "$BUILD/build-win64" && pwd)
    windows="$WINTREE/dist/bin $WINTREE/wineprefix"
  else
    tail -n 40 "$OUT/wintree.log" >&2
    windows="- the Windows tree does not build"
  fi
fi

step "two hosts: hosta (198.18.0.1) and hostb (198.18.0.2)"
bash "$ROOT/scripts/testhost.sh" pair -- bash "$ROOT/scripts/demo.sh" --inside "$CMCALL" "$OUT" \
  "$windows"
step "demo finished"
