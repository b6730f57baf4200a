# Shared by the integration scripts, sourced first with the script's own
# arguments ($1: the build folder): strict mode, the programs under test
# ($cli; sap_peer.py as $peer) and two network namespaces joined by a veth pair, with a
# multicast route, torn down on exit. Call netns_setup NAME N; the namespaces
# are $NS_A (10.77.N.1) and $NS_B (10.77.N.2), and the scratch folder $WORK
# is removed on exit (scripts without namespaces call scratch for it). NETNS_PREFIX, when set, replaces "talmira" at the start
# of the namespace names; NETNS_NET, when set, replaces 10.77.
set -euo pipefail
build="$1"
cli="$build/src/cli/talmira-cli"; peer="$(dirname "${BASH_SOURCE[0]}")/../support/sap_peer.py"

scratch() { trap netns_cleanup EXIT; WORK="$(mktemp -d)"; }

netns_setup() {
    if [ "$(id -u)" -ne 0 ]; then
        echo "needs root for network namespaces; skipped"
        exit 77
    fi
    local tag="$1" n="$2"
    NS_A="${NETNS_PREFIX:-talmira}-${tag}-a-$$"; NS_B="${NETNS_PREFIX:-talmira}-${tag}-b-$$"
    ADDR_A="${NETNS_NET:-10.77}.$n.1"; ADDR_B="${NETNS_NET:-10.77}.$n.2"
    scratch
    ip netns add "$NS_A"
    ip netns add "$NS_B"
    ip link add "va$$" type veth peer name "vb$$"
    ip link set "va$$" netns "$NS_A"
    ip link set "vb$$" netns "$NS_B"
    ip -n "$NS_A" addr add "$ADDR_A/24" dev "va$$"
    ip -n "$NS_B" addr add "$ADDR_B/24" dev "vb$$"
    for ns in "$NS_A" "$NS_B"; do ip -n "$ns" link set lo up; done
    ip -n "$NS_A" link set "va$$" up multicast on
    ip -n "$NS_B" link set "vb$$" up multicast on
    ip -n "$NS_A" route add 224.0.0.0/4 dev "va$$"
    ip -n "$NS_B" route add 224.0.0.0/4 dev "vb$$"
}

# netns_ipv6 PREFIX: after netns_setup, the addresses $SIX_A (PREFIX::1)
# and $SIX_B (PREFIX::2) on the veth ends, usable at once (no duplicate
# address detection). A kernel without IPv6 skips the test.
netns_ipv6() {
    [ -e /proc/net/if_inet6 ] || { echo "no IPv6 in this kernel; skipped"; exit 77; }
    SIX_A="$1::1"; SIX_B="$1::2"
    ip -n "$NS_A" addr add "$SIX_A/64" dev "va$$" nodad
    ip -n "$NS_B" addr add "$SIX_B/64" dev "vb$$" nodad
}

netns_cleanup() {
    local pids; pids=$(jobs -p); [ -n "$pids" ] && kill $pids 2>/dev/null; wait 2>/dev/null
    [ -z "${NS_A:-}" ] || ip netns del "$NS_A" 2>/dev/null || true
    [ -z "${NS_B:-}" ] || ip netns del "$NS_B" 2>/dev/null || true
    [ -n "${WORK:-}" ] && rm -rf "$WORK"
    return 0
}

