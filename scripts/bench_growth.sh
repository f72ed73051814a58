#!/usr/bin/env bash
# Conference growth: a call grown member by member through the Invite dialog
# on a net of N isolated hosts, for N = 2, 4, 8 and 16.
#
#   bash scripts/bench_growth.sh [--sizes "N..."] [--rounds R] [--quick]
#                                [--programs DIR]
#
# Needs root (the hosts are namespaces; asks sudo otherwise).  Builds
# growth_bench in the optimised tree of scripts/benchtree.sh (build-bench/, or
# CALLMGR_BENCH_BUILD_DIR) unless --programs names a folder that holds one
# already built.  For each N it makes a net of N hosts (scripts/testhost.sh
# net N), starts `growth_bench member` (one auto-accepting application that
# keeps its calls) on hosts 2..N, and on host 1 `growth_bench invite`, which
# starts a call with host 2 through the Invite dialog and then adds hosts
# 3..N one at a time the same way, each time waiting until the new member
# has accepted.  All programs run as the user nobody, as applications do.
# Each net runs R growths (--rounds, default 5), each with fresh
# applications on every host.  Per N it prints, as medians over the rounds:
#   - the time from the first CMInvite until every member has joined, and
#     each addition's time (in all, in the dialog, and the inviting
#     process's processor time);
#   - the call protocol's messages by procedure: invitations and updates
#     sent and acceptances received by host 1 (a notification each:
#     CMN_RINGING, CMN_UPDATING, code 2), checked against what the members'
#     applications received, and beside them what a model with an update to
#     every joined member at each addition predicts (quadratic in N);
#   - what went over the wire: TCP connections opened on all hosts (each
#     message is one, and so is each port-mapper query) and the packets and
#     bytes the hosts sent on their Ethernet links;
#   - the processor time of all processes while the call grew (the
#     inviting application's from its first CMInvite to the last
#     acceptance, each member's from when it was ready to its last call
#     event, and the hosts' port mappers'), and apart from it the
#     applications' start-up;
#   - each of these per added member.
# --sizes takes other net sizes (2 to 16); --quick is a smoke run: one
# growth on a net of 3 hosts.  Exit status 0 when every member joined every
# time and the counts agree, 1 otherwise.
set -euo pipefail
cd "$(dirname -- "${BASH_SOURCE[0]}")/.."
readonly ROOT=$PWD
# shellcheck source=scripts/benchlib.sh
. "$ROOT/scripts/benchlib.sh"

# ------------------------------------------------------------ inside host 1

# host_counters I: "CONNECTIONS PACKETS BYTES NS" of host I so far: TCP
# connections it opened, packets and bytes it sent on eth0, and the
# processor time of its port mapper (the rpcbind whose parent is the host's
# keeper, pid 1 there) in nanoseconds, which the scheduler counts finer
# than the ticks of /proc/PID/stat.
host_counters() {
  # shellcheck disable=SC2016 # expanded by the shell on the host
  on_host "$1" bash -c '
    awk "/^Tcp:/ { if (!h) { for (i = 1; i <= NF; i++) c[\$i] = i; h = 1 } else print \$c[\"ActiveOpens\"] }" /proc/net/snmp
    awk "{ sub(/^ */, \"\") } /^eth0:/ { sub(/^eth0: */, \"\"); split(\$0, f, / +/); print f[10], f[9] }" /proc/net/dev
    pid=$(awk "\$2 == \"(rpcbind)\" && \$4 == 1 { print \$1; exit }" /proc/[0-9]*/stat 2>/dev/null)
    if [[ -n $pid ]]; then cut -d" " -f1 "/proc/$pid/schedstat"; else echo 0; fi
  ' | paste -sd ' ' -
}

# counters N: host_counters of hosts 1..N, a line each.
counters() {
  local i
  for ((i = 1; i <= $1; i++)); do host_counters "$i"; done
}

# Our ends of the members' standard input: closing one stops that member.
declare -a MEMBER_IN=()

