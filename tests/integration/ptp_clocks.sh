#!/bin/bash
# A PTP grandmaster (ptp4l, software time stamps, domain 7) in one namespace:
# `talmira-cli clocks` in the other, beside a ptp4l slave holding port 320
# there too, lists its identity in domain 7; a stream naming it is "clock
# heard", one naming another clock "clock not on this network".
source "$(dirname "$0")/lib-netns.sh"
netns_setup ptp 43
need ptp4l python3

ptp=(ptp4l -S -4 -m --domainNumber 7 --logAnnounceInterval 0)
ip netns exec "$NS_A" "${ptp[@]}" -i "va$$" --priority1 100 > "$WORK/master.log" 2>&1 &
ip netns exec "$NS_B" "${ptp[@]}" -i "vb$$" -s > "$WORK/slave.log" 2>&1 &
# The grandmaster's identity is its port's MAC address widened to EUI-64.
gmid=$(ip -n "$NS_A" -br link show "va$$" | awk '{split($3, m, ":"); print m[1]"-"m[2]"-"m[3]"-FF-FE-"m[4]"-"m[5]"-"m[6]}' | tr a-f A-F)
for clock in "$gmid" 00-11-22-FF-FE-33-44-55; do
    printf 'v=0\no=- 1 1 IN IP4 %s\ns=Stagebox %s\nc=IN IP4 239.69.43.1/32\nt=0 0\nm=audio 5004 RTP/AVP 96\na=rtpmap:96 L24/48000/8\na=ts-refclk:ptp=IEEE1588-2008:%s:7\na=mediaclk:direct=0\n' \
        "$ADDR_A" "$clock" "$clock" > "$WORK/$clock.sdp"
done
wait_for "$WORK/master.log" "assuming the grand master role" 20 || fail "ptp4l is no grandmaster" "$WORK/master.log"

ip netns exec "$NS_B" "$cli" clocks --seconds 6 --iface "$ADDR_B" --json "$WORK/$gmid.sdp" "$WORK/00-11-22-FF-FE-33-44-55.sdp" \
    > "$WORK/clocks.json" 2> "$WORK/clocks.err" || fail "clocks failed" "$WORK/clocks.err" "$WORK/slave.log"
python3 - "$WORK/clocks.json" "$gmid" "$ADDR_A" <<'PY' || fail "wrong clocks" "$WORK/clocks.json"
import json, sys
out = json.load(open(sys.argv[1])); gmid, source = sys.argv[2], sys.argv[3]
gm = [g for g in out["grandmasters"] if g["gmid"] == gmid]
assert len(gm) == 1 and gm[0]["domain"] == 7 and gm[0]["priority1"] == 100 and gm[0]["source"] == source, gm
assert [s["text"] for s in out["streams"]] == ["clock heard", "clock not on this network"], out["streams"]
PY
echo "ptp grandmaster heard: ok"
