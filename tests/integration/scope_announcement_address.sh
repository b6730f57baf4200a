#!/bin/bash
# A scope's directory hears the scope's highest address (where audio-over-IP
# devices announce) beside its own SAP group: announcements in their style,
# with an IPv4 or an IPv6 origin, land in the scope's directory from either
# group, and a deletion on either group removes them. Our own announcements
# in the scope still go to its SAP group only.
source "$(dirname "$0")/lib-netns.sh"
netns_setup scoperfc 46

side receiver "$ADDR_B" "$(scope_lines 0 'Local' 239.255.0.0 16 9875 15)"
side sender "$ADDR_A" "$(scope_lines 0 'Local' 239.255.0.0 16 9875 15)"
sapGroup=239.255.255.254; rfcGroup=239.255.255.255

device_sdp() { # SESSION-ID NAME GROUP: an audio-over-IP stream description, CRLF as devices send it
    printf 'v=0\r\no=- %s %s IN IP4 %s\r\ns=%s\r\nc=IN IP4 %s/32\r\nt=0 0\r\nm=audio 5004 RTP/AVP 97\r\n' \
        "$1" "$1" "$ADDR_A" "$2" "$3"
    printf 'i=2 channels: Left, Right\r\na=recvonly\r\na=rtpmap:97 L24/48000/2\r\na=ptime:1\r\n'
    printf 'a=ts-refclk:ptp=IEEE1588-2008:00-1D-C1-FF-FE-12-34-56:0\r\na=mediaclk:direct=0\r\n'
}
v4_header() { printf "\\x$1\\x00\\x7a\\x11\\x0a\\x4d\\x2e\\x01"; }                  # origin 10.77.46.1
v6_header() { printf "\\x$1\\x00\\x7a\\x12\\xfd\\x00\\x00\\x46"; printf '\x00%.0s' {1..11}; printf '\x01'; } # fd00:46::1
mime() { printf 'application/sdp\0'; }
{ v4_header 20; mime; device_sdp 1311738121 "Stage box 1" 239.69.83.67; } > "$WORK/v4.sap"
{ v4_header 24; mime; device_sdp 1311738121 "Stage box 1" 239.69.83.67; } > "$WORK/v4-delete.sap"
{ v6_header 30; mime; device_sdp 1311738122 "Stage box 2" 239.69.83.68; } > "$WORK/v6.sap"
{ v6_header 34; mime; device_sdp 1311738122 "Stage box 2" 239.69.83.68; } > "$WORK/v6-delete.sap"

# The decoder names the origin of each.
"$cli" decode "$WORK/v4.sap" "$WORK/v6-delete.sap" > "$WORK/decode.jsonl"
python3 - "$WORK/decode.jsonl" <<'PY'
import json, sys
a, d = [json.loads(l) for l in open(sys.argv[1])]
assert a["action"] == "announce" and a["origin"] == "10.77.46.1", a
assert a["record"]["origin"]["session_id"] == "1311738121" and a["record"]["name"] == "Stage box 1", a
assert d["action"] == "delete" and d["origin"] == "fd00:46::1", d
assert d["record"]["origin"]["session_id"] == "1311738122", d
assert d["record"]["media"][0]["payloads"] == [{"name": "L24", "number": 97}], d
PY

out="$WORK/listen.jsonl"
start_listener "$out"
# Bare sockets, each on one group only.
raw_listener "$WORK/raw-sap.jsonl" --group "$sapGroup" --port 9875; rawSap=$!
raw_listener "$WORK/raw-rfc.jsonl" --group "$rfcGroup" --port 9875; rawRfc=$!
listening "$WORK/raw-sap.jsonl"; listening "$WORK/raw-rfc.jsonl"
in_local() { grep -q "^{\"directory\":\"Local\",\"event\":\"$1\".*\"session_id\":\"$2\"" "$out"; }
until_in_local() { for _ in $(seq 1 30); do in_local "$1" "$2" && return 0; sleep 0.1; done; return 1; }

# Announced on either group, heard in the scope's directory; each deletion
# on the other group removes it.
for sent in "$rfcGroup v4 add 1311738121" "$sapGroup v6 add 1311738122" \
    "$sapGroup v4-delete remove 1311738121" "$rfcGroup v6-delete remove 1311738122"; do
    read -r group file event id <<< "$sent"
    sap_send "$NS_A" "$group" raw "$WORK/$file.sap"
    until_in_local "$event" "$id" || fail "$file.sap sent to $group: no $event of $id in the scope's directory" "$out"
done
grep '"session_id":"1311738122"' "$out" | grep -q '"name":"Stage box 2"' || fail "IPv6-origin record wrong" "$out"
[ "$(grep -c '"event":"add".*"session_id":"131173812[12]"' "$out")" -eq 2 ] || fail "heard outside the scope or twice" "$out"

# Our own announcement in the scope goes to its SAP group, not to the other.
printf 'v=0\no=bob 4646 1 IN IP4 %s\ns=Own in Local\nc=IN IP4 239.255.1.1/15\nt=0 0\nm=audio 5004 RTP/AVP 0\n' \
    "$ADDR_A" > "$WORK/own.sdp"
announcing --directory Local "$WORK/own.sdp"
until_in_local add 4646 || fail "own announcement not heard in Local" "$out" "$WORK/announce.err"
wait_for "$WORK/raw-sap.jsonl" '"session_id":"4646"' 2 || fail "own announcement not on $sapGroup" "$WORK"/raw-*.jsonl
stops "$announcer" "$WORK/announce.err"
until_in_local remove 4646 || fail "own deletion not heard" "$out"
grep -q '"session_id":"4646"' "$WORK/raw-rfc.jsonl" && fail "own announcement sent to $rfcGroup" "$WORK"/raw-*.jsonl
# The bare sockets heard exactly what was sent to their own group.
[ "$(grep -c '"session_id":"1311738121"' "$WORK/raw-rfc.jsonl")" -eq 1 ] || fail "bare socket on $rfcGroup" "$WORK"/raw-*.jsonl
[ "$(grep -c '"session_id":"1311738122"' "$WORK/raw-sap.jsonl")" -eq 1 ] || fail "bare socket on $sapGroup" "$WORK"/raw-*.jsonl

kill -TERM "$rawSap" "$rawRfc"; stops "$listener" "$out.err"
echo "scope announcement address over veth: ok"