# round PROG N R: one growth to N members with fresh applications on every
# host; prints its "result ..." line.
round() {
  local prog=$1 n=$2 r=$3 i fd tries
  local -a names=() pids=() nobody
  nobody=(setpriv --reuid=nobody --regid=nogroup --clear-groups
    env HOME="$DIR/home" XDG_DATA_HOME="$DIR/home/.local/share")

  for ((i = 2; i <= n; i++)); do
    rm -f "$DIR/member$i".*
    mkfifo "$DIR/member$i.in"
    on_host "$i" "${nobody[@]}" "$prog" member \
      <"$DIR/member$i.in" >"$DIR/member$i.out" 2>"$DIR/member$i.err" &
    pids+=("$!")
    exec {fd}>"$DIR/member$i.in"
    MEMBER_IN+=("$fd")
    names+=("host$i.callmgr.test")
  done
  for ((i = 2; i <= n; i++)); do
    for ((tries = 0; tries < 300; tries++)); do
      if grep -q '^ready member' "$DIR/member$i.out" 2>/dev/null; then break; fi
      sleep 0.1 # set-up polling of a program on another host, bounded
    done
    grep -q '^ready member' "$DIR/member$i.out" ||
      { cat "$DIR/member$i.out" "$DIR/member$i.err" >&2; fail "the member on host $i did not start"; }
  done

  local before after rc=0
  before=$(counters "$n")
  "${nobody[@]}" "$prog" invite "${names[@]}" >"$DIR/grow.out" 2>"$DIR/grow.err" || rc=$?
  after=$(counters "$n")
  for fd in "${MEMBER_IN[@]}"; do exec {fd}>&-; done
  MEMBER_IN=()
  for i in "${pids[@]}"; do wait "$i" || rc=1; done

  cat "$DIR/grow.err" >&2
  local grow steps
  grow=$(grep '^grow ' "$DIR/grow.out" || true)
  [[ -n $grow ]] || fail "growth_bench invite gave no account (status $rc)"
  # Each addition: milliseconds in all, of them in the dialog, and the
  # inviting process's processor time.
  steps=$(awk '/^step / { for (i = 2; i <= NF; i++) { split($i, p, "="); v[p[1]] = p[2] }
    printf "%s%s/%s/%s", (n++ ? "," : ""), v["ms"], v["dialog_ms"], v["cpu_ms"] }' "$DIR/grow.out")

  # What the members received, and their processor time before they were
  # ready and from then to their last call event.
  local joined=0 updated=0 refused=0 member_cpu=0 startup ready last done_line u
  local -a updates_at=()
  startup=$(field "$grow" start_cpu_s)
  for ((i = 2; i <= n; i++)); do
    ready=$(field "$(grep '^ready member' "$DIR/member$i.out")" cpu_s)
    last=$(grep -E '^(joined|updated) ' "$DIR/member$i.out" | tail -n 1 || true)
    last=$(if [[ -n $last ]]; then field "$last" cpu_s; else echo "$ready"; fi)
    done_line=$(grep '^done member' "$DIR/member$i.out" || true)
    [[ -n $done_line ]] || { cat "$DIR/member$i.err" >&2; fail "the member on host $i gave no account"; }
    u=$(field "$done_line" updated)
    joined=$((joined + $(field "$done_line" joined)))
    updated=$((updated + u))
    refused=$((refused + $(field "$done_line" refused)))
    updates_at+=("$u")
    member_cpu=$(awk -v a="$member_cpu" -v r="$ready" -v l="$last" 'BEGIN { print a + l - r }')
    startup=$(awk -v a="$startup" -v r="$ready" 'BEGIN { print a + r }')
  done

  # What happened on each host meanwhile, then the sums.
  local deltas conns packets bytes rpcbind_cpu
  deltas=$(paste -d ' ' <(printf '%s\n' "$before") <(printf '%s\n' "$after") |
    awk '{ printf "%d %d %d %.0f\n", $5 - $1, $6 - $2, $7 - $3, $8 - $4 }')
  read -r conns packets bytes rpcbind_cpu <<<"$(awk '{ c += $1; p += $2; b += $3; t += $4 }
    END { printf "%d %d %d %.6f\n", c, p, b, t / 1e9 }' <<<"$deltas")"
  printf 'result n=%s round=%s members=%s ms=%s invitations=%s updates=%s accepted=%s received_invitations=%s received_updates=%s refused=%s connections=%s connections_per_host=%s packets=%s bytes=%s inviter_cpu_s=%s members_cpu_s=%s rpcbind_cpu_s=%s start_cpu_s=%s steps_ms=%s updates_per_member=%s\n' \
    "$n" "$r" "$(field "$grow" members)" "$(field "$grow" ms)" "$(field "$grow" invitations)" \
    "$(field "$grow" updates)" "$(field "$grow" accepted)" "$joined" "$updated" "$refused" \
    "$conns" "$(cut -d ' ' -f1 <<<"$deltas" | paste -sd , -)" "$packets" "$bytes" \
    "$(awk -v s="$(field "$grow" start_cpu_s)" -v c="$(field "$grow" cpu_s)" 'BEGIN { print c - s }')" \
    "$member_cpu" "$rpcbind_cpu" "$startup" "$steps" "$(IFS=,; printf '%s' "${updates_at[*]}")"
  if [[ $grow == *failure:* ]]; then printf '  %s\n' "$grow"; fi
  return "$rc"
}

