#!/bin/bash
# The real program under a flood, as a user sees it: in one network
# namespace `talmira` on a virtual X display with the TTL Scope's list on
# screen (sorted by name), in the other a sender announcing sessions at a
# steady rate. The reference is the store alone: `talmira-cli listen` on the
# same flood.
#
# Runs, each named on the command line:
#   N@RATE     N new sessions at RATE per second. Prints the datagrams the
#              kernel dropped, the time from the flood's end until every
#              session is listed, the share of one core used, and the round
#              trip of a key press (Down in the list, every 50 ms while the
#              flood runs) to the list's repaint: median, 95th percentile,
#              worst. The last column is the window's CPU time against the
#              listener's.
#   N@RATExR   N sessions announced once, then R rounds of repeats of all of
#              them at RATE per second; the figures are those of the repeats.
#   browse@N   N sessions listed, then a user's actions on the list, each
#              timed from the input to the list's repaint: PageDown, End,
#              Home, a click on another column's title, a search and its
#              clearing (five times each: median and worst).
#   mosaic@N   N sessions of small H.264 pictures (ffmpeg sends them), then
#              the round trip of Down and Home in the list, every 50 ms for
#              MOSAIC_SECONDS (20), first alone, then with View > Mosaic
#              showing all N tiles beside it: median, 95th percentile and
#              worst of each, the window's share of one core, and how many
#              tiles show a picture at the end (MOSAIC_PNG=FILE keeps the
#              mosaic's picture).
#
# Usage: bench/window_load.sh BUILD [RUN ...]
#        (default 20000@2000 10000@10000 20000@20000x5 browse@100000 mosaic@16)
# WINDOW_PERF=FILE records the window's profile (perf) during each flood,
# with WINDOW_PERF_OPTIONS (default -g) given to perf record.
# KEY_EVERY_MS=0 sends no key presses (each costs the window a repaint of the
# list): the CPU share is then the flood's alone.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../tests/integration/lib-netns.sh" "$1"
shift
runs=("$@")
[ ${#runs[@]} -gt 0 ] || runs=(20000@2000 10000@10000 20000@20000x5 browse@100000 mosaic@16)
source "$here/../tests/integration/lib-desktop.sh"
need python3 ffmpeg
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

# flood N RATE [ROUNDS]: the sender in $NS_A announcing sessions from
# $first on; its output in $WORK/flood.out.
flood() {
    ip netns exec "$NS_A" python3 "$here/sap_flood.py" "$GROUP" 9875 "$ADDR_A" "$1" "$2" "$first" "${3:-1}" \
        > "$WORK/flood.out"
}

# stats FILE: median, 95th percentile and worst of the numbers in FILE.
stats() {
    sort -n "$1" | awk '{ v[NR] = $1 } END { if (NR == 0) { print "- - -"; exit }
        p95 = int(NR * 0.95 + 0.999); if (p95 > NR) p95 = NR
        print v[int((NR + 1) / 2)], v[p95], v[NR] }'
}

# The listener's run: every new session printed once as an "add" line (the
# short text form, so that printing costs little).
listener_run() { # N RATE ROUNDS -> "drops drain_ms cpu_ms sessions"
    local n="$1" rate="$2" rounds="$3" out="$WORK/listen.txt"
    rm -f "$WORK/receiver/install/Talmira.cache" "$out" "$out.err"
    run_in "$NS_B" receiver listen > "$out" 2> "$out.err" &
    local pid=$!
    listening "$out"
    local added=0
    if [ "$rounds" -gt 0 ]; then
        flood "$n" 20000
        wait_lines "$out" "$n"
        added=$n
    fi
    local d0 c0 end
    d0=$(drops); c0=$(cpu "$pid")
    flood "$n" "$rate" "$((rounds > 0 ? rounds : 1))"
    end=$(now_ms)
    [ "$rounds" -gt 0 ] || wait_lines "$out" "$n"
    local drained=$(( $(now_ms) - end ))
    local got=$(( $(grep -c '^add ' "$out") ))
    local c1; c1=$(cpu "$pid")
    echo "$(( $(drops) - d0 )) $drained $(( (c1 - c0) * 1000 / ticks )) $got"
    stops "$pid" "$out.err"
}
wait_lines() { # FILE N: until FILE has N "add" lines (30 s at most)
    for _ in $(seq 1 600); do
        [ "$(grep -c '^add ' "$1")" -ge "$2" ] && return
        sleep 0.05
    done
}

window_start() {
    # Each run starts from an empty store (the listener's cache is gone).
    rm -rf "$WORK/receiver/install/Talmira.cache" "$WORK/probe.in" "$WORK/run"
    start_display "$NS_B"
    start_probed "$NS_B" receiver "$WORK/desktop.err"
    ask "count-rows" "^counting rows"
    ask "select TTL Scope" "^selected TTL Scope"
    seen "^count: " 5 || true
    # The splash closes by itself a moment after the start, or at the first
    # key press, which then does nothing else: a timed key press must reach
    # the list, not close the splash.
    for _ in $(seq 1 50); do
        grep -q '^splash shown' "$WORK/probe.log" && ! grep -q '^splash closed' "$WORK/probe.log" || break
        sleep 0.1
    done
}
window_stop() {
    exec 3>&-
    kill "$desktop_pid" 2> /dev/null || true
    wait "$desktop_pid" 2> /dev/null || true
    kill "$xvfb_pid" 2> /dev/null || true
    wait "$xvfb_pid" 2> /dev/null || true
    sleep 0.5
}
shown() { grep '^count: ' "$WORK/probe.log" | tail -n 1 | cut -d' ' -f2; }
wait_rows() { # N: until the list shows N rows (60 s at most)
    for _ in $(seq 1 1200); do
        [ "$(shown)" -ge "$1" ] && return
        sleep 0.05
    done
}

window_run() { # N RATE ROUNDS -> "drops drain_ms cpu_ms rows p50 p95 max"
    local n="$1" rate="$2" rounds="$3"
    window_start
    if [ "$rounds" -gt 0 ]; then
        flood "$n" 20000
        wait_rows "$n"
        sleep 1 # the list's work after new rows (search keys) is not the repeats'
    fi
    local d0 c0 end
    d0=$(drops); c0=$(cpu "$desktop_pid")
    local mark0; mark0=$(wc -l < "$WORK/probe.log")
    flood "$n" "$rate" "$((rounds > 0 ? rounds : 1))" &
    local sender=$!
    local perf=""
    if [ -n "${WINDOW_PERF:-}" ]; then
        perf record ${WINDOW_PERF_OPTIONS:--g} -p "$desktop_pid" -o "$WINDOW_PERF" > /dev/null 2>&1 &
        perf=$!
    fi
    # A key press every 50 ms (KEY_EVERY_MS) while the flood runs, from the
    # first row listed on: Down in an empty list changes nothing, and its
    # round trip would be the wait for the first rows, which the time to
    # list them all already tells.
    while kill -0 "$sender" 2> /dev/null && [ "$(shown)" -lt 1 ]; do sleep 0.01; done
    local every="${KEY_EVERY_MS:-50}"
    local pause; pause=$(awk -v ms="$every" 'BEGIN { print (ms > 0 ? ms : 50) / 1000 }')
    while kill -0 "$sender" 2> /dev/null; do
        [ "$every" -eq 0 ] || echo "keylat $(now_ms)" >&3
        sleep "$pause"
    done
    wait "$sender"
    end=$(now_ms)
    [ -z "$perf" ] || { kill -INT "$perf"; wait "$perf" || true; }
    wait_rows "$n"
    local drained=$(( $(now_ms) - end ))
    local c1; c1=$(cpu "$desktop_pid")
    tail -n +$((mark0 + 1)) "$WORK/probe.log" | awk '$1 == "keylat" { print $3 - $2 }' > "$WORK/lat"
    echo "$(( $(drops) - d0 )) $drained $(( (c1 - c0) * 1000 / ticks )) $(shown) $(stats "$WORK/lat")"
    window_stop
}

# timed WHAT: the list's repaint after WHAT (a keylat action), in ms.
timed() {
    probe "keylat $(now_ms) $1"
    seen "^keylat " 30 || { echo 99999; return; }
    answer "^keylat " | awk '{ print $3 - $2 }'
}

browse_run() { # N: prints one line per action
    local n="$1" action
    window_start
    flood "$n" 20000
    wait_rows "$n"
    sleep 1
    printf '%-22s %9s %9s\n' "$n rows: action" median_ms worst_ms
    # Each action with what comes before it and after it (untimed), so that
    # every timed one changes what the list shows.
    local steps=("PageDown||" "End||Home" "Home|End|" "sort 2||sort 0" "sort 0||sort 0" "search 0777||search"
                 "search|search 0777|")
    local step before after
    for step in "${steps[@]}"; do
        IFS='|' read -r action before after <<< "$step"
        : > "$WORK/lat"
        for _ in 1 2 3 4 5; do
            [ -z "$before" ] || timed "$before" > /dev/null
            timed "$action" >> "$WORK/lat"
            [ -z "$after" ] || timed "$after" > /dev/null
            sleep 0.2
        done
        read -r p50 _ pmax <<< "$(stats "$WORK/lat")"
        printf '%-22s %9s %9s\n' "$action" "$p50" "$pmax"
    done
    window_stop
}

# keys SECONDS FILE: Down and Home in turn every 50 ms (each moves the
# current row, so each repaints the list) for that long; their round trips
# in FILE.
keys() {
    local mark0 key=Home end=$(( $(now_ms) + $1 * 1000 ))
    mark0=$(wc -l < "$WORK/probe.log")
    while [ "$(now_ms)" -lt "$end" ]; do
        echo "keylat $(now_ms) $key" >&3
        [ "$key" = Home ] && key=Down || key=Home
        sleep 0.05
    done
    sleep 0.5
    tail -n +$((mark0 + 1)) "$WORK/probe.log" | awk '$1 == "keylat" { print $3 - $2 }' > "$2"
}

mosaic_run() { # N: the list's key round trip without and with View > Mosaic showing N live tiles
    local n="$1" i c0 c1 seconds="${MOSAIC_SECONDS:-20}"
    # One small H.264 clip (a keyframe a second), sent in a loop by N
    # senders, each announced as a session of its own.
    ffmpeg -nostdin -hide_banner -loglevel error -f lavfi -i testsrc2=size=320x180:rate=25 -t 8 -c:v libx264 -preset ultrafast \
        -g 25 -pix_fmt yuv420p -f mpegts "$WORK/clip.ts"
    XVFB_SCREEN=2600x960x24 window_start
    for ((i = 1; i <= n; i++)); do
        ip netns exec "$NS_A" ffmpeg -nostdin -hide_banner -loglevel error -re -stream_loop -1 -i "$WORK/clip.ts" -c copy \
            -f rtp "rtp://239.95.1.$i:$((5000 + 2 * i))?ttl=2" > "$WORK/tile$i.log" 2>&1 &
        printf 'v=0\r\no=tile %d 1 IN IP4 %s\r\ns=Tile %02d\r\nc=IN IP4 239.95.1.%d/15\r\nt=0 0\r\nm=video %d RTP/AVP 96\r\na=rtpmap:96 H264/90000\r\na=fmtp:96 packetization-mode=1\r\n' \
            "$i" "$ADDR_A" "$i" "$i" $((5000 + 2 * i)) > "$WORK/tile$i.sdp"
    done
    sap_send "$NS_A" "$GROUP" "$ADDR_A" 0x20 "$WORK"/tile*.sdp
    wait_rows "$n"
    printf '%-18s | %-7s %15s %6s | %-7s %15s %6s %6s\n' "mosaic@N" list key_ms_50/95/max cpu_% mosaic \
        key_ms_50/95/max cpu_% live
    c0=$(cpu "$desktop_pid")
    keys "$seconds" "$WORK/lat.list"
    c1=$(cpu "$desktop_pid")
    local without; without="$(stats "$WORK/lat.list" | tr ' ' /) $(awk -v c=$((c1 - c0)) -v s="$seconds" -v t="$ticks" \
        'BEGIN { printf "%.1f", 100 * c / t / (s + 0.5) }')"
    # The mosaic beside the main window, four tiles by four, all in view.
    ask "trigger Mosaic" "^triggered Mosaic"
    ask "place 1330 0 1180 950 Mosaic" "^placed Mosaic"
    sleep 8 # every tile's first turn
    c0=$(cpu "$desktop_pid")
    keys "$seconds" "$WORK/lat.mosaic"
    c1=$(cpu "$desktop_pid")
    # A live tile shows the clip: a colourful middle, not a black frame or grey words.
    for ((i = 1; i <= n; i++)); do ask "$(printf "grab $WORK/tile%02d.png Tile %02d" "$i" "$i")" "^grabbed"; done
    [ -z "${MOSAIC_PNG:-}" ] || ask "grab $MOSAIC_PNG Mosaic" "^grabbed"
    ffmpeg -hide_banner -loglevel error -i "$WORK/tile%02d.png" -f rawvideo -pix_fmt rgb24 "$WORK/tiles.rgb"
    local live; live=$(python3 - "$WORK/tiles.rgb" "$n" <<'PY'
import sys
rgb, n = open(sys.argv[1], "rb").read(), int(sys.argv[2])
size = len(rgb) // n
width = 272  # a tile; its picture 260 wide, 6 px in
live = 0
for t in range(n):
    tile = rgb[t * size:(t + 1) * size]
    px = [tile[(y * width + x) * 3:(y * width + x) * 3 + 3] for y in range(20, 140, 4) for x in range(20, 250, 4)]
    live += sum(max(p) - min(p) > 60 for p in px) > len(px) // 5
print(live)
PY
)
    printf '%-18s | %-7s %15s %6s | %-7s %15s %6s %6s\n' "mosaic@$n" list ${without} mosaic \
        "$(stats "$WORK/lat.mosaic" | tr ' ' /)" "$(awk -v c=$((c1 - c0)) -v s="$seconds" -v t="$ticks" \
        'BEGIN { printf "%.1f", 100 * c / t / (s + 0.5) }')" "$live/$n"
    window_stop
}

for run in "${runs[@]}"; do
    if [ "${run%@*}" = mosaic ]; then
        mosaic_run "${run#*@}"
        continue
    fi
    if [ "${run%@*}" = browse ]; then
        browse_run "${run#*@}"
        continue
    fi
    n="${run%@*}"; rest="${run#*@}"; rate="${rest%x*}"; rounds=0
    [ "$rest" = "$rate" ] || rounds="${rest#*x}"
    sent=$(( n * (rounds > 0 ? rounds : 1) ))
    seconds=$(awk -v n="$sent" -v r="$rate" 'BEGIN { printf "%.2f", n / r }')
    kind=new; [ "$rounds" -eq 0 ] || kind="repeats"
    printf '%-18s | %-6s %7s %9s %6s %7s | %-6s %7s %9s %6s %7s %15s | %9s\n' "$kind: N@rate" who drops \
        drain_ms cpu_% rows who drops drain_ms cpu_% rows key_ms_50/95/max cpu_ratio
    read -r ld ldrain lcpu lgot <<< "$(listener_run "$n" "$rate" "$rounds")"
    read -r wd wdrain wcpu wshown p50 p95 pmax <<< "$(window_run "$n" "$rate" "$rounds")"
    share() { awk -v c="$1" -v s="$seconds" -v d="$2" 'BEGIN { printf "%.1f", 100 * c / (s * 1000 + d) }'; }
    printf '%-18s | %-6s %7d %9d %6s %7d | %-6s %7d %9d %6s %7d %15s | %9s\n' "$run" listen "$ld" "$ldrain" \
        "$(share "$lcpu" "$ldrain")" "$lgot" window "$wd" "$wdrain" "$(share "$wcpu" "$wdrain")" "$wshown" \
        "$p50/$p95/$pmax" "$(awk -v w="$wcpu" -v l="$lcpu" 'BEGIN { printf "%.2fx", (l > 0 ? w / l : 0) }')"
done
