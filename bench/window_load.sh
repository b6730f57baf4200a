#!/bin/bash
# The real program under a flood, as a user sees it: in one network
# namespace `talmira` on a virtual X display with the TTL Scope's list on
# screen (sorted by name), in the other a sender announcing distinct
# sessions at a steady rate. For each run it prints the datagrams the
# kernel dropped, the time from the flood's end until every session is a
# row, the share of one core the program used, and the round trip of a key
# press (Down in the list) to the list's repaint while the flood runs
# (median, 95th percentile, worst). The reference is the store alone:
# `talmira-cli listen` on the same flood; the last column is the window's
# CPU time per datagram against the listener's.
#
# Usage: bench/window_load.sh BUILD [N@RATE ...]   (default 20000@2000 10000@10000)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../tests/integration/lib-netns.sh" "$1"
shift
runs=("$@")
[ ${#runs[@]} -gt 0 ] || runs=(20000@2000 10000@10000)
source "$here/../tests/integration/lib-desktop.sh"
need python3
netns_setup wload 95
GROUP=224.2.127.254
side receiver "$ADDR_B"

# drops: the kernel's drop count of the SAP sockets (port 9875) in $NS_B.
drops() { ip netns exec "$NS_B" awk 'NR > 1 && $2 ~ /:2693$/ { n += $NF } END { print n + 0 }' /proc/net/udp; }
# cpu PID: user and system clock ticks the process used.
cpu() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
ticks=$(getconf CLK_TCK)
now_ms() { date +%s%3N; }
first=1

flood() { # N RATE: the sender in $NS_A; its output in $WORK/flood.out
    ip netns exec "$NS_A" python3 "$here/sap_flood.py" "$GROUP" 9875 "$ADDR_A" "$1" "$2" "$first" > "$WORK/flood.out"
    first=$((first + $1))
}

# The listener's run: every session printed once as an "add" line (the
# short text form, so that printing costs little).
listener_run() { # N RATE -> "drops drain_s cpu_ms"
    local n="$1" rate="$2" out="$WORK/listen.txt"
    rm -f "$WORK/receiver/install/Talmira.cache" "$out" "$out.err"
    run_in "$NS_B" receiver listen > "$out" 2> "$out.err" &
    local pid=$!
    listening "$out"
    local d0 c0 end
    d0=$(drops); c0=$(cpu "$pid")
    local before; before=$(grep -c '^add ' "$out" || true)
    flood "$n" "$rate"
    end=$(now_ms)
    for _ in $(seq 1 600); do
        [ "$(grep -c '^add ' "$out")" -ge $((before + n)) ] && break
        sleep 0.05
    done
    local drained=$(( $(now_ms) - end ))
    local got=$(( $(grep -c '^add ' "$out") - before ))
    local c1; c1=$(cpu "$pid")
    echo "$(( $(drops) - d0 )) $drained $(( (c1 - c0) * 1000 / ticks )) $got"
    stops "$pid" "$out.err"
}

window_run() { # N RATE -> "drops drain_ms cpu_ms rows p50 p95 max"
    local n="$1" rate="$2"
    # Each run starts from an empty store (the listener's cache is gone).
    rm -rf "$WORK/receiver/install/Talmira.cache" "$WORK/probe.in" "$WORK/run"
    start_display "$NS_B"
    start_probed "$NS_B" receiver "$WORK/desktop.err"
    ask "count-rows" "^counting rows"
    ask "select TTL Scope" "^selected TTL Scope"
    seen "^count: " 5 || true
    local d0 c0 end
    d0=$(drops); c0=$(cpu "$desktop_pid")
    flood "$n" "$rate" &
    local sender=$!
    # A key press every quarter second while the flood runs.
    while kill -0 "$sender" 2> /dev/null; do
        echo "keylat $(now_ms)" >&3
        sleep 0.25
    done
    wait "$sender"
    end=$(now_ms)
    local want=$n shown=0
    for _ in $(seq 1 1200); do
        shown=$(grep '^count: ' "$WORK/probe.log" | tail -n 1 | cut -d' ' -f2)
        [ "${shown:-0}" -ge "$want" ] && break
        sleep 0.05
    done
    local drained=$(( $(now_ms) - end ))
    local c1; c1=$(cpu "$desktop_pid")
    local lat
    lat=$(awk '$1 == "keylat" { print $3 - $2 }' "$WORK/probe.log" | sort -n | awk '
        { v[NR] = $1 } END { if (NR == 0) { print "- - -"; exit }
          p95 = int(NR * 0.95 + 0.999); if (p95 > NR) p95 = NR
          print v[int((NR + 1) / 2)], v[p95], v[NR] }')
    echo "$(( $(drops) - d0 )) $drained $(( (c1 - c0) * 1000 / ticks )) ${shown:-0} $lat"
    exec 3>&-
    kill "$desktop_pid" 2> /dev/null || true
    wait "$desktop_pid" 2> /dev/null || true
    pkill -f "Xvfb -displayfd" 2> /dev/null || true
    sleep 0.5
}

printf '%-14s | %-6s %7s %9s %6s %7s | %-6s %7s %9s %6s %7s %15s | %9s\n' sessions@rate who drops drain_ms cpu_% rows \
    who drops drain_ms cpu_% rows key_ms_50/95/max cpu_ratio
for run in "${runs[@]}"; do
    n="${run%@*}"; rate="${run#*@}"
    seconds=$(awk -v n="$n" -v r="$rate" 'BEGIN { printf "%.2f", n / r }')
    read -r ld ldrain lcpu lgot <<< "$(listener_run "$n" "$rate")"
    read -r wd wdrain wcpu wshown p50 p95 pmax <<< "$(window_run "$n" "$rate")"
    share() { awk -v c="$1" -v s="$seconds" -v d="$2" 'BEGIN { printf "%.1f", 100 * c / (s * 1000 + d) }'; }
    printf '%-14s | %-6s %7d %9d %6s %7d | %-6s %7d %9d %6s %7d %15s | %9s\n' "$run" listen "$ld" "$ldrain" \
        "$(share "$lcpu" "$ldrain")" "$lgot" window "$wd" "$wdrain" "$(share "$wcpu" "$wdrain")" "$wshown" \
        "$p50/$p95/$pmax" "$(awk -v w="$wcpu" -v l="$lcpu" 'BEGIN { printf "%.2fx", (l > 0 ? w / l : 0) }')"
done
