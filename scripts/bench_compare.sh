#!/usr/bin/env bash
# The whole performance comparison, on isolated hosts, in a few minutes.
#
#   bash scripts/bench_compare.sh [--hosts N] [--million] [--quick]
#
# Needs root (the hosts are namespaces; asks sudo otherwise).  Installs the
# Debian packages it needs (the test command's and SIPp's), builds what it
# needs in the optimised tree of scripts/benchtree.sh (build-bench/, or
# CALLMGR_BENCH_BUILD_DIR), then runs four comparisons, each measured against
# its baseline in the same run on the same hosts, and prints for each its
# ratio and whether the goal is met:
#   1. one exchange (scripts/bench_exchange.sh): CALL_Send against raw TCP;
#      goal median <= 1.5x and 99th percentile <= 6x raw TCP's.
#   2. call set-up latency (scripts/bench.sh): goal median <= 3x the raw
#      TCP exchange's median in the same table.
#   3. call set-up rate: host 1 answers, hosts 2..N (--hosts, default 4)
#      invite back to back.  SIPp's built-in basic call first (uas on host 1,
#      a uac on each other host), then the call manager (bench_peer answer 8
#      on host 1, rate_bench on each other host), then the protocol's floor
#      under the same load: a call set-up is two TCP connections (the
#      invitation, the acceptance), so server_bench bare answers on host 1
#      and a one-thread server_bench client on each other host makes two
#      connections per set-up with the invitation's bytes.  Each rate is
#      completed calls over the span from the first start to the last end,
#      and each processor time per call is that of all the processes of its
#      run (user and system, both ends).  The rate beside SIPp's is a
#      reference; the goal: the call manager's processor time per set-up at
#      most 1.4x the floor's.  The floor is measured a second time with the
#      sockets a call set-up hands out (a stream socket and two datagram
#      sockets at the inviting end, two datagram sockets at the answering
#      end) made, bound and closed as well, for information.
#   4. server rate: invitations answered per second, a new connection each,
#      from server_bench clients on hosts 2..N (4 threads each): a bare TCP
#      accept-read-write-close server and the call manager's server in an
#      answering process whose applications are all occupied (each
#      invitation is received, decoded, offered and answered "not handled"),
#      taking turns in 4 rounds of the same load (60000 invitations each in
#      all).  Then a long run against the answering process alone (200000
#      invitations; a million with --million), its resident set read before
#      and after, and a short run against auto-accepting applications (for
#      information).  Goals: the answering process at least 80% of the bare
#      server, and its resident set flat (at most 1 MB of growth).  It also
#      prints the machine's processor time per bare TCP connection.
#   5. conference growth (scripts/bench_growth.sh, for information): a call
#      grown through the Invite dialog to N members on N hosts, N = 2 to 16.
# --quick makes every part shorter (a smoke run, not a measurement).
# Exit status 0 when every part ran (goals met or not), 1 otherwise.
set -euo pipefail
cd "$(dirname -- "${BASH_SOURCE[0]}")/.."
readonly ROOT=$PWD
# shellcheck source=scripts/benchlib.sh
. "$ROOT/scripts/benchlib.sh"

# verdict OK TEXT: one line saying whether a goal is met.
verdict() {
  if [[ $1 == yes ]]; then printf '  goal met: %s\n' "$2"; else printf '  goal MISSED: %s\n' "$2"; fi
}

# awk-evaluated condition: yes or no.
holds() { awk "BEGIN { print (($1) ? \"yes\" : \"no\") }"; }

# ------------------------------------------------------------ inside host 1

# start_server NAME HOST READY_PATTERN COMMAND...: runs COMMAND on HOST as
# nobody, its standard input a pipe held here (its end stops it), and waits
# (bounded) for a line matching the pattern in its output.
declare -A SERVER_IN=()
start_server() {
  local name=$1 host=$2 pattern=$3 fd i
  shift 3
  mkfifo "$DIR/$name.in"
  on_host "$host" setpriv --reuid=nobody --regid=nogroup --clear-groups \
    env HOME="$DIR/home" XDG_DATA_HOME="$DIR/home/.local/share" "$@" \
    <"$DIR/$name.in" >"$DIR/$name.out" 2>"$DIR/$name.err" &
  exec {fd}>"$DIR/$name.in"
  SERVER_IN[$name]=$fd
  for ((i = 0; i < 300; i++)); do
    if grep -q "$pattern" "$DIR/$name.out" 2>/dev/null; then return 0; fi
    sleep 0.1 # set-up polling of a program on another host, bounded
  done
  cat "$DIR/$name.out" "$DIR/$name.err" >&2
  return 1
}

