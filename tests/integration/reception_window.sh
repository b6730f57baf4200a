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
ip -n "$NS_A" addr add fd78:61::1/64 dev "va$$" nodad
ip -n "$NS_B" addr add fd78:61::2/64 dev "vb$$" nodad
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
side sender "$ADDR_A"
side receiver "$ADDR_B"
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
ip netns exec "$NS_A" python3 "$pattern" pattern 239.77.61.10 40200 "$ADDR_A" 31 400 > "$WORK/expect.json"
want=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["expected"])' "$WORK/expect.json")
got=""
for _ in $(seq 1 30); do
    ask "labels rtp" "^labels rtp = "
    got=$(answer "^labels rtp = ")
    [[ "$got" == "labels rtp = RTP: $want expected"* ]] && break
    sleep 0.2
done
ask "labels timing" "^labels timing = "
timing=$(answer "^labels timing = ")
ask "labels traffic" "^labels traffic = "
traffic=$(answer "^labels traffic = ")
ask "labels state" "^labels state = "
state=$(answer "^labels state = ")
python3 - "$got" "$timing" "$traffic" "$state" "$(cat "$WORK/expect.json")" <<'PY' || fail "the page differs from the pattern" "$WORK/probe.log"
import json, re, sys
# The IPv4 entry's box comes first.
rtp, timing, traffic, state = (a.split(" | ")[0] for a in sys.argv[1:5])
want = json.loads(sys.argv[5])
print("page:", rtp, "|", timing, "|", traffic, "|", state)
print("pattern:", want)
m = re.search(r"RTP: ([\d,]+) expected, ([\d,]+) lost .*, ([\d,]+) duplicates, ([\d,]+) out of order", rtp)
assert m, rtp
n = lambda s: int(s.replace(",", ""))
assert (n(m[1]), n(m[2]), n(m[3]), n(m[4])) == (want["expected"], want["lost"], want["duplicates"], want["out_of_order"])
assert n(re.search(r"^labels traffic = ([\d,]+) packets", traffic)[1]) == want["packets"], traffic
jitter = float(re.search(r"Jitter ([\d.]+) ms", timing)[1])
assert abs(jitter - want["jitter_ms"]) <= 0.1 * want["jitter_ms"], (jitter, want["jitter_ms"])
# Loss above 1 % over the last 10 s: the state says so.
assert state.endswith("= Impaired"), state
PY

# The IPv6 entry: its own box, joined on the veth that holds the IPv4 address.
ip netns exec "$NS_A" python3 "$pattern" pattern ff0e::77:61 40202 "va$$" 5 120 > "$WORK/expect6.json"
want6=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["expected"])' "$WORK/expect6.json")
for _ in $(seq 1 30); do
    ask "labels rtp" "^labels rtp = "
    got=$(answer "^labels rtp = ")
    [[ "$got" == *" | RTP: $want6 expected"* ]] && break
    sleep 0.2
done
ask "labels senders" "^labels senders = "
senders=$(answer "^labels senders = ")
python3 - "$got" "$senders" "$(cat "$WORK/expect6.json")" <<'PY' || fail "the IPv6 entry differs from its pattern" "$WORK/probe.log"
import json, re, sys
rtp, senders, want = sys.argv[1].split(" | "), sys.argv[2].split(" | "), json.loads(sys.argv[3])
print("page:", rtp[-1], "|", senders[-1])
print("pattern:", want)
assert len(rtp) == 2 and len(senders) == 2, (rtp, senders)
m = re.search(r"RTP: ([\d,]+) expected, ([\d,]+) lost .*, ([\d,]+) duplicates, ([\d,]+) out of order", rtp[1])
assert m, rtp
n = lambda s: int(s.replace(",", ""))
assert (n(m[1]), n(m[2]), n(m[3]), n(m[4])) == (want["expected"], want["lost"], want["duplicates"], want["out_of_order"])
assert senders[1].startswith("From [fd78:61::1]:"), senders
PY
ask "click Cancel" "^clicked Cancel$"
kill -TERM "$announcer"; wait "$announcer" || true
exec 3>&-
stops "$desktop_pid" "$WORK/desktop.err"
echo "reception page over veth: ok"
