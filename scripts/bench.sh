#!/usr/bin/env bash
# The call set-up benchmark on two isolated hosts.
#
#   bash scripts/bench.sh [--iterations N] [--rounds R] [--warmup W]
#                         [--gap-ms G] [--answerer bench_peer|cmcall] [--apps N]
#                         [--as-root]
#
# Needs root (the hosts are namespaces; asks sudo otherwise).  Builds the
# benchmark in an optimised tree, build-bench/ (Release; CALLMGR_BENCH_BUILD_DIR
# names another), configuring it if needed, then makes a pair of hosts
# (scripts/testhost.sh pair: hosta 198.18.0.1, hostb 198.18.0.2) and on hostb
# starts bench_peer serve (the raw TCP and bare libtirpc servers) and an
# auto-accepting answerer: bench_peer answer with N applications (--apps,
# default 2: see bench/bench_peer.cpp for why one is not enough back to
# back), or `cmcall answer --auto-accept`, a single application, with
# --answerer cmcall, for which call set-ups are 20 ms apart unless --gap-ms
# says otherwise.  callsetup_bench then runs on hosta and
# prints the table: raw TCP, libtirpc and call set-up side by side, median,
# 99th percentile and mean in microseconds, each median against raw TCP's.
# The programs in the hosts run as the user nobody, as applications do:
# as root, libtirpc binds every client socket to a reserved port, and once
# hundreds of exchanges have left those ports in TIME_WAIT, each clnt_create
# walks all of them first, which then dominates both RPC figures.
# --as-root measures that case.
# Defaults: 300 iterations of each in 10 interleaved rounds after 10 warm-up
# iterations.  Exit status: callsetup_bench's (0 all iterations succeeded),
# or 1 when something could not be built or started.
set -euo pipefail

cd "$(dirname -- "${BASH_SOURCE[0]}")/.."
readonly ROOT=$PWD
# shellcheck source=scripts/benchlib.sh
. "$ROOT/scripts/benchlib.sh"

# ------------------------------------------------------------ on host A