# ask_server NAME LINE PATTERN: sends a command line and waits (bounded) for
# a new line matching PATTERN; prints the last such line.
ask_server() {
  local name=$1 line=$2 pattern=$3 before i fd=${SERVER_IN[$1]}
  before=$(grep -c "$pattern" "$DIR/$name.out" || true)
  printf '%s\n' "$line" >&"$fd"
  for ((i = 0; i < 100; i++)); do
    if (($(grep -c "$pattern" "$DIR/$name.out" || true) > before)); then
      grep "$pattern" "$DIR/$name.out" | tail -n 1
      return 0
    fi
    sleep 0.05 # waiting for another host's answer, bounded
  done
  return 1
}

stop_server() {
  local name=$1 fd=${SERVER_IN[$1]} i
  exec {fd}>&-
  unset "SERVER_IN[$name]"
  for ((i = 0; i < 100; i++)); do
    if grep -q '^done' "$DIR/$name.out" 2>/dev/null; then break; fi
    sleep 0.1 # bounded wait for its last words
  done
}

# aggregate FILES...: sums ok= over the lines and divides by the span from
# the earliest start= to the latest end=; prints "OK FAIL SPAN RATE".
aggregate() {
  awk '{ for (i = 1; i <= NF; i++) { split($i, kv, "=");
           if (kv[1] == "ok") ok += kv[2]; if (kv[1] == "fail") f += kv[2];
           if (kv[1] == "start" && (s == "" || kv[2] < s)) s = kv[2];
           if (kv[1] == "end" && kv[2] > e) e = kv[2]; } }
       END { span = e - s; rate = 0; if (span > 0) rate = ok / span;
             printf "%d %d %.3f %.0f\n", ok, f, span, rate }' "$@"
}

# times_seconds FILES...: the children's user and system time that the
# shell's `times` wrote in each file (its second line), one sum per file.
times_seconds() {
  awk 'FNR == 2 { t = 0; for (i = 1; i <= 2; i++) { split($i, p, "m"); sub("s", "", p[2]);
         t += p[1] * 60 + p[2] } print t }' "$@"
}

# busy_ticks: the processor time the whole machine has spent so far (user,
# nice, system, interrupts), in clock ticks.
busy_ticks() { awk '/^cpu / { print $2 + $3 + $4 + $7 + $8 }' /proc/stat; }

# cpu_per_call CALLS: the seconds read on standard input, summed, per call,
# in microseconds.
cpu_per_call() {
  awk -v n="$1" '{ t += $1 } END { if (n > 0) printf "%.0f", t * 1e6 / n; else print "-" }'
}

