#!/usr/bin/env bash
# The demo: two machines set up a call.
#
#   bash scripts/demo.sh          (as root, or it asks sudo)
#
# Builds cmcall if needed (packages through `scripts/test.sh --deps-only`,
# then cmake in build/, or CALLMGR_BUILD_DIR), makes two isolated hosts linked
# by a network (scripts/testhost.sh pair: hosta 198.18.0.1 and hostb
# 198.18.0.2), and shows four outcomes, with what each side saw:
#   1. an accepted call   hostb answers on its own (cmcall answer --auto-accept)
#   2. a declined call    hostb's user presses Decline in the Invite - RSVP dialog
#   3. unreachable        hostb runs no answering application
#   4. unknown host       a name no hosts file knows
# The hosts and everything started in them go away when the demo ends,
# however it ends.
set -euo pipefail

cd "$(dirname -- "${BASH_SOURCE[0]}")/.."
readonly ROOT=$PWD

# ------------------------------------------------------------ on host A

# inside CMCALL OUTDIR: runs the four cases; host B is reached through
# CALLMGR_PEER_EXEC.  Exit 0 when every case ended as it should.
inside() {
  local cmcall=$1 out=$2
  local -a results=()
  local b_fd="" b_sub="" b_pid="" b_rc a_rc

  show() { # show LABEL FILE
    local line
    while IFS= read -r line; do printf '  %-6s| %s\n' "$1" "$line"; done <"$2"
  }

  # answer_on_b ARG...: starts cmcall answer on hostb and returns once it
  # waits for invitations.
  answer_on_b() {
    : >"$out/b"
    # shellcheck disable=SC2086,SC2016 # a command prefix; $$ is the peer shell's
    exec {b_fd}< <($CALLMGR_PEER_EXEC -- sh -c 'echo "pid $$"; exec "$0" answer "$@"' \
      "$cmcall" "$@" 2>&1)
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

  # case_end N TITLE WANT_A WANT_B: prints both sides and the verdict.
  case_end() {
    local n=$1 title=$2 want_a=$3 want_b=$4 verdict=ok
    printf '\n  what hosta saw (cmcall invite, exit %s):\n' "$a_rc"
    show hosta "$out/a"
    if [[ $want_b != - ]]; then
      printf '  what hostb saw (cmcall answer, exit %s):\n' "$b_rc"
      show hostb "$out/b"
    fi
    if [[ $a_rc != "$want_a" || ($want_b != - && $b_rc != "$want_b") ]]; then
      verdict="UNEXPECTED"
    fi
    results+=("$(printf '%s. %-16s invite exit %s (want %s)  %s' "$n" "$title" "$a_rc" \
      "$want_a" "$verdict")")
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

  printf '\n=== Outcomes (exit 0 all accepted, 1 declined/unreachable/no address)\n'
  local r bad=0
  for r in "${results[@]}"; do
    printf '  %s\n' "$r"
    if [[ $r == *UNEXPECTED ]]; then bad=1; fi
  done
  return "$bad"
}

if [[ ${1:-} == --inside ]]; then
  inside "$2" "$3"
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

step "two hosts: hosta (198.18.0.1) invites, hostb (198.18.0.2) answers"
bash "$ROOT/scripts/testhost.sh" pair -- bash "$ROOT/scripts/demo.sh" --inside "$CMCALL" "$OUT"
step "demo finished"
