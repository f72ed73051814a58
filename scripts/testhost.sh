#!/usr/bin/env bash
# Isolated test hosts for tests that serve or call RPC.
#
#   testhost.sh run  [--hostname NAME] [--hosts-entry "ADDR NAME [ALIAS...]"]...
#                    [--no-rpcbind] [--silent ADDR] [--list-directly] -- COMMAND [ARG...]
#   testhost.sh pair [--a-hostname NAME] [--b-hostname NAME] [--a-no-rpcbind]
#                    [--list-directly] [--hosts-entry "ADDR NAME [ALIAS...]"]... -- COMMAND [ARG...]
#   testhost.sh net N [--hostname I NAME]... [--list-directly]
#                    [--hosts-entry "ADDR NAME [ALIAS...]"]... -- COMMAND [ARG...]
#   testhost.sh exec PID [NAME=VALUE]... -- COMMAND [ARG...]
#   testhost.sh net-exec PIDS NAMES I -- COMMAND [ARG...]
#
# A host is a set of fresh namespaces held open by one keeper process:
#   net    loopback only (plus eth0 in a pair or net), so no packet leaves
#          the hosts;
#   mount  /run is a private tmpfs, so rpcbind's socket, lock and state are the
#          host's own; /proc shows the host's processes; /etc/hosts,
#          /etc/nsswitch.conf and /etc/resolv.conf are generated: names come from
#          the hosts file only, so no name query ever reaches a resolver;
#   uts    the host's own name;
#   pid    the keeper is the host's init: when it ends, whatever a test left
#          running in the host ends with it.
# The keeper starts the host's rpcbind, reports that the host is ready, and
# waits for a line or end of file on its control pipe; then it stops rpcbind
# and exits, and the kernel takes the namespaces and mounts away.  Nothing is
# named, mounted or registered on the machine itself, so even a killed run
# leaves nothing behind but its temporary directory.
#
# run   COMMAND runs in a host named NAME (default hosta.callmgr.test, short name
#       hosta, address 127.0.1.1).  The exit status is COMMAND's.  With
#       --no-rpcbind the host has no rpcbind: port 111 is free for a test's
#       own port mapper.  With --silent the IPv4 address ADDR is a host
#       that drops every packet: it is routed over a veth whose far end is
#       down, with a fixed neighbour entry, so what is sent to it is dropped
#       without a word and a connection to it neither succeeds nor fails.
# pair  Hosts A and B, made as a net of 2 (see net) named hosta.callmgr.test
#       and hostb.callmgr.test unless told otherwise.  COMMAND runs in A with
#       CALLMGR_PEER_EXEC set to a command prefix that runs a command in B:
#           $CALLMGR_PEER_EXEC -- ./peer-program args
#       and CALLMGR_PEER_NAME and CALLMGR_PEER_ADDR naming B (in B, naming A).
#       With --a-no-rpcbind host A has no rpcbind (B has its own), as with
#       run's --no-rpcbind.
# net   Hosts 1 to N (N from 1 to 16), each with its eth0 on one Ethernet
#       bridge; eth0 in host I is 198.18.0.I/24 (a benchmarking range that only
#       ever exists inside our namespaces).  The bridge lives in a network
#       namespace of its own, so every host looks alike: lo and eth0.  Host I
#       is named hostI.callmgr.test, short name hostI, unless --hostname I NAME
#       says otherwise; every hosts file names every host.  COMMAND runs in
#       host 1 with CALLMGR_NET_SIZE set to N and CALLMGR_NET_EXEC set to a
#       command prefix that runs a command in host I (1 included):
#           $CALLMGR_NET_EXEC I -- ./program args
#       Only host 1 can reach the others this way: in host I (I > 1) the
#       variable is not set.
# exec  Runs COMMAND in the host whose keeper is PID (as the caller sees it),
#       with the given variables set.  This is what CALLMGR_PEER_EXEC calls.
# net-exec  Runs COMMAND in host I of a net whose keepers are PIDS and whose
#       names are NAMES (comma-separated, in host order, pids as host 1 sees
#       them), with CALLMGR_HOST_NAME and CALLMGR_HOST_ADDR naming host I.
#       This is what CALLMGR_NET_EXEC calls.
# --list-directly  When ARGs ask a GoogleTest program for its list of tests
#       (--gtest_list_tests), COMMAND runs as it is, on no host: listing runs
#       no test, and so CTest can list the tests of a build as any user.
#
# Inside a host: CALLMGR_HOST_NAME and CALLMGR_HOST_ADDR name the host itself;
# in a pair also CALLMGR_PEER_NAME and CALLMGR_PEER_ADDR name the other one;
# in a net (and a pair) CALLMGR_NET_SIZE is the number of hosts.
# When COMMAND ends, however it ends, every host is stopped and its
# namespaces go; should this script itself be killed, the keepers see their
# control pipes close and stop all the same.
# Exit status 125 means the hosts could not be set up.  Needs root.
set -euo pipefail