rate_part() {
  local n=$1 calls=$2 conc=$3 sipp_calls=$4 i
  SIPP_LIMIT=${CALLMGR_SIPP_LIMIT:-30}
  local -a pids=()
  printf '==== 3. call set-up rate: host 1 answers, hosts 2..%s invite\n' "$n"

  # SIPp's basic call over UDP: INVITE, 100, 180, 200, ACK, BYE, 200.
  # Each SIPp process reports its processor time (the shell's `times`).  The
  # uas runs until it is ended: its shell writes its process id, and exactly
  # that process is ended once the uacs are done.
  # shellcheck disable=SC2016 # expanded by the inner shell
  (cd "$DIR" && exec bash -c 'sipp "$@" >"$0.out" 2>&1 & echo $! >"$0.pid"; wait $!;
    times >"$0.times"' "$DIR/uas" -sn uas -i 198.18.0.1 -p 5060 -nostdin) &
  local uas=$!
  for ((i = 0; i < 50; i++)); do
    if ss -lun 2>/dev/null | grep -q '198.18.0.1:5060'; then break; fi
    sleep 0.1 # bounded: until the uas listens
  done
  pids=()
  for ((i = 2; i <= n; i++)); do
    # shellcheck disable=SC2016 # expanded by the shell on the host
    on_host "$i" bash -c 'cd "$1" && sipp -sn uac 198.18.0.1:5060 -i "198.18.0.$2" \
      -m "$3" -r 20000 -l "$4" -nostdin -trace_stat -stf "$1/uac$2.csv" -fd 1; \
      times >"$1/uac$2.times"' _ "$DIR" "$i" "$sipp_calls" "$SIPP_LIMIT" >"$DIR/uac$i.out" 2>&1 &
    pids+=("$!")
  done
  local sipp_fail=0
  for i in "${pids[@]}"; do wait "$i" || sipp_fail=1; done
  if [[ -s $DIR/uas.pid ]]; then kill -TERM "$(cat "$DIR/uas.pid")" 2>/dev/null || true; fi
  wait "$uas" 2>/dev/null || true
  # Each uac's last statistics line: start, end (real-time seconds), and
  # its successful and failed calls (columns 16 and 18).
  for ((i = 2; i <= n; i++)); do
    [[ -s $DIR/uac$i.csv ]] || { cat "$DIR/uac$i.out" >&2; fail "sipp uac on host $i wrote no statistics"; }
    tail -n 1 "$DIR/uac$i.csv" | awk -F';' '{ split($1, a, "\t"); split($3, b, "\t");
      printf "sipp ok=%d fail=%d start=%s end=%s\n", $16, $18, a[3], b[3] }' >"$DIR/sipp$i.line"
    printf '  sipp uac on host %s: %s\n' "$i" "$(cat "$DIR/sipp$i.line")"
  done
  local sipp
  sipp=$(aggregate "$DIR"/sipp*.line)
  read -r s_ok s_fail s_span s_rate <<<"$sipp"
  printf '  SIPp basic call (uas on host 1, %d uac): %s calls in %s s, %s failed: %s calls/s\n' \
    "$((n - 1))" "$s_ok" "$s_span" "$s_fail" "$s_rate"
  local s_cpu
  s_cpu=$(cpu_per_call "$s_ok" < <(times_seconds "$DIR"/uas.times "$DIR"/uac*.times))

  start_server answer 1 '^ready answer' "$BUILD/bench/bench_peer" answer 8 ||
    fail "bench_peer answer did not start on host 1"
  pids=()
  for ((i = 2; i <= n; i++)); do
    on_host "$i" setpriv --reuid=nobody --regid=nogroup --clear-groups \
      env HOME="$DIR/home" XDG_DATA_HOME="$DIR/home/.local/share" \
      "$BUILD/bench/rate_bench" --peer-name host1 --count "$calls" --concurrent "$conc" \
      >"$DIR/rate$i.line" 2>"$DIR/rate$i.err" &
    pids+=("$!")
  done
  for i in "${pids[@]}"; do wait "$i" || true; done
  stop_server answer
  for ((i = 2; i <= n; i++)); do
    [[ -s $DIR/rate$i.line ]] || { cat "$DIR/rate$i.err" >&2; fail "rate_bench on host $i printed nothing"; }
    printf '  rate_bench on host %s: %s\n' "$i" "$(cat "$DIR/rate$i.line")"
  done
  printf '  host 1: %s\n' "$(grep '^done' "$DIR/answer.out" || echo 'bench_peer gave no account')"
  local cm
  cm=$(aggregate "$DIR"/rate*.line)
  read -r c_ok c_fail c_span c_rate <<<"$cm"
  printf '  call manager (bench_peer answer 8 on host 1, %d inviters, %s calls in flight each): %s set-ups in %s s, %s failed: %s set-ups/s\n' \
    "$((n - 1))" "$conc" "$c_ok" "$c_span" "$c_fail" "$c_rate"
  if ((s_rate > 0)); then
    printf '  call manager / SIPp: %s\n' "$(awk "BEGIN { printf \"%.2f\", $c_rate / $s_rate }")"
  fi
  local c_cpu
  c_cpu=$(cpu_per_call "$c_ok" < <(sed -n 's/.* cpu_s=\([0-9.]*\).*/\1/p' "$DIR"/rate*.line \
    "$DIR/answer.out"))
  printf '  processor time per call, all processes: SIPp %s us, call manager %s us (set-up rate beside SIPp'"'"'s: a reference, not a goal)\n' \
    "$s_cpu" "$c_cpu"
  ((sipp_fail == 0)) || printf '  (a sipp uac reported failed calls)\n'

  local f_cpu f_fail h_cpu
  floor_run floor "$calls" "two connections with the invitation's bytes per set-up"
  f_cpu=$FLOOR_CPU f_fail=$FLOOR_FAIL
  floor_run handout "$calls" "the same, and the sockets a call hands out made and closed" \
    --handout
  h_cpu=$FLOOR_CPU
  printf '  processor time per call set-up, all processes: call manager %s us, floor %s us (%s)\n' \
    "$c_cpu" "$f_cpu" "$(awk "BEGIN { if ($f_cpu > 0) printf \"%.2fx\", $c_cpu / $f_cpu; else print \"-\" }")"
  printf '  processor time per call set-up, floor with the sockets a call hands out: %s us (call manager %s, for information)\n' \
    "$h_cpu" "$(awk "BEGIN { if ($h_cpu > 0) printf \"%.2fx\", $c_cpu / $h_cpu; else print \"-\" }")"
  verdict "$(holds "$f_cpu > 0 && $c_cpu <= 1.4 * $f_cpu && $c_fail == 0 && $f_fail == 0")" \
    "processor time per call set-up <= 1.4x two bare TCP connections ($c_cpu vs $f_cpu us, $c_fail failed)"
}

