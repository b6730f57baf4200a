#!/bin/bash
# The desktop program's Reception page on a virtual X display: a session
# announced over SAP in one network namespace is opened in the other, and
# while a seeded RTP pattern (losses, duplicates, swaps, delay steps) plays,
# the page reports exactly its counts and its jitter within a tenth; the
# same for the session's IPv6 media entry, with its sender's IPv6 address.
# The page is read by a Qt plug-in loaded into the program
# (tests/support/desktop_probe.cpp).
NETNS_PREFIX=trcp
source "$(dirname "$0")/lib-netns.sh"
source "$(dirname "$0")/lib-desktop.sh"
need python3
netns_setup window 61
netns_ipv6 fd78:61
pattern="$(dirname "$0")/../support/rtp_pattern.py"

cat > "$WORK/pattern.sdp" <<SDP
v=0
o=sender 60501 1 IN IP4 $ADDR_A
s=Pattern
c=IN IP4 239.77.61.10/1
t=0 0
m=video 40200 RTP/AVP 96
a=rtpmap:96 H264/90000
m=video 40202 RTP/AVP 96
c=IN IP6 ff0e::77:61
a=rtpmap:96 H264/90000
SDP
sides
start_display "$NS_B"
start_probed "$NS_B" receiver "$WORK/desktop.err"
ask "select TTL Scope" "^selected TTL Scope$"
probe ""
announcing "$WORK/pattern.sdp"
seen "^rows: Pattern$" 5 || fail "the session has no row" "$WORK/probe.log" "$WORK/announce.err"
# The announcer keeps announcing: its end would delete the session.
ask "select-row Pattern" "^selected row Pattern$"

# The page: Properties, then its last tab.
ask "trigger Properties..." "^triggered Properties...$"
ask "tab Reception" "^tab Reception$"
sleep 1.5 # the watch starts when the page shows
# label NAME: the page's labels of that name (one box per media entry, split
# by " | "), in $label.
label() { ask "labels $1" "^labels $1 = "; label=$(answer "^labels $1 = "); }
# sent EXPECT-JSON BOX ADDRESS-OR-DEVICE ARGS...: the seeded pattern (ARGS as
# rtp_pattern.py takes them), its figures in EXPECT-JSON; then the page's RTP
# labels are read until box BOX (0 or 1) counts all it expected, in $label.
sent() {
    local want
    ip netns exec "$NS_A" python3 "$pattern" pattern "${@:3}" > "$1"
    want=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["expected"])' "$1")
    for _ in $(seq 1 30); do
        label rtp
        [[ "$(cut -d '|' -f $(($2 + 1)) <<< "${label#labels rtp = }")" == ?(" ")"RTP: $want expected"* ]] && break
        sleep 0.2
    done
}
# matches EXPECT-JSON BOX LABELS...: box BOX of the RTP labels (the first of
# LABELS) counts what the pattern sent; box 0 also has its packets, its
# jitter within a tenth and the Impaired state, box 1 its IPv6 sender.
matches() {
    python3 - "$@" <<'PY' || fail "box $2 of the page differs from its pattern" "$WORK/probe.log"
import json, re, sys
want, box = json.load(open(sys.argv[1])), int(sys.argv[2])
labels = [a.split(" | ") for a in sys.argv[3:]]
print("page:", " | ".join(l[-1 if box else 0] for l in labels))
print("pattern:", want)
assert not box or all(len(l) == 2 for l in labels), labels
n = lambda s: int(s.replace(",", ""))
m = re.search(r"RTP: ([\d,]+) expected, ([\d,]+) lost .*, ([\d,]+) duplicates, ([\d,]+) out of order", labels[0][box])
assert m, labels[0]
assert tuple(map(n, m.groups())) == (want["expected"], want["lost"], want["duplicates"], want["out_of_order"])
if box:
    assert labels[1][1].startswith("From [fd78:61::1]:"), labels[1]
else:
    timing, traffic, state = (l[0] for l in labels[1:])
    assert n(re.search(r"^labels traffic = ([\d,]+) packets", traffic)[1]) == want["packets"], traffic
    jitter = float(re.search(r"Jitter ([\d.]+) ms", timing)[1])
    assert abs(jitter - want["jitter_ms"]) <= 0.1 * want["jitter_ms"], (jitter, want["jitter_ms"])
    # Loss above 1 % over the last 10 s: the state says so.
    assert state.endswith("= Impaired"), state
PY
}

# The IPv4 entry's box comes first.
sent "$WORK/expect.json" 0 239.77.61.10 40200 "$ADDR_A" 31 400
rtp=$label
label timing; timing=$label
label traffic; traffic=$label
label state
matches "$WORK/expect.json" 0 "$rtp" "$timing" "$traffic" "$label"
# The IPv6 entry: its own box, joined on the veth that holds the IPv4 address.
sent "$WORK/expect6.json" 1 ff0e::77:61 40202 "va$$" 5 120
rtp=$label
label senders
matches "$WORK/expect6.json" 1 "$rtp" "$label"
ask "click Cancel" "^clicked Cancel$"
kill -TERM "$announcer"; wait "$announcer" || true
stop_probed
echo "reception page over veth: ok"
