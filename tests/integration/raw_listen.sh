#!/bin/bash
# A SAP datagram sent in one network namespace is printed by
# `talmira-cli listen --raw` in the other: plain, compressed and oversized.
source "$(dirname "$0")/lib-netns.sh"
netns_setup raw 41

sdp=$'v=0\no=alice 3042 1 IN IP4 10.77.41.1\ns=Veth seminar\nc=IN IP4 224.2.17.12/127\nt=0 0\nm=audio 49170 RTP/AVP 0\n'
{ printf '\x20\x00\x00\x00\x0a\x4d\x29\x01'; printf '%s' "$sdp"; } > "$WORK/announce.sap"
{ printf '\x24\x00\x00\x00\x0a\x4d\x29\x01'; printf '%s' "$sdp"; } > "$WORK/delete.sap"
{ printf '\x20\x00\x00\x00\x0a\x4d\x29\x01'; head -c 6000 /dev/zero | tr '\0' 'x'; } > "$WORK/big.sap"
{ printf '\x21\x00\x00\x00\x0a\x4d\x29\x01'; printf '%s' "$sdp" | gzip -c -n; } > "$WORK/gzip.sap"

raw_listener "$WORK/out.jsonl" --group 224.2.127.254 --port 9875; listener=$!
listening "$WORK/out.jsonl"

ip netns exec "$NS_A" "$send" 224.2.127.254 9875 "$WORK/announce.sap" "$WORK/big.sap" "$WORK/gzip.sap" "$WORK/delete.sap"
wait_for "$WORK/out.jsonl" '"action":"delete"' 5 || fail "no datagram arrived" "$WORK/out.jsonl"{,.err}
# A burst: every datagram is read, one per notification, none lost or merged.
burst=(); for i in $(seq 1 20); do burst+=("$WORK/announce.sap"); done
SAP_SEND_GAP_US=0 ip netns exec "$NS_A" "$send" 224.2.127.254 9875 "${burst[@]}"
for _ in $(seq 1 50); do [ "$(wc -l < "$WORK/out.jsonl")" -ge 24 ] && break; sleep 0.1; done
kill -TERM "$listener"; wait "$listener" || true

[ "$(wc -l < "$WORK/out.jsonl")" -eq 24 ] || fail "expected 24 lines" "$WORK/out.jsonl"
[ "$(grep '"action":"announce"' "$WORK/out.jsonl" | grep -c '"size":115}')" -eq 21 ] || fail "burst datagrams damaged"
sed -n 1p "$WORK/out.jsonl" | grep -q '"action":"announce".*"name":"Veth seminar"'
sed -n 2p "$WORK/out.jsonl" | grep -q '"action":"drop","reason":"datagram longer than 5000 bytes"'
sed -n 3p "$WORK/out.jsonl" | grep -q '"action":"announce".*"name":"Veth seminar"'
sed -n 4p "$WORK/out.jsonl" | grep -q '"action":"delete".*"session_id":"3042"'
echo "raw listen over veth: ok"