# floor_run NAME CALLS WHAT [CLIENT_ARG...]: the protocol's floor under the
# rate run's load: server_bench bare on host 1, a one-thread server_bench
# client on each other host making two connections for each of its CALLS
# set-ups.  Prints its lines and sets FLOOR_CPU (processor time per set-up,
# all processes, in us) and FLOOR_FAIL.
floor_run() {
  local name=$1 calls=$2 what=$3 n=$CALLMGR_NET_SIZE i port f_ok f_span f_rate
  shift 3
  local -a pids=()
  start_server "$name" 1 '^ready bare' "$BUILD/bench/server_bench" bare ||
    fail "server_bench bare did not start on host 1"
  port=$(field "$(grep '^ready bare' "$DIR/$name.out")" tcp)
  for ((i = 2; i <= n; i++)); do
    on_host "$i" setpriv --reuid=nobody --regid=nogroup --clear-groups \
      "$BUILD/bench/server_bench" client --addr 198.18.0.1 --port "$port" --threads 1 \
      --requests "$((2 * calls))" "$@" >"$DIR/$name$i.line" 2>&1 &
    pids+=("$!")
  done
  for i in "${pids[@]}"; do wait "$i" || true; done
  stop_server "$name"
  for ((i = 2; i <= n; i++)); do
    printf '  bare TCP client on host %s: %s\n' "$i" "$(cat "$DIR/$name$i.line")"
  done
  printf '  host 1: %s\n' "$(grep '^done' "$DIR/$name.out" || echo 'server_bench bare gave no account')"
  read -r f_ok FLOOR_FAIL f_span f_rate <<<"$(aggregate "$DIR/$name"[0-9]*.line)"
  FLOOR_CPU=$(cpu_per_call "$((f_ok / 2))" < <(sed -n 's/.* cpu_s=\([0-9.]*\).*/\1/p' \
    "$DIR/$name"[0-9]*.line "$DIR/$name.out"))
  printf '  floor (bare TCP server on host 1, %d clients, %s): %s connections in %s s, %s failed: %s set-ups/s\n' \
    "$((n - 1))" "$what" "$f_ok" "$f_span" "$FLOOR_FAIL" "$(awk "BEGIN { printf \"%.0f\", $f_rate / 2 }")"
}

# clients NAME ADDR PORT REQUESTS THREADS: server_bench clients on hosts
# 2..N sharing REQUESTS between them; prints the aggregate.
clients() {
  local name=$1 addr=$2 port=$3 requests=$4 threads=$5 n=$CALLMGR_NET_SIZE i per
  local -a pids=()
  per=$((requests / (n - 1)))
  rm -f "$DIR/$name".client*.line
  for ((i = 2; i <= n; i++)); do
    on_host "$i" setpriv --reuid=nobody --regid=nogroup --clear-groups \
      "$BUILD/bench/server_bench" client --addr "$addr" --port "$port" --threads "$threads" \
      --requests "$per" >"$DIR/$name.client$i.line" 2>&1 &
    pids+=("$!")
  done
  for i in "${pids[@]}"; do wait "$i" || true; done
  for ((i = 2; i <= n; i++)); do
    printf '    host %s: %s\n' "$i" "$(cat "$DIR/$name.client$i.line")"
  done
  aggregate "$DIR/$name".client*.line
}