# rpcbind, ip and friends live in sbin, which a plain user PATH may lack.
PATH=$PATH:/usr/sbin:/sbin

# Absolute, so keepers and peer commands find it from any directory.
SELF=${BASH_SOURCE[0]}
[[ $SELF == /* ]] || SELF=$PWD/$SELF
readonly SELF

readonly ADDR_LOOP=127.0.1.1 PREFIX_LEN=24
# Host I of a net is NET_PREFIX.I; a pair's A and B are hosts 1 and 2.
readonly NET_PREFIX=198.18.0 NET_MAX=16
readonly ADDR_A=$NET_PREFIX.1 ADDR_B=$NET_PREFIX.2

die() {
  printf 'testhost: %s\n' "$*" >&2
  exit 125
}

# usage [STATUS]: the synopsis at the top of this file.
usage() {
  local status=${1:-125}
  if ((status == 0)); then exec 2>&1; fi
  sed -n '4,11s/^# \{0,1\}//p' "$SELF" >&2
  exit "$status"
}

# ---------------------------------------------------------------- keeper side

# Prints "pid ..." to stdout: our pid as each pid namespace sees it.  Read
# while /proc is still the machine's, whose view spans all of them.  One
# mapfile reads the file in one go: read line by line, the kernel would
# render it afresh at every line, with other values.
report_pid() {
  local i
  local -a status nspid=()
  mapfile -t status </proc/self/status
  for i in "${status[@]}"; do
    if [[ $i == NSpid:* ]]; then read -r -a nspid <<<"${i#NSpid:}"; fi
  done
  ((${#nspid[@]} >= 2)) || { echo "testhost: no pid namespace" >&2; exit 1; }
  printf 'pid %s\n' "${nspid[*]}"
}

# The keeper of a net's bridge: it only holds its network namespace open,
# in which the parent makes the bridge and plugs the hosts in.  Its pid
# namespace nests in host 1's, so it cannot outlive that host.
bridge_keeper() {
  report_pid
  printf 'ready\n'
  exec >/dev/null
  read -r _ || true
  exit 0
}

# start_rpcbind BASE: the host's rpcbind, in rpcbind_pid, once it answers.
# Foreground (-f) so its pid is ours to stop.  No warm start (-w): the state
# it would read is born empty with this /run.  Variables that would make it
# talk to a service manager are dropped.
start_rpcbind() {
  local base=$1 i
  (
    unset NOTIFY_SOCKET LISTEN_FDS LISTEN_PID LISTEN_FDNAMES
    exec rpcbind -f
  ) </dev/null >"$base.rpcbind.log" 2>&1 &
  rpcbind_pid=$!
  # Set-up polling, bounded to five seconds: rpcbind tells nobody when it is
  # ready, so ask it as a client would.
  for ((i = 0; i < 500; i++)); do
    if rpcinfo -p 127.0.0.1 >/dev/null 2>&1; then return 0; fi
    if ! kill -0 "$rpcbind_pid" 2>/dev/null; then
      echo "testhost: rpcbind ended on start:" >&2
      cat "$base.rpcbind.log" >&2
      exit 1
    fi
    sleep 0.01
  done
  echo "testhost: rpcbind does not answer on 127.0.0.1" >&2
  stop 1
}

# Runs as init of a fresh pid namespace, inside fresh net, mount and uts
# namespaces.  stdin is the control pipe; stdout, the ready pipe, gets
# "pid ..." (our pid as each pid namespace sees it) at once and "ready" when
# the host is.  BASE is the path prefix of the host's files.  Every program
# started costs tens of milliseconds on a busy machine, so set-up starts as
# few as it can.
keeper() {
  local base=$1 name=$2 with_rpcbind=${3:-yes} silent=${4:-} resolv=/etc/resolv.conf
  local rpcbind_pid=""

  report_pid
  mount -t proc proc /proc
  ip link set lo up
  if [[ -n $silent ]]; then
    ip link add silent0 type veth peer name silent1
    ip link set silent0 up
    ip route add "$silent/32" dev silent0
    ip neigh add "$silent" lladdr 02:00:00:00:00:01 dev silent0 nud permanent
  fi

  # resolv.conf may be a link into /run, which is about to be replaced.
  if [[ -L $resolv ]]; then resolv=$(readlink -f "$resolv"); fi
  mount -t tmpfs -o mode=0755,size=16m,nosuid,nodev callmgr-run /run
  # Debian's rpcbind drops to _rpc and keeps its state files here.
  mkdir -m 0755 /run/rpcbind
  chown _rpc:root /run/rpcbind
  if [[ $resolv == /run/* ]]; then
    mkdir -p "${resolv%/*}"
    : >"$resolv"
  fi
  mount --bind "$base.hosts" /etc/hosts
  mount --bind "$base.nsswitch.conf" /etc/nsswitch.conf
  mount --bind "$base.resolv.conf" "$resolv"
  printf '%s\n' "$name" >/proc/sys/kernel/hostname

  stop() {
    if [[ -n $rpcbind_pid ]]; then
      kill -TERM "$rpcbind_pid" 2>/dev/null || true
      wait "$rpcbind_pid" 2>/dev/null || true
    fi
    exit "${1:-0}"
  }
  trap stop TERM INT HUP
  if [[ $with_rpcbind == yes ]]; then start_rpcbind "$base"; fi

  printf 'ready\n'
  exec >/dev/null
  # A line asks us to stop.  End of file means the script that started us
  # is gone: its temporary directory is ours to remove.
  if ! read -r _; then
    case ${base%/*} in
      */callmgr-testhost.*) rm -rf -- "${base%/*}" ;;
    esac
  fi
  stop
}

