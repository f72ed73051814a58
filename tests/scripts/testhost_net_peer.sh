#!/usr/bin/env bash
# Runs in a host of a net through CALLMGR_NET_EXEC:  testhost_net_peer.sh N
# prints this host's name, environment and interfaces, then for each host J
# of 1..N one line
#   J <address of hostJ> <address of hostJ.callmgr.test> <rpcbind>
# where <rpcbind> tells whether hostJ's rpcbind answers by that name (else
# rpcinfo's message).  That each host has its own rpcbind is shown by
# three_host_test, whose peers register on hosts 2 and 3 alike.
set -uo pipefail
# lookup NAME: the first IPv4 address getaddrinfo gives NAME, or "none".
lookup() { getent ahostsv4 "$1" | awk '{ print $1; exit }' | grep . || echo none; }
exec_set=${CALLMGR_NET_EXEC:+set}
printf 'name=%s env=%s addr=%s net-exec=%s size=%s if=%s\n' "$(hostname)" \
  "${CALLMGR_HOST_NAME:-}" "${CALLMGR_HOST_ADDR:-}" "${exec_set:-unset}" "${CALLMGR_NET_SIZE:-}" \
  "$(ip -o link show | awk -F': ' '{ sub(/@.*/, "", $2); print $2 }' | paste -sd,)"
for ((j = 1; j <= $1; j++)); do
  rpcbind=$(rpcinfo -s "host$j" 2>&1 >/dev/null) && rpcbind=rpcbind
  printf '%s %s %s %s\n' "$j" "$(lookup "host$j")" "$(lookup "host$j.callmgr.test")" \
    "${rpcbind//$'\n'/ }"
done