# sum_rounds FILE: sums "OK FAIL SPAN" lines; prints "OK FAIL SPAN RATE".
sum_rounds() {
  awk '{ ok += $1; f += $2; span += $3 }
       END { rate = 0; if (span > 0) rate = ok / span; printf "%d %d %.3f %.0f\n", ok, f, span, rate }' "$1"
}

server_part() {
  local n=$1 requests=$2 threads=$3 rounds=4 r port_bare port_busy port_acc line rss0 rss1 out
  printf '==== 4. server rate: hosts 2..%s send invitations to host 1, a connection each (%s threads per host)\n' \
    "$n" "$threads"
  # Client hosts make a connection per request: let them reuse their own
  # closed connections' ports, as a busy client host is set up to.
  for ((i = 2; i <= n; i++)); do
    on_host "$i" sysctl -q -w net.ipv4.tcp_tw_reuse=1 net.ipv4.ip_local_port_range="1024 65000" ||
      true
  done

  start_server bare 1 '^ready bare' "$BUILD/bench/server_bench" bare ||
    fail "server_bench bare did not start on host 1"
  port_bare=$(field "$(grep '^ready bare' "$DIR/bare.out")" tcp)
  start_server busy 1 '^ready answer' "$BUILD/bench/server_bench" answer --apps 2 --busy ||
    fail "server_bench answer --busy did not start on host 1"
  port_busy=$(field "$(grep '^ready answer' "$DIR/busy.out")" tcp)

  # A short warm-up of both, then the resident set as the measured run
  # begins.  The two servers take turns in rounds with the same load, so
  # drift in the machine's load falls on both alike.
  clients warm 198.18.0.1 "$port_bare" 3000 "$threads" >/dev/null
  clients warm 198.18.0.1 "$port_busy" 3000 "$threads" >/dev/null
  rss0=$(field "$(ask_server busy rss '^rss_kb=')" rss_kb)
  : >"$DIR/bare.rounds"
  : >"$DIR/busy.rounds"
  local bare_ticks=0 t0
  for ((r = 1; r <= rounds; r++)); do
    t0=$(busy_ticks)
    out=$(clients bare 198.18.0.1 "$port_bare" "$((requests / rounds))" "$threads")
    bare_ticks=$((bare_ticks + $(busy_ticks) - t0))
    printf '  round %s, bare TCP:\n%s\n' "$r" "$(head -n -1 <<<"$out")"
    tail -n 1 <<<"$out" >>"$DIR/bare.rounds"
    out=$(clients busy 198.18.0.1 "$port_busy" "$((requests / rounds))" "$threads")
    printf '  round %s, call manager:\n%s\n' "$r" "$(head -n -1 <<<"$out")"
    tail -n 1 <<<"$out" >>"$DIR/busy.rounds"
  done
  stop_server bare
  read -r b_ok b_fail b_span b_rate <<<"$(sum_rounds "$DIR/bare.rounds")"
  read -r o_ok o_fail o_span o_rate <<<"$(sum_rounds "$DIR/busy.rounds")"
  printf '  bare TCP server: %s answered in %s s, %s failed: %s per second\n' \
    "$b_ok" "$b_span" "$b_fail" "$b_rate"
  printf '  call manager server, applications occupied: %s answered in %s s, %s failed: %s per second\n' \
    "$o_ok" "$o_span" "$o_fail" "$o_rate"
  # What one TCP connection with a little data each way costs the machine
  # (both ends and the kernel), the floor under a protocol that makes a
  # connection per message.
  if ((b_ok > 0)); then
    printf '  processor time per bare TCP connection, whole machine: %s us\n' \
      "$(awk -v t="$bare_ticks" -v hz="$(getconf CLK_TCK)" -v n="$b_ok" \
        'BEGIN { printf "%.0f", t * 1e6 / hz / n }')"
  fi

  # The long run for the memory: CM_REQUESTS more invitations.
  out=$(clients long 198.18.0.1 "$port_busy" "$CM_REQUESTS" "$threads")
  rss1=$(field "$(ask_server busy rss '^rss_kb=')" rss_kb)
  stop_server busy
  read -r l_ok l_fail l_span l_rate <<<"$(tail -n 1 <<<"$out")"
  printf '  call manager server, long run: %s answered in %s s, %s failed: %s per second\n' \
    "$l_ok" "$l_span" "$l_fail" "$l_rate"
  printf '  answering process resident set: %s kB after warm-up, %s kB after %s more invitations (%+d kB)\n' \
    "$rss0" "$rss1" "$((o_ok + l_ok))" "$((rss1 - rss0))"

  start_server accept 1 '^ready answer' "$BUILD/bench/server_bench" answer --apps 2 ||
    fail "server_bench answer did not start on host 1"
  port_acc=$(field "$(grep '^ready answer' "$DIR/accept.out")" tcp)
  out=$(clients accept 198.18.0.1 "$port_acc" "$((requests / rounds))" "$threads")
  stop_server accept
  read -r a_ok a_fail a_span a_rate <<<"$(tail -n 1 <<<"$out")"
  printf '  call manager, auto-accepting applications (for information): %s answered in %s s, %s failed: %s per second; %s\n' \
    "$a_ok" "$a_span" "$a_fail" "$a_rate" \
    "$(grep -h '^done\|Abort\|free\|malloc' "$DIR/accept.out" "$DIR/accept.err" | paste -sd ';' - || true)"

  if ((b_rate > 0)); then
    printf '  occupied answering process / bare TCP: %s\n' \
      "$(awk "BEGIN { printf \"%.2f\", $o_rate / $b_rate }")"
  fi
  verdict "$(holds "$b_rate > 0 && $o_rate >= 0.8 * $b_rate && $o_fail == 0")" \
    "server rate >= 80% of the bare TCP server ($o_rate vs $b_rate per second)"
  verdict "$(holds "$rss1 - $rss0 <= 1024 && $l_fail == 0")" \
    "resident set flat across $((o_ok + l_ok)) invitations (${rss0} -> ${rss1} kB; at most 1 MB of growth allowed)"
}

