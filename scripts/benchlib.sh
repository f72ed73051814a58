# shellcheck shell=bash
# What the benchmark scripts share, sourced after `cd` to the repository:
#   fail TEXT...          the script's name and TEXT on standard error, exit 1;
#   as_root ARG...        runs the script again through sudo with ARG... unless
#                         it already runs as root (the hosts need namespaces);
#   field LINE NAME       the value of NAME=VALUE in LINE;
#   on_host I COMMAND...  COMMAND in host I of a testhost.sh net (from host 1).

fail() {
  printf '%s: %s\n' "${0##*/}" "$*" >&2
  exit 1
}

as_root() {
  ((EUID == 0)) && return 0
  command -v sudo >/dev/null || fail "run as root (the hosts need namespaces)"
  exec sudo bash "$0" "$@"
}

field() { sed -n "s/.* $2=\([^ ]*\).*/\1/p" <<<" $1"; }

on_host() {
  local i=$1
  shift
  # shellcheck disable=SC2086 # a command prefix
  $CALLMGR_NET_EXEC "$i" -- "$@"
}
