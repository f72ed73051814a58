# shellcheck shell=bash
# Checks on the output files of the shell tests, sourced by them.  Each test
# defines fail MESSAGE, which reports and exits.

# has FILE TEXT: FILE has a line containing TEXT.
has() { grep -qF -- "$2" "$1" || fail "no line with '$2' in ${1##*/}"; }
lacks() { ! grep -qF -- "$2" "$1" || fail "unexpected line with '$2' in ${1##*/}"; }
# in_order FILE TEXT...: the first lines containing each TEXT come in this order.
in_order() {
  local file=$1 text n last=0
  shift
  for text in "$@"; do
    n=$(grep -nF -- "$text" "$file" | head -n 1 | cut -d: -f1)
    [[ -n $n ]] || fail "no line with '$text' in ${file##*/}"
    ((n > last)) || fail "'$text' out of order in ${file##*/}"
    last=$n
  done
}
# rc_is WHAT GOT WANT: WHAT exited with WANT.
rc_is() { [[ $2 == "$3" ]] || fail "$1 exited $2, not $3"; }