# ---------------------------------------------------------------- parent side

WORK=""
# yes or no: whether the hosts started get an rpcbind; the first host of a
# net may differ.
WITH_RPCBIND=yes FIRST_RPCBIND=yes
# The address of a host that drops every packet, or empty for none.
SILENT=""
# Per host, in start order: control pipe and ready pipe (our ends), the
# launched process, and the keeper's pids, blank-separated (the machine's
# first, then each nested pid namespace's).
declare -a CTL=() READY=() LAUNCHED=() NSPID=()

# Our pipe ends are ours alone: a child holding a control pipe would keep its
# keeper from seeing end of file should this script die.
close_our_fds() {
  local fd
  for fd in "${CTL[@]}" "${READY[@]}"; do
    if [[ -n $fd ]]; then exec {fd}>&-; fi
  done
}

# Stops the hosts, newest first: a peer host lives inside its first host's
# pid namespace and would otherwise be killed rather than stopped.
cleanup() {
  local rc=$? i fd
  trap - EXIT INT TERM HUP
  trap '' PIPE
  for ((i = ${#LAUNCHED[@]} - 1; i >= 0; i--)); do
    fd=${CTL[i]:-}
    if [[ -n $fd ]]; then
      printf 'stop\n' >&"$fd" 2>/dev/null || true
      exec {fd}>&-
    fi
    wait "${LAUNCHED[i]}" 2>/dev/null || true
  done
  if [[ -n $WORK ]]; then rm -rf -- "$WORK"; fi
  exit "$rc"
}

preflight() {
  local tool
  ((EUID == 0)) || die "needs root (network, mount and pid namespaces)"
  for tool in ip unshare nsenter rpcbind rpcinfo mkfifo; do
    command -v "$tool" >/dev/null ||
      die "$tool not found (apt-get install iproute2 util-linux rpcbind)"
  done
  trap cleanup EXIT
  trap 'exit 129' HUP
  trap 'exit 130' INT
  trap 'exit 143' TERM
  WORK=$(mktemp -d "${TMPDIR:-/tmp}/callmgr-testhost.XXXXXX")
}

# list_directly LIST_DIRECTLY COMMAND...: runs COMMAND here if it only lists
# GoogleTest tests and listing directly was asked for; returns otherwise.
list_directly() {
  local wanted=$1 arg
  shift
  [[ $wanted == yes ]] || return 0
  for arg in "$@"; do
    if [[ $arg == --gtest_list_tests ]]; then exec "$@"; fi
  done
}

check_hostname() {
  [[ $1 =~ ^[A-Za-z0-9]([A-Za-z0-9.-]{0,62})$ ]] || die "bad host name: '$1'"
}

check_entry() {
  local -a word
  read -r -a word <<<"$1"
  ((${#word[@]} >= 2)) && [[ ${word[0]} =~ ^[0-9A-Fa-f.:]+$ ]] ||
    die "bad hosts entry: '$1' (want \"ADDR NAME [ALIAS...]\")"
}

# "ADDR NAME SHORT": a host's own line, with its short name when it has one.
host_line() {
  local addr=$1 name=$2
  if [[ $name == *.* ]]; then
    printf '%s\t%s %s\n' "$addr" "$name" "${name%%.*}"
  else
    printf '%s\t%s\n' "$addr" "$name"
  fi
}

# Name service of a test host: names come from /etc/hosts alone, never from
# a resolver.
readonly NSSWITCH='passwd:    files
group:     files
shadow:    files
gshadow:   files
hosts:     files
networks:  files
protocols: files
services:  files
ethers:    files
rpc:       files
netgroup:  files'

# write_host_files BASE LINE... : the files a host's /etc shows, named
# BASE.hosts and so on.
write_host_files() {
  local base=$1
  shift
  printf '127.0.0.1\tlocalhost\n' >"$base.hosts"
  printf '%s\n' "$@" >>"$base.hosts"
  printf '%s\n' "$NSSWITCH" >"$base.nsswitch.conf"
  printf 'nameserver 127.0.0.1\n' >"$base.resolv.conf"
}

# start_host BASE NAME [PARENT_KEEPER [ROLE]]: starts a keeper, BASE.ctl and
# BASE.ready being its pipes, and learns its pids.  With PARENT_KEEPER the new
# pid namespace nests in that host's, so commands there can see, and enter,
# the new host.  ROLE _bridge starts a bridge keeper instead of a host's.
start_host() {
  local base=$1 name=$2 parent=${3:-} role=${4:-_keeper} ctl ready line=""
  local -a enter=()
  if [[ -n $parent ]]; then enter=(nsenter "--pid=/proc/$parent/ns/pid" --); fi
  (
    close_our_fds
    exec "${enter[@]}" unshare --net --mount --uts --pid --fork --kill-child \
      --propagation private -- "$BASH" "$SELF" "$role" "$base" "$name" "$WITH_RPCBIND" \
      "$SILENT"
  ) <"$base.ctl" >"$base.ready" &
  LAUNCHED+=("$!")
  exec {ctl}>"$base.ctl"
  CTL+=("$ctl")
  exec {ready}<"$base.ready"
  READY+=("$ready")
  read -r -t 30 line <&"$ready" || true
  [[ $line == "pid "* ]] || die "host $name could not be started"
  NSPID+=("${line#pid }")
}

# await_host I NAME: waits until host I is ready.
await_host() {
  local i=$1 name=$2 fd=${READY[$1]} line=""
  read -r -t 30 line <&"$fd" || true
  exec {fd}>&-
  READY[i]=""
  [[ $line == ready ]] || die "host $name could not be set up"
}

# in_host PID COMMAND...: COMMAND in the host whose keeper is PID.
in_host() {
  local pid=$1
  shift
  exec nsenter --target "$pid" --net --mount --uts --pid --wdns="$PWD" -- "$@"
}

# Runs COMMAND in the first host and returns its status.  It runs in the
# background so a signal to this script still reaches its trap at once.
run_command() {
  local stdin rc=0
  exec {stdin}<&0
  (
    close_our_fds
    in_host "${NSPID[0]%% *}" "$@"
  ) <&"$stdin" &
  wait "$!" || rc=$?
  return "$rc"
}

# Waits until eth0 in the host of PID is up, carrier and queue included:
# until then the kernel drops what is sent on it.  Bounded set-up polling.
wait_link_up() {
  local pid=$1 i
  for ((i = 0; i < 500; i++)); do
    if [[ $(nsenter --target "$pid" --net -- ip -o link show dev eth0) == *"state UP"* ]]; then
      return 0
    fi
    sleep 0.01
  done
  die "eth0 in the host of keeper $pid does not come up"
}

cmd_run() {
  local name=hosta.callmgr.test listing=no
  local -a entries=()
  while (($#)); do
    case $1 in
      --hostname) (($# >= 2)) || usage; name=$2; shift 2 ;;
      --list-directly) listing=yes; shift ;;
      --hosts-entry) (($# >= 2)) || usage; entries+=("$2"); shift 2 ;;
      --no-rpcbind) WITH_RPCBIND=no; shift ;;
      --silent) (($# >= 2)) || usage; SILENT=$2; shift 2 ;;
      --) shift; break ;;
      *) usage ;;
    esac
  done
  (($#)) || usage
  list_directly "$listing" "$@"
  check_hostname "$name"
  local entry
  for entry in "${entries[@]}"; do check_entry "$entry"; done
  [[ -z $SILENT || $SILENT =~ ^[0-9]{1,3}(\.[0-9]{1,3}){3}$ ]] || die "bad address: '$SILENT'"

  preflight
  write_host_files "$WORK/a" "$(host_line "$ADDR_LOOP" "$name")" "${entries[@]}"
  mkfifo -- "$WORK/a.ctl" "$WORK/a.ready"
  start_host "$WORK/a" "$name"
  await_host 0 "$name"

  local rc=0
  unset CALLMGR_PEER_NAME CALLMGR_PEER_ADDR CALLMGR_PEER_EXEC
  unset CALLMGR_NET_SIZE CALLMGR_NET_EXEC
  export CALLMGR_HOST_NAME=$name CALLMGR_HOST_ADDR=$ADDR_LOOP
  run_command "$@" || rc=$?
  return "$rc"
}

# start_net NAME...: hosts 1 to N named NAME..., plugged into one bridge
# (see net above); ENTRIES go to every hosts file.  Leaves in NET_PIDS each
# host's keeper as host 1's pid namespace numbers it.
declare -a ENTRIES=() NET_PIDS=()
start_net() {
  local -a names=("$@") lines=() ids
  local n=$# i kbr batch
  for ((i = 1; i <= n; i++)); do
    lines+=("$(host_line "$NET_PREFIX.$i" "${names[i - 1]}")")
  done
  for ((i = 1; i <= n; i++)); do
    write_host_files "$WORK/h$i" "${lines[@]}" "${ENTRIES[@]}"
    mkfifo -- "$WORK/h$i.ctl" "$WORK/h$i.ready"
  done
  mkfifo -- "$WORK/bridge.ctl" "$WORK/bridge.ready"

  # Every host sets itself up at once, and the links meanwhile.  The other
  # hosts and the bridge nest in host 1's pid namespace: host 1 can enter
  # them, and when it goes, they go.
  local others_rpcbind=$WITH_RPCBIND
  WITH_RPCBIND=$FIRST_RPCBIND
  start_host "$WORK/h1" "${names[0]}"
  WITH_RPCBIND=$others_rpcbind
  local k1=${NSPID[0]%% *}
  for ((i = 2; i <= n; i++)); do
    start_host "$WORK/h$i" "${names[i - 1]}" "$k1"
  done
  start_host "$WORK/bridge" bridge "$k1" _bridge
  kbr=${NSPID[n]%% *}

  # No spanning tree: a port forwards as soon as it is up.
  batch="link add br0 type bridge stp_state 0 forward_delay 0
link set br0 up
"
  for ((i = 1; i <= n; i++)); do
    batch+="link add p$i type veth peer name eth0 netns ${NSPID[i - 1]%% *}
link set p$i master br0
link set p$i up
"
  done
  nsenter --target "$kbr" --net -- ip -batch - <<<"$batch" ||
    die "cannot make the bridge of the hosts"
  for ((i = 1; i <= n; i++)); do
    nsenter --target "${NSPID[i - 1]%% *}" --net -- ip -batch - <<EOF ||
addr add $NET_PREFIX.$i/$PREFIX_LEN dev eth0
link set eth0 up
EOF
      die "cannot plug host $i into the bridge"
  done

  for ((i = 1; i <= n; i++)); do await_host "$((i - 1))" "${names[i - 1]}"; done
  await_host "$n" bridge
  NET_PIDS=(1)
  for ((i = 1; i <= n; i++)); do
    wait_link_up "${NSPID[i - 1]%% *}"
    if ((i > 1)); then
      read -r -a ids <<<"${NSPID[i - 1]}"
      NET_PIDS+=("${ids[1]}")
    fi
  done

  local pids names_csv
  pids=$(IFS=,; printf '%s' "${NET_PIDS[*]}")
  names_csv=$(IFS=,; printf '%s' "${names[*]}")
  export CALLMGR_HOST_NAME=${names[0]} CALLMGR_HOST_ADDR=$NET_PREFIX.1
  export CALLMGR_NET_SIZE=$n
  export CALLMGR_NET_EXEC="$BASH $SELF net-exec $pids $names_csv"
}

# check_net_names NAME...: each a good host name, no two alike.
check_net_names() {
  local i j
  for ((i = 1; i <= $#; i++)); do
    check_hostname "${!i}"
    for ((j = 1; j < i; j++)); do
      [[ ${!i} != "${!j}" ]] || die "hosts $j and $i have the same name '${!i}'"
    done
  done
}

check_blank_free() {
  [[ $SELF != *[[:space:]]* && $BASH != *[[:space:]]* ]] ||
    die "$1 is split at blanks: move $SELF to a path without them"
}

cmd_pair() {
  local name_a=hosta.callmgr.test name_b=hostb.callmgr.test listing=no
  while (($#)); do
    case $1 in
      --list-directly) listing=yes; shift ;;
      --a-hostname) (($# >= 2)) || usage; name_a=$2; shift 2 ;;
      --b-hostname) (($# >= 2)) || usage; name_b=$2; shift 2 ;;
      --a-no-rpcbind) FIRST_RPCBIND=no; shift ;;
      --hosts-entry) (($# >= 2)) || usage; ENTRIES+=("$2"); shift 2 ;;
      --) shift; break ;;
      *) usage ;;
    esac
  done
  (($#)) || usage
  list_directly "$listing" "$@"
  check_hostname "$name_a"
  check_hostname "$name_b"
  [[ $name_a != "$name_b" ]] || die "the two hosts need different names"
  local entry
  for entry in "${ENTRIES[@]}"; do check_entry "$entry"; done
  check_blank_free CALLMGR_PEER_EXEC

  preflight
  start_net "$name_a" "$name_b"

  local rc=0
  export CALLMGR_PEER_NAME=$name_b CALLMGR_PEER_ADDR=$ADDR_B
  # B's keeper as A's pid namespace numbers it: the command runs in A.
  export CALLMGR_PEER_EXEC="$BASH $SELF exec ${NET_PIDS[1]}\
 CALLMGR_HOST_NAME=$name_b CALLMGR_HOST_ADDR=$ADDR_B\
 CALLMGR_PEER_NAME=$name_a CALLMGR_PEER_ADDR=$ADDR_A"
  run_command "$@" || rc=$?
  return "$rc"
}

cmd_net() {
  (($#)) || usage
  local n=$1 listing=no i
  shift
  [[ $n =~ ^[1-9][0-9]*$ ]] && ((n <= NET_MAX)) ||
    die "net: bad number of hosts '$n' (1 to $NET_MAX)"
  local -a names=()
  for ((i = 1; i <= n; i++)); do names+=("host$i.callmgr.test"); done
  while (($#)); do
    case $1 in
      --list-directly) listing=yes; shift ;;
      --hostname)
        (($# >= 3)) || usage
        [[ $2 =~ ^[1-9][0-9]*$ ]] && (($2 <= n)) || die "--hostname: no host '$2' (1 to $n)"
        names[$2 - 1]=$3
        shift 3
        ;;
      --hosts-entry) (($# >= 2)) || usage; ENTRIES+=("$2"); shift 2 ;;
      --) shift; break ;;
      *) usage ;;
    esac
  done
  (($#)) || usage
  list_directly "$listing" "$@"
  check_net_names "${names[@]}"
  local entry
  for entry in "${ENTRIES[@]}"; do check_entry "$entry"; done
  check_blank_free CALLMGR_NET_EXEC

  preflight
  start_net "${names[@]}"

  local rc=0
  unset CALLMGR_PEER_NAME CALLMGR_PEER_ADDR CALLMGR_PEER_EXEC
  run_command "$@" || rc=$?
  return "$rc"
}

cmd_exec() {
  (($#)) || usage
  local pid=$1
  shift
  [[ $pid =~ ^[1-9][0-9]*$ ]] || die "exec: bad keeper pid '$pid'"
  [[ -e /proc/$pid/ns/net ]] || die "exec: no process $pid"
  local -a assign=()
  while (($#)) && [[ $1 =~ ^[A-Za-z_][A-Za-z0-9_]*= ]]; do
    assign+=("$1")
    shift
  done
  if [[ ${1:-} == -- ]]; then shift; fi
  (($#)) || usage
  # The peer host cannot see its own peer's keeper, so no CALLMGR_PEER_EXEC there.
  in_host "$pid" env -u CALLMGR_PEER_EXEC -u CALLMGR_NET_EXEC "${assign[@]}" "$@"
}

cmd_net_exec() {
  (($# >= 3)) || usage
  local -a pids names unset=()
  IFS=, read -r -a pids <<<"$1"
  IFS=, read -r -a names <<<"$2"
  local i=$3
  shift 3
  ((${#pids[@]} >= 1 && ${#pids[@]} == ${#names[@]})) ||
    die "net-exec: want as many pids as names"
  [[ $i =~ ^[1-9][0-9]*$ ]] && ((i <= ${#pids[@]})) ||
    die "net-exec: no host '$i' (1 to ${#pids[@]})"
  if [[ ${1:-} == -- ]]; then shift; fi
  (($#)) || usage
  # The pids mean something only in host 1: elsewhere pid 1 could be the
  # machine's own init.
  [[ $(</proc/sys/kernel/hostname) == "${names[0]}" ]] ||
    die "net-exec: runs only in host 1 (${names[0]})"
  local pid=${pids[i - 1]}
  [[ $pid =~ ^[1-9][0-9]*$ && -e /proc/$pid/ns/net ]] || die "net-exec: no host keeper $pid"
  # Only host 1 sees the other keepers; a pair's peer variables describe it
  # alone.
  if ((i != 1)); then
    unset=(-u CALLMGR_NET_EXEC -u CALLMGR_PEER_EXEC -u CALLMGR_PEER_NAME -u CALLMGR_PEER_ADDR)
  fi
  in_host "$pid" env "${unset[@]}" "CALLMGR_HOST_NAME=${names[i - 1]}" \
    "CALLMGR_HOST_ADDR=$NET_PREFIX.$i" "$@"
}

main() {
  (($#)) || usage
  local sub=$1
  shift
  case $sub in
    run) cmd_run "$@" ;;
    pair) cmd_pair "$@" ;;
    net) cmd_net "$@" ;;
    exec) cmd_exec "$@" ;;
    net-exec) cmd_net_exec "$@" ;;
    _keeper) keeper "$@" ;;
    _bridge) bridge_keeper "$@" ;;
    -h | --help | help) usage 0 ;;
    *) die "unknown command '$sub' (run, pair, net, exec or net-exec)" ;;
  esac
}

main "$@"
