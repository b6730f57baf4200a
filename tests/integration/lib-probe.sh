# Shared by the reception scripts, sourced after lib-netns.sh: `talmira-cli
# probe` in $NS_B and the reading of its JSON lines.

# probe OUTPUT SDP-FILE [ARGS...]: the probe in $NS_B (ARGS by default
# --iface $ADDR_B), in the background; its pid is $probe.
probe() {
    local out="$1" sdp="$2"; shift 2
    [ $# -gt 0 ] || set -- --iface "$ADDR_B"
    ip netns exec "$NS_B" "$cli" probe "$sdp" --json --seconds 60 "$@" > "$out" 2> "$out.err" &
    probe=$!
    wait_for "$out.err" "watching" 5 || fail "the probe did not start" "$out.err"
}
# last OUTPUT MEDIA-INDEX: the newest JSON line of that media entry.
last() { grep "\"media_index\":$2," "$1" | tail -n 1; }
# field LINE EXPRESSION: values of a JSON line, by Python expressions over `o`
# (several, separated by commas, print separated by blanks).
field() {
    python3 -c 'import json,sys; o = json.loads(sys.argv[1]); v = eval(sys.argv[2]); print(*(v if type(v) is tuple else (v,)))' "$1" "$2"
}
