# shellcheck shell=bash
# The two sides of a cmcall test on a pair of test hosts, sourced after CASE
# and CMCALL are set: host B is reached through CALLMGR_PEER_EXEC.  Each
# side's output goes to A_OUT / B_OUT and A_ERR / B_ERR, its status to A_RC /
# B_RC.

WORK=$(mktemp -d "${TMPDIR:-/tmp}/cmcall-test.XXXXXX")
A_OUT=$WORK/a.out A_ERR=$WORK/a.err B_OUT=$WORK/b.out B_ERR=$WORK/b.err
touch "$A_OUT" "$A_ERR" "$B_OUT" "$B_ERR"
# shellcheck disable=SC2034 # read through ${!name}
A_FD="" A_SUB="" A_PID="" A_RC="" B_FD="" B_SUB="" B_PID="" B_RC=""
A_RUN=(env) # a test may add variables

# cleanup: whatever is left of ours, by PID; the host's end takes the rest.
cleanup() {
  [[ -n $B_SUB ]] && kill "$B_SUB" 2>/dev/null
  [[ -n $A_SUB ]] && kill "$A_SUB" 2>/dev/null
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

# shellcheck source=tests/support/checks.sh
. "$(dirname -- "${BASH_SOURCE[0]}")/../support/checks.sh"

# start A|B ARG...: cmcall ARG... on that host; returns once it runs, with
# A_PID or B_PID its process.  Its lines are copied by read_from and finish.
start() {
  local side=$1 fd line=""
  shift
  local err=${side}_ERR
  # shellcheck disable=SC2016 # $$ is the inner shell's, which becomes cmcall
  if [[ $side == B ]]; then
    [[ -n ${CALLMGR_PEER_EXEC:-} ]] || fail "not on a test host pair"
    # shellcheck disable=SC2086 # a command prefix
    exec {fd}< <($CALLMGR_PEER_EXEC -- bash -c 'echo "pid $$"; exec "$0" "$@"' "$CMCALL" "$@" \
      2>"${!err}")
  else
    exec {fd}< <("${A_RUN[@]}" bash -c 'echo "pid $$"; exec "$0" "$@"' "$CMCALL" "$@" 2>"${!err}")
  fi
  printf -v "${side}_SUB" '%s' "$!"
  printf -v "${side}_FD" '%s' "$fd"
  read -r -t 30 line <&"$fd" || true
  [[ $line == "pid "* ]] || fail "cmcall did not start on $side"
  printf -v "${side}_PID" '%s' "${line#pid }"
}

# read_from A|B TEXT...: copies that host's lines to its output file until
# one contains a TEXT.
read_from() {
  local fd_var=${1}_FD out_var=${1}_OUT line text
  while IFS= read -r -t 60 line <&"${!fd_var}"; do
    printf '%s\n' "$line" >>"${!out_var}"
    for text in "${@:2}"; do
      [[ $line == *"$text"* ]] && return 0
    done
  done
  fail "$1 never printed '$2'"
}

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

# signal A|B SIGNAL: signals that host's cmcall.
signal() {
  local pid_var=${1}_PID via=()
  # shellcheck disable=SC2206 # a command prefix
  [[ $1 == B ]] && via=($CALLMGR_PEER_EXEC --)
  "${via[@]}" kill "-$2" "${!pid_var}" || fail "cannot signal cmcall on $1"
}