if [[ ${1:-} == --inside ]]; then
  readonly BUILD=$2 PART=$3
  shift 3
  DIR=$(mktemp -d "${TMPDIR:-/tmp}/callmgr-compare.XXXXXX")
  chmod 0777 "$DIR"
  mkdir -m 0777 "$DIR/home"
  # shellcheck disable=SC2317 # called by the trap
  cleanup_inside() {
    local name fd
    for name in "${!SERVER_IN[@]}"; do
      fd=${SERVER_IN[$name]}
      exec {fd}>&- 2>/dev/null || true
    done
    if [[ -z ${CALLMGR_COMPARE_KEEP:-} ]]; then rm -rf -- "$DIR"; else printf "kept %s\n" "$DIR"; fi
  }
  trap cleanup_inside EXIT
  case $PART in
    rate) rate_part "$@" ;;
    server)
      CM_REQUESTS=$4
      server_part "$1" "$2" "$3"
      ;;
  esac
  exit 0
fi

# ------------------------------------------------------------ on the machine

readonly -a ARGS=("$@")
hosts=4
million=no
quick=no
while (($#)); do
  case $1 in
    --hosts)
      if (($# < 2)) || [[ ! $2 =~ ^[2-8]$ ]]; then fail "--hosts needs a number from 2 to 8"; fi
      hosts=$2
      shift 2
      ;;
    --million) million=yes; shift ;;
    --quick) quick=yes; shift ;;
    -h | --help)
      sed -n '2,36s/^# \{0,1\}//p' "$ROOT/scripts/bench_compare.sh"
      exit 0
      ;;
    *) fail "unknown argument '$1' (see --help)" ;;
  esac
done
as_root "${ARGS[@]}"
# What the build needs, and SIPp for the rate comparison, installed as the
# test command installs its packages.
LOG=$(mktemp "${TMPDIR:-/tmp}/callmgr-compare-build.XXXXXX")
trap 'rm -f -- "$LOG"' EXIT
printf '==== packages\n'
bash "$ROOT/scripts/test.sh" --deps-only sip-tester >"$LOG" 2>&1 ||
  { cat "$LOG" >&2; fail "the packages could not be installed"; }