# fail MESSAGE [FILE...]: the test fails, showing the files.
fail() { echo "$1"; shift; [ $# -eq 0 ] || cat "$@"; exit 1; }

# need TOOL...: each one installed, or the test fails.
need() { local t; for t; do command -v "$t" > /dev/null || fail "$t is missing (scripts/deps.txt)"; done; }

# poll SECONDS COMMAND...: true once COMMAND succeeds, tried every tenth of a second.
poll() { local i; for ((i = 0; i < $1 * 10; i++)); do "${@:2}" && return 0; sleep 0.1; done; return 1; }

# wait_for FILE PATTERN SECONDS: true once PATTERN shows up in FILE.
wait_for() { poll "$3" grep -qs -- "$2" "$1"; }

# sap_send NS GROUP ORIGIN FLAGS FILE...: from NS, each file's text as one SAP
# datagram to GROUP port 9875 with that origin and flags byte (0x20 announces,
# 0x24 deletes); `sap_send NS GROUP raw FILE...` sends the bytes as they are.
sap_send() {
    if [ "$3" = raw ]; then ip netns exec "$1" python3 "$peer" raw "$2" 9875 "${@:4}"
    else ip netns exec "$1" python3 "$peer" send "$2" 9875 "${@:3}"; fi
}

# records FILE: "event|directory|name|first media address" for each line
# `listen --json` wrote (a top-level directory's directory is None).
records() {
    python3 -c 'import json, sys
for e in map(json.loads, open(sys.argv[1])):
    r = e["record"]; print(e["event"], e["directory"], r["name"], (r.get("media") or [{}])[0].get("address", ""), sep="|")' "$1"
}

# captured FILE TEXT: "flags origin sender ttl" of each datagram whose text
# has TEXT, as `sap_peer.py capture` wrote them to FILE.
captured() {
    python3 -c 'import json, sys
for d in map(json.loads, open(sys.argv[1])):
    if sys.argv[2] in d["text"]: print(d["flags"], d["origin"], d["sender"], d["ttl"])' "$1" "$2"
}

# side NAME ADDRESS [LINE...]: settings and an install directory of its own
# for one end of the link, bound to its veth address, set up by `talmira-cli
# setup`; further lines go into the [Talmira] section. Needs $WORK and $cli.
side() {
    local who="$1" address="$2"; shift 2
    mkdir -p "$WORK/$who"
    cat > "$WORK/$who/Talmira.ini" <<INI
[User%20Info]
Name=$who
Phone=1
Email=$who@example.org

[Talmira]
Interface\\address=$address
Install\\Directory=$WORK/$who/install
$(printf '%s\n' "$@")
INI
    TALMIRA_SETTINGS="$WORK/$who/Talmira.ini" XDG_DATA_HOME="$WORK/$who/data" "$cli" setup > /dev/null
}

# sides: the plain sender ($ADDR_A) and receiver ($ADDR_B) sides.
sides() { side sender "$ADDR_A"; side receiver "$ADDR_B"; }

# scope_lines INDEX NAME BASE PREFIX PORT TTL: the settings lines of one
# administrative scope, for side. Its SAP group is the range's highest
# address minus one (BASE/16 -> x.y.255.254).
scope_lines() {
    local key="AdminScope\\Entry$1\\"
    printf '%sName=%s\n%sBase=%s\n%sNetmask=%s\n%sPort=%s\n%sTTL=%s\n' \
        "$key" "$2" "$key" "$3" "$key" "$4" "$key" "$5" "$key" "$6"
}

# run_in NS SIDE ARGS...: talmira-cli in a namespace with that side's settings
# (in the background it becomes the program, so $! is its pid).
run_in() {
    local ns="$1" who="$2"; shift 2
    local cmd=(ip netns exec "$ns" env TALMIRA_SETTINGS="$WORK/$who/Talmira.ini" XDG_DATA_HOME="$WORK/$who/data" "$cli" "$@")
    if [ "$BASH_SUBSHELL" -gt 0 ]; then exec "${cmd[@]}"; else "${cmd[@]}"; fi
}

# listening OUTPUT: the program writing OUTPUT.err says it listens, within 5 s.
listening() { wait_for "$1.err" "listening" 5 || fail "not listening" "$1.err"; }

# start_listener OUTPUT [ARGS...]: the receiver's `listen --json` in $NS_B
# (ARGS by default --seconds 60) writing OUTPUT; its pid is $listener.
start_listener() {
    local out="$1"; shift
    [ $# -gt 0 ] || set -- --seconds 60
    run_in "$NS_B" receiver listen --json "$@" > "$out" 2> "$out.err" &
    listener=$!
    listening "$out"
}

# raw_listener OUTPUT [ARGS...]: a bare `listen --raw` on $ADDR_B in $NS_B,
# in the background ($! is its pid); wait for it with listening OUTPUT.
raw_listener() { ip netns exec "$NS_B" "$cli" listen --raw --iface "$ADDR_B" --seconds 50 "${@:2}" > "$1" 2> "$1.err" & }

# announcing SDP-FILE [ARGS...]: the sender's `announce` in $NS_A, in the
# background, its errors in $WORK/announce.err; its pid is $announcer.
announcing() { run_in "$NS_A" sender announce "$@" > /dev/null 2> "$WORK/announce.err" & announcer=$!; }

# cached SDP-FILE ID: the receiver hears the sender announce the session with
# that id within 4 s and writes it to its cache; the announcer then stops.
cached() {
    start_listener "$WORK/listen.jsonl" --seconds 4
    announcing "$1"
    wait_for "$WORK/listen.jsonl" "\"event\":\"add\".*\"session_id\":\"$2\"" 4 \
        || fail "session $2 not heard" "$WORK/listen.jsonl"{,.err} "$WORK/announce.err"
    wait "$listener" || fail "the listener failed" "$WORK/listen.jsonl.err"
    kill -TERM "$announcer"; wait "$announcer" || true
}

# tone SECONDS URL [ARGS...]: ffmpeg in $NS_A sends a 440 Hz PCMU tone to URL
# for that long, in the URL scheme's format (rtp, sap); ARGS are more output
# options. In the background it becomes ffmpeg, so $! is its pid.
tone() {
    local cmd=(ip netns exec "$NS_A" ffmpeg -nostdin -hide_banner -loglevel error -re -f lavfi
               -i sine=frequency=440:sample_rate=8000 -t "$1" -ac 1 -c:a pcm_mulaw "${@:3}" -f "${2%%:*}" "$2")
    if [ "$BASH_SUBSHELL" -gt 0 ]; then exec "${cmd[@]}"; else "${cmd[@]}"; fi
}

# stops PID LOG [SIGNAL]: TERM, or SIGNAL, ends the program cleanly.
stops() { kill "-${3:-TERM}" "$1"; wait "$1" || fail "exit status $? after the signal" "$2"; }
