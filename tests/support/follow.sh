# Following the lines of programs running beside a shell test (sourced).
# wait_for FD PATTERN: shows FD's lines until one matches the glob PATTERN;
# fails at end of file or when no line comes for 90 seconds.
wait_for() {
  local fd=$1 pattern=$2 line
  while IFS= read -r -t 90 line <&"$fd"; do
    printf '  %s\n' "$line"
    # shellcheck disable=SC2053 # PATTERN is a glob
    if [[ $line == $pattern ]]; then return 0; fi
  done
  return 1
}
# rest FD: shows what FD still has, to its end.
rest() {
  local line
  while IFS= read -r -t 90 line <&"$1"; do printf '  %s\n' "$line"; done
}