command -v sipp >/dev/null || fail "sipp not found after installing sip-tester"

readonly BUILD=${CALLMGR_BENCH_BUILD_DIR:-$ROOT/build-bench}
export CALLMGR_BENCH_BUILD_DIR=$BUILD
bash "$ROOT/scripts/benchtree.sh" exchange_bench callsetup_bench bench_peer rate_bench server_bench ||
  fail "the benchmarks do not build"

if [[ $quick == yes ]]; then
  x_iter=60 s_iter=60 calls=300 sipp_calls=1000 requests=6000 cm_requests=6000 conc=1
else
  x_iter=300 s_iter=300 calls=3000 sipp_calls=10000 requests=60000 cm_requests=200000 conc=1
fi
if [[ $million == yes ]]; then cm_requests=1000000; fi
threads=4

printf '==== the machine: %s processors, load average %s\n' "$(nproc)" "$(cut -d' ' -f1-3 /proc/loadavg)"
status=0

printf '==== 1. one exchange (scripts/bench_exchange.sh)\n'
out=$(bash "$ROOT/scripts/bench_exchange.sh" --iterations "$x_iter" --rounds 10 2>&1) || status=1
printf '%s\n' "$out"
# The first table is the run as nobody, as applications run.
row=$(awk '/^==== as nobody/ { on = 1 } /^==== as root/ { on = 0 } on && /^CALL_Send/' <<<"$out")
if [[ -n $row ]]; then
  read -r _ x_med x_p99 _ _ x_p99ratio _ <<<"$row"
  base=$(awk '/^==== as nobody/ { on = 1 } /^==== as root/ { on = 0 } on && /^raw TCP/ { print $3 }' <<<"$out")
  x_ratio=$(awk -v m="$x_med" -v b="${base:-0}" 'BEGIN { if (b > 0) printf "%.2f", m / b; else print 99 }')
  verdict "$(holds "$x_ratio <= 1.5")" \
    "exchange median ${x_med} us, ${x_ratio}x raw TCP's ${base:-?} us (<= 1.5x)"
  verdict "$(holds "$x_p99ratio <= 6")" "exchange p99 ${x_p99} us, ${x_p99ratio}x raw TCP's (<= 6x)"
else
  verdict no "the exchange benchmark gave no CALL_Send figures"
  status=1
fi

printf '==== 2. call set-up latency (scripts/bench.sh)\n'
out=$(bash "$ROOT/scripts/bench.sh" --iterations "$s_iter" 2>&1) || status=1
printf '%s\n' "$out"
row=$(grep -E '^call set-up +CMOpenSession' <<<"$out" || true)
base=$(grep -E '^raw TCP +connect' <<<"$out" | awk '{ print $(NF-5) }' || true)
if [[ -n $row && -n $base ]]; then
  med=$(awk '{ print $(NF-5) }' <<<"$row")
  ratio=$(awk -v m="$med" -v b="$base" 'BEGIN { if (b > 0) printf "%.2f", m / b; else print 99 }')
  verdict "$(holds "$ratio <= 3")" \
    "call set-up median ${med} us, ${ratio}x raw TCP's ${base} us (<= 3x)"
else
  verdict no "the call set-up benchmark gave no call set-up figures"
  status=1
fi

bash "$ROOT/scripts/testhost.sh" net "$hosts" -- \
  bash "$ROOT/scripts/bench_compare.sh" --inside "$BUILD" rate "$hosts" "$calls" "$conc" "$sipp_calls" || status=1
bash "$ROOT/scripts/testhost.sh" net "$hosts" -- \
  bash "$ROOT/scripts/bench_compare.sh" --inside "$BUILD" server "$hosts" "$requests" "$threads" \
  "$cm_requests" || status=1
# ---- 5. conference growth: no goal, its figures are for information.
growth_args=()
if [[ $quick == yes ]]; then growth_args=(--quick); fi
printf '==== 5. conference growth (scripts/bench_growth.sh)\n'
bash "$ROOT/scripts/bench_growth.sh" "${growth_args[@]}" || status=1
# ---- end of 5.

printf '==== load average at the end: %s\n' "$(cut -d' ' -f1-3 /proc/loadavg)"
exit "$status"
