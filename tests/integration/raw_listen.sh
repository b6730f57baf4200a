#!/bin/bash
# A SAP datagram sent in one network namespace is printed by
# `talmira-cli listen --raw` in the other: plain, compressed and oversized.
source "$(dirname "$0")/lib-netns.sh"
netns_setup raw 41

printf 'v=0\no=alice 3042 1 IN IP4 10.77.41.1\ns=Veth seminar\nc=IN IP4 224.2.17.12/127\nt=0 0\nm=audio 49170 RTP/AVP 0\n' \
    > "$WORK/session.sdp"
head -c 6000 /dev/zero | tr '\0' 'x' > "$WORK/big.sdp"
gzip -c -n "$WORK/session.sdp" > "$WORK/session.gz"

raw_listener "$WORK/out.jsonl" --group 224.2.127.254 --port 9875; listener=$!
listening "$WORK/out.jsonl"

sap_send "$NS_A" 224.2.127.254 "$ADDR_A" 0x20 "$WORK/session.sdp" "$WORK/big.sdp"
sap_send "$NS_A" 224.2.127.254 "$ADDR_A" 0x21 "$WORK/session.gz"
sap_send "$NS_A" 224.2.127.254 "$ADDR_A" 0x24 "$WORK/session.sdp"
wait_for "$WORK/out.jsonl" '"action":"delete"' 5 || fail "no datagram arrived" "$WORK/out.jsonl"{,.err}
# A burst: every datagram is read, one per notification, none lost or merged.
burst=(); for i in $(seq 1 20); do burst+=("$WORK/session.sdp"); done
SAP_GAP=0 sap_send "$NS_A" 224.2.127.254 "$ADDR_A" 0x20 "${burst[@]}"
for _ in $(seq 1 50); do [ "$(wc -l < "$WORK/out.jsonl")" -ge 24 ] && break; sleep 0.1; done
kill -TERM "$listener"; wait "$listener" || true

[ "$(wc -l < "$WORK/out.jsonl")" -eq 24 ] || fail "expected 24 lines" "$WORK/out.jsonl"
[ "$(grep '"action":"announce"' "$WORK/out.jsonl" | grep -c '"size":115}')" -eq 21 ] || fail "burst datagrams damaged"
sed -n 1p "$WORK/out.jsonl" | grep -q '"action":"announce".*"name":"Veth seminar"'
sed -n 2p "$WORK/out.jsonl" | grep -q '"action":"drop","reason":"datagram longer than 5000 bytes"'
sed -n 3p "$WORK/out.jsonl" | grep -q '"action":"announce".*"name":"Veth seminar"'
sed -n 4p "$WORK/out.jsonl" | grep -q '"action":"delete".*"session_id":"3042"'
echo "raw listen over veth: ok"
