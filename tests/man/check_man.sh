#!/usr/bin/env bash
# check_man.sh SOURCE_DIR CMCALL: the pages under SOURCE_DIR/man render with
# man and groff without a single warning, and each names everything its
# program or header offers, so a new option, output line or code cannot go
# undocumented.
set -uo pipefail
src=$1 cmcall=$2
failed=0
fail() {
  printf 'check_man: %s\n' "$*" >&2
  failed=1
}

pages=("$src"/man/*.[1-9])
((${#pages[@]} >= 3)) || fail "expected the pages of cmcall, callmgr-snap and callmgr in $src/man"
for page in "${pages[@]}"; do
  warnings=$(groff -man -ww -z "$page" 2>&1)
  [[ -z $warnings ]] || fail "groff warns about ${page##*/}: $warnings"
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [[ -z $warnings ]] || fail "man warns about ${page##*/}: $warnings"
done

# The roff source as words: escaped hyphens and quotes plain, fonts gone.
plain() {
  sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/\\(dq/"/g' -e 's/\\&//g' "$1"
}
# documents PAGE WHAT WORD...: every WORD stands in PAGE as a word.
documents() {
  local page=$1 what=$2 text word
  shift 2
  text=$(plain "$src/man/$page")
  for word in "$@"; do
    grep -qwF -- "$word" <<<"$text" || fail "$page does not document the $what '$word'"
  done
}
usage=$("$cmcall" --help) || fail "$cmcall --help failed"
mapfile -t options < <(grep -oE -- '--?[a-z][a-z-]*' <<<"$usage" | sort -u)
((${#options[@]} >= 8)) || fail "cmcall --help lists too few options: ${options[*]}"
documents cmcall.1 option answer invite help "${options[@]}"

app=$src/apps/cmcall
mapfile -t kinds < <(grep -ohE '(Event|TakeCallInfo|EmitMember)\("[a-z-]+"|kind = "[a-z-]+"' \
  "$app"/*.cpp | sed -E 's/.*"([a-z-]+)"/\1/' | sort -u)
((${#kinds[@]} >= 15)) || fail "too few event kinds found in $app: ${kinds[*]}"
documents cmcall.1 "event kind" "${kinds[@]}"
mapfile -t fields < <(grep -ohE 'CMCALL_Add(String|Number|Raw)\(&[a-z]+, "[a-z_]+"|\\"[a-z_]+\\":' \
  "$app"/*.cpp | sed -E 's/.*"([a-z_]+)(\\)?".*/\1/' | sort -u)
((${#fields[@]} >= 20)) || fail "too few JSON fields found in $app: ${fields[*]}"
documents cmcall.1 "JSON field" time event "${fields[@]}"

header=$src/include/callmgr.h
mapfile -t codes < <(grep -oE '^#define (CMERR|CMN)_[A-Z]+' "$header" | cut -d' ' -f2)
mapfile -t entries < <(grep -oE 'WINAPI CM[A-Za-z]+\(' "$header" | sed -E 's/WINAPI (.*)\(/\1/')
((${#codes[@]} >= 25 && ${#entries[@]} >= 11)) || fail "too few codes or entries in $header"
documents callmgr.3 "name" "${codes[@]}" "${entries[@]}" CMINFO CMNETINFO CMAPPINFO CMCALLINFO \
  CMMEMBERENTRY CMMEMBERINFO PalGetMessageFd PalGetMessageTimeout palevent.h

exit "$failed"