# inside BUILD ANSWERER APPS USER BENCH_ARGS...: hostb is reached through
# CALLMGR_PEER_EXEC.  Each program on hostb reads its standard input from a
# pipe held here and stops when it ends; its output is read here until it
# reports ready, and drained to a file afterwards so it never blocks.
inside() {
  local build=$1 answerer=$2 apps=$3 user=$4
  shift 4
  local dir rc=0 line port="" answer_pid="" PEER_PID=""
  local -a peer_in=() peer_drain=() as=()
  dir=$(mktemp -d "${TMPDIR:-/tmp}/callmgr-bench.XXXXXX")
  # shellcheck disable=SC2064 # the directory is known now
  trap "rm -rf -- '$dir'" EXIT
  if [[ $user != root ]]; then
    # A home of its own, for whatever the library keeps on behalf of a user.
    chmod 0755 "$dir"
    mkdir -m 0700 "$dir/home"
    chown "$user:" "$dir/home"
    as=(setpriv "--reuid=$user" "--regid=$(id -g "$user")" --clear-groups
      env "HOME=$dir/home" "XDG_DATA_HOME=$dir/home/.local/share")
  fi

  # Our ends of the peers' input pipes are ours alone: a child holding a
  # copy would keep a peer from ever seeing the end of its input.
  close_peer_fds() {
    local fd
    for fd in "${peer_in[@]}"; do exec {fd}>&-; done
  }

  # start_peer NAME READY_PATTERN COMMAND...: the ready line goes to REPLY,
  # and a line "pid N" met before it to PEER_PID.
  start_peer() {
    local name=$1 pattern=$2 in out
    shift 2
    mkfifo "$dir/$name.in" "$dir/$name.out"
    (
      close_peer_fds
      # shellcheck disable=SC2086 # a command prefix
      exec $CALLMGR_PEER_EXEC -- "$@"
    ) <"$dir/$name.in" >"$dir/$name.out" 2>"$dir/$name.err" &
    exec {in}>"$dir/$name.in"
    exec {out}<"$dir/$name.out"
    peer_in+=("$in")
    REPLY=""
    while IFS= read -r -t 30 line <&"$out"; do
      printf '%s\n' "$line" >>"$dir/$name.log"
      if [[ $line == "pid "* ]]; then PEER_PID=${line#pid }; fi
      # shellcheck disable=SC2053 # the pattern is a glob
      if [[ $line == $pattern ]]; then REPLY=$line; break; fi
    done
    (
      close_peer_fds
      exec cat
    ) <&"$out" >>"$dir/$name.log" &
    peer_drain+=("$!")
    exec {out}<&-
    [[ -n $REPLY ]] || {
      cat "$dir/$name.log" "$dir/$name.err" >&2 2>/dev/null || true
      return 1
    }
  }

  stop_peers() {
    local i fd
    for i in "${!peer_in[@]}"; do
      fd=${peer_in[i]}
      exec {fd}>&-
    done
    if [[ -n $answer_pid ]]; then
      # shellcheck disable=SC2086
      $CALLMGR_PEER_EXEC -- kill -TERM "$answer_pid" 2>/dev/null || true
    fi
    for i in "${!peer_drain[@]}"; do
      # A peer that does not stop goes with its host when the pair ends.
      timeout 20 tail --pid="${peer_drain[i]}" -f /dev/null || true
    done
  }

  if ! start_peer serve 'ready serve tcp=*' "${as[@]}" "$build/bench/bench_peer" serve; then
    stop_peers
    fail "bench_peer serve did not start on hostb"
  fi
  port=${REPLY#ready serve tcp=}
  port=${port%% *}
  if [[ $answerer == cmcall ]]; then
    # cmcall stops on SIGTERM, not at the end of its input: learn its pid.
    # shellcheck disable=SC2016 # $$ is the peer shell's
    if ! start_peer answer '*waiting for invitations*' "${as[@]}" \
      sh -c 'echo "pid $$"; exec "$0" answer --auto-accept' "$build/apps/cmcall/cmcall"; then
      stop_peers
      fail "cmcall answer did not start on hostb"
    fi
    answer_pid=$PEER_PID
  elif ! start_peer answer 'ready answer *' "${as[@]}" "$build/bench/bench_peer" answer "$apps"; then
    stop_peers
    fail "bench_peer answer did not start on hostb"
  fi

  printf 'both hosts run the programs as %s\n' "$user"
  printf 'hostb: %s; %s\n' "$(head -n 1 "$dir/serve.log")" \
    "$(if [[ $answerer == cmcall ]]; then echo "cmcall answer --auto-accept"; else grep -m 1 '^ready answer' "$dir/answer.log"; fi)"
  (
    close_peer_fds
    exec "${as[@]}" "$build/bench/callsetup_bench" --peer-addr "$CALLMGR_PEER_ADDR" \
      --peer-name "$CALLMGR_PEER_NAME" --tcp-port "$port" "$@"
  ) || rc=$?
  stop_peers
  if [[ $answerer == cmcall ]]; then
    printf 'hostb (cmcall): %s accepted invitations\n' \
      "$(grep -c 'closed, ready for the next' "$dir/answer.log" || true)"
  else
    printf 'hostb: %s\n' "$(grep -h '^done' "$dir/serve.log" "$dir/answer.log" | paste -sd ';' -)"
  fi
  return "$rc"
}

if [[ ${1:-} == --inside ]]; then
  shift
  inside "$@"
  exit
fi

# ------------------------------------------------------------ on the machine

readonly -a ARGS=("$@")
answerer=bench_peer
apps=2
user=nobody
declare -a bench_args=()
while (($#)); do
  case $1 in
    --iterations | --rounds | --warmup | --gap-ms)
      (($# >= 2)) || fail "$1 needs a number"
      [[ $2 =~ ^[0-9]+$ ]] || fail "$1 needs a number"
      bench_args+=("$1" "$2")
      shift 2
      ;;
    --answerer)
      (($# >= 2)) || fail "--answerer needs bench_peer or cmcall"
      [[ $2 == bench_peer || $2 == cmcall ]] || fail "--answerer: bench_peer or cmcall"
      answerer=$2
      shift 2
      ;;
    --apps)
      if (($# < 2)) || [[ ! $2 =~ ^[1-8]$ ]]; then fail "--apps needs a number from 1 to 8"; fi
      apps=$2
      shift 2
      ;;
    --as-root)
      user=root
      shift
      ;;
    -h | --help)
      sed -n '2,29s/^# \{0,1\}//p' "$ROOT/scripts/bench.sh"
      exit 0
      ;;
    *) fail "unknown argument '$1' (see --help)" ;;
  esac
done

# A single answering application needs a moment between acceptances.
if [[ $answerer == cmcall && " ${bench_args[*]} " != *" --gap-ms "* ]]; then
  bench_args+=(--gap-ms 20)
fi

as_root "${ARGS[@]}"

if [[ $user != root ]]; then
  command -v setpriv >/dev/null || fail "setpriv not found (apt-get install util-linux)"
  id "$user" >/dev/null 2>&1 || fail "no user '$user' to run the programs as; try --as-root"
fi

readonly BUILD=${CALLMGR_BENCH_BUILD_DIR:-$ROOT/build-bench}
targets=(callsetup_bench bench_peer)
if [[ $answerer == cmcall ]]; then targets+=(cmcall); fi
CALLMGR_BENCH_BUILD_DIR=$BUILD bash "$ROOT/scripts/benchtree.sh" "${targets[@]}" ||
  fail "the benchmark does not build"

printf '==== hosta (198.18.0.1) sets up calls to hostb (198.18.0.2)\n'
bash "$ROOT/scripts/testhost.sh" pair -- \
  bash "$ROOT/scripts/bench.sh" --inside "$BUILD" "$answerer" "$apps" "$user" \
  "${bench_args[@]}"
