# shellcheck shell=bash
# Following the programs of a shell test on a pair of test hosts (sourced).
# The test names itself in WHAT, which heads its messages.

# die MESSAGE: reports on standard error and exits.
die() {
  printf '%s: %s\n' "$WHAT" "$*" >&2
  exit 1
}
# follow VAR COMMAND...: starts COMMAND beside the test; VAR holds the
# descriptor its lines (errors too) are read from, VAR_pid its process.
follow() {
  local fd
  exec {fd}< <(exec "${@:2}" 2>&1)
  printf -v "${1}_pid" '%s' "$!"
  printf -v "$1" '%s' "$fd"
}
# wait_for VAR [PATTERN]: shows the lines of VAR's command until one matches
# the glob PATTERN; fails at end of file (where it stops without PATTERN) or
# when no line comes for 90 seconds.
wait_for() {
  local line
  while IFS= read -r -t 90 line <&"${!1}"; do
    printf '  %s\n' "$line"
    # shellcheck disable=SC2053 # PATTERN is a glob
    if [[ $# == 2 && $line == $2 ]]; then return 0; fi
  done
  return 1
}
# finish VAR WHAT: shows the rest of the lines of VAR's command, which must
# then end with status 0.
finish() {
  local pid=${1}_pid
  wait_for "$1"
  wait "${!pid}" || die "$2 ended with status $?"
}
# run WHAT COMMAND...: runs COMMAND to its end, which must be status 0, and
# shows its lines, which stay in OUT.
run() {
  local rc=0
  OUT=$("${@:2}" 2>&1) || rc=$?
  printf '  %s\n' "${OUT//$'\n'/$'\n'  }"
  ((rc == 0)) || die "$1 ended with status $rc"
}
# unregistered WHAT: after WHAT ended, the call program is off this host's
# port mapper.
unregistered() {
  local listed
  listed=$(rpcinfo -p 127.0.0.1) || die "the port mapper of $CALLMGR_HOST_NAME does not answer"
  ! grep -qw 391010 <<<"$listed" || die "the call program is still registered after $1 ended"
}