# inside PROG N ROUNDS: ROUNDS growths on this net.
inside() {
  local prog=$1 n=$2 rounds=$3 r rc=0
  DIR=$(mktemp -d "${TMPDIR:-/tmp}/callmgr-growth.XXXXXX")
  chmod 0777 "$DIR"
  mkdir -m 0777 "$DIR/home"
  trap 'for fd in "${MEMBER_IN[@]}"; do exec {fd}>&- 2>/dev/null || true; done; rm -rf -- "$DIR"' EXIT
  for ((r = 1; r <= rounds; r++)); do round "$prog" "$n" "$r" || rc=1; done
  return "$rc"
}

if [[ ${1:-} == --inside ]]; then
  inside "$2" "$3" "$4"
  exit $?
fi

# ------------------------------------------------------------ on the machine

readonly -a ARGS=("$@")
sizes="2 4 8 16"
rounds=5
programs=""
while (($#)); do
  case $1 in
    --sizes)
      (($# >= 2)) || fail "--sizes needs net sizes"
      for n in $2; do
        [[ $n =~ ^[0-9]+$ ]] && ((n >= 2 && n <= 16)) || fail "--sizes: '$n' is not 2 to 16"
      done
      sizes=$2
      shift 2
      ;;
    --rounds)
      if (($# < 2)) || [[ ! $2 =~ ^[1-9][0-9]?$ ]]; then fail "--rounds needs a number from 1 to 99"; fi
      rounds=$2
      shift 2
      ;;
    --quick)
      sizes=3
      rounds=1
      shift
      ;;
    --programs)
      (($# >= 2)) || fail "--programs needs a folder"
      programs=$(cd "$2" && pwd) || fail "--programs: no folder '$2'"
      [[ -x $programs/growth_bench ]] || fail "--programs: no growth_bench in $programs"
      shift 2
      ;;
    -h | --help)
      sed -n '2,38s/^# \{0,1\}//p' "$ROOT/scripts/bench_growth.sh"
      exit 0
      ;;
    *) fail "unknown argument '$1' (see --help)" ;;
  esac
done
as_root "${ARGS[@]}"

if [[ -z $programs ]]; then
  readonly BUILD=${CALLMGR_BENCH_BUILD_DIR:-$ROOT/build-bench}
  CALLMGR_BENCH_BUILD_DIR=$BUILD bash "$ROOT/scripts/benchtree.sh" growth_bench ||
    fail "growth_bench does not build"
  programs=$BUILD/bench
fi

# medians: the "result" lines of one net size on standard input, made one:
# each number the median over the rounds (each addition's figures too,
# place by place), the lists of counts those of the first round.
medians() {
  awk '
    function median(a, n,   i, j, t) {
      for (i = 2; i <= n; i++) for (j = i; j > 1 && a[j - 1] > a[j]; j--) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
      return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
    }
    { rounds++
      for (i = 2; i <= NF; i++) {
        split($i, p, "=")
        if (rounds == 1) keys[++nkeys] = p[1]
        if (p[1] == "steps_ms") {
          ns = split(p[2], st, ",")
          for (k = 1; k <= ns; k++) { split(st[k], c, "/"); for (m = 1; m <= 3; m++) step[k, m, rounds] = c[m] }
        } else {
          val[p[1], rounds] = p[2]
        }
      }
    }
    END {
      line = "result"
      for (q = 1; q <= nkeys; q++) {
        key = keys[q]
        if (key == "steps_ms") {
          text = ""
          for (k = 1; k <= ns; k++) {
            for (m = 1; m <= 3; m++) { for (r = 1; r <= rounds; r++) a[r] = step[k, m, r]; c[m] = median(a, rounds) }
            text = text (k > 1 ? "," : "") sprintf("%.2f/%.2f/%.2f", c[1], c[2], c[3])
          }
        } else if (key ~ /_per_/) {
          text = val[key, 1]
        } else {
          for (r = 1; r <= rounds; r++) a[r] = val[key, r]
          text = median(a, rounds)
        }
        line = line " " key "=" text
      }
      print line " rounds=" rounds
    }'
}

printf '==== conference growth: host 1 grows a call through the Invite dialog to N members on N hosts, %s\n' \
  "$(if ((rounds == 1)); then echo once; else echo "$rounds times each"; fi)"
status=0
results=()
for n in $sizes; do
  out=$(bash "$ROOT/scripts/testhost.sh" net "$n" -- \
    bash "$ROOT/scripts/bench_growth.sh" --inside "$programs/growth_bench" "$n" "$rounds" 2>&1) ||
    status=1
  lines=$(grep '^result ' <<<"$out" || true)
  grep -v '^result ' <<<"$out" || true
  if [[ -z $lines ]]; then
    printf '  N=%s: no result\n' "$n"
    status=1
    continue
  fi
  # Every member joined, each message was sent once and arrived: the
  # acceptances are the members, the members received what was sent, and
  # every round sent the same.
  while read -r line; do
    if [[ $(field "$line" members) != "$n" || $(field "$line" accepted) != $((n - 1)) ||
      $(field "$line" received_invitations) != "$(field "$line" invitations)" ||
      $(field "$line" received_updates) != "$(field "$line" updates)" ||
      $(field "$line" refused) != 0 ||
      $(field "$line" updates_per_member) != "$(field "$(head -n 1 <<<"$lines")" updates_per_member)" ]]; then
      printf '  N=%s: counts disagree: %s\n' "$n" "$line"
      status=1
    fi
  done <<<"$lines"
  results+=("$(medians <<<"$lines")")
done
((${#results[@]} > 0)) || exit 1

# The table.  msgs = invitations + updates + acceptances; the quadratic
# model sends, at the addition of member k (k >= 3), an update to each of
# the k - 2 members already joined: (N-1)(N-2)/2 updates in all.
printf '\n%3s %8s %8s | %4s %4s %4s %5s %6s | %5s %7s %7s | %7s %7s %7s %7s %7s | %7s\n' \
  N ms ms/add inv upd acc msgs quadr conns packets kB \
  'cpu ms' cpu/add inviter members rpcbind startup
for line in "${results[@]}"; do
  awk -v l="$line" 'BEGIN {
    n = split(l, kv, " ");
    for (i = 2; i <= n; i++) { split(kv[i], p, "="); v[p[1]] = p[2] }
    N = v["n"]; added = N - 1;
    msgs = v["invitations"] + v["updates"] + v["accepted"];
    model = 2 * (N - 1) + (N - 1) * (N - 2) / 2;
    cpu = (v["inviter_cpu_s"] + v["members_cpu_s"] + v["rpcbind_cpu_s"]) * 1000;
    printf "%3d %8.1f %8.2f | %4d %4d %4d %5d %6d | %5d %7d %7.1f | %7.1f %7.2f %7.1f %7.1f %7.1f | %7.1f\n",
      N, v["ms"], v["ms"] / added, v["invitations"], v["updates"], v["accepted"], msgs, model,
      v["connections"], v["packets"], v["bytes"] / 1000, cpu, cpu / added,
      v["inviter_cpu_s"] * 1000, v["members_cpu_s"] * 1000, v["rpcbind_cpu_s"] * 1000,
      v["start_cpu_s"] * 1000 }'
done
cat <<'EOF'
  Medians over the rounds.  ms: from the first CMInvite until every member has joined;
  inv, upd, acc: invitations and updates sent, acceptances received; msgs: their sum;
  quadr: msgs with an update to every joined member at each addition,
  2(N-1) + (N-1)(N-2)/2; conns, packets, kB: TCP connections opened, Ethernet packets
  and kilobytes sent, all hosts; cpu ms: processor time while the call grew, of the
  inviting application (first CMInvite to last acceptance), the members' (ready to
  their last call event) and the hosts' port mappers (rpcbind); startup: the
  applications' start-up (loading, registering), not in cpu ms.
EOF
for line in "${results[@]}"; do
  n=$(field "$line" n)
  printf '  N=%s, each addition (member 2 first), ms in all/in the dialog/inviter cpu:\n    %s\n' \
    "$n" "$(field "$line" steps_ms | sed 's/,/  /g')"
  printf '  N=%s, updates received by hosts 2..N: %s; TCP connections opened by hosts 1..N: %s\n' \
    "$n" "$(field "$line" updates_per_member | sed 's/,/ /g')" \
    "$(field "$line" connections_per_host | sed 's/,/ /g')"
done
exit "$status"
