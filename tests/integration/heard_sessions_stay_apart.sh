#!/bin/bash
# What the listener shows is what is on the wire. ffmpeg writes the same
# host-less "o=- 0 0 IN IP4 127.0.0.1" line for every stream it announces:
# two ffmpeg announcers in one namespace and a third beside the listener (on
# its own host) must be three rows, each with its own name and address, and
# each ffmpeg's deletion must take its row alone. A deletion copied by
# another host takes nothing, even with the announcer's address as its origin. A host that
# announces 150 directories leaves sockets for the directories of another.
source "$(dirname "$0")/lib-netns.sh"
need ffmpeg python3
netns_setup apart 51

side receiver "$ADDR_B"
start_listener "$WORK/listen.jsonl" --seconds 90

# stream NS NAME GROUP PORT: an ffmpeg announcing an RTP tone on GROUP:PORT
# through SAP on the TTL Scope's group; its pid is $!.
stream() {
    ip netns exec "$1" ffmpeg -nostdin -hide_banner -loglevel error -re -f lavfi -i sine=frequency=440:sample_rate=8000 \
        -t 80 -ac 1 -c:a pcm_mulaw -metadata title="$2" -f sap "sap://$3:$4?announce_addr=224.2.127.254&ttl=15" \
        > /dev/null 2> "$WORK/ffmpeg-$4.err" &
}
# rows: "event|directory|name|address" of every session the listener reported so far, in $WORK/rows.
rows() { records "$WORK/listen.jsonl" > "$WORK/rows"; }
has() { for _ in $(seq 1 ${2:-50}); do rows; grep -qxF "$1" "$WORK/rows" && return 0; sleep 0.1; done; return 1; }

stream "$NS_A" "Channel One" 239.255.10.1 5004; one=$!
stream "$NS_A" "Channel Two" 239.255.10.2 5006; two=$!
stream "$NS_B" "Channel Three" 239.255.10.3 5008; three=$!
for row in "Channel One|239.255.10.1" "Channel Two|239.255.10.2" "Channel Three|239.255.10.3"; do
    has "add|TTL Scope|$row" || fail "no row $row" "$WORK/listen.jsonl" "$WORK"/ffmpeg-*.err
done
sleep 6 # every ffmpeg has repeated its announcement by now
rows
[ "$(grep -c '^add|TTL Scope|Channel' "$WORK/rows")" = 3 ] && ! grep -q '^change|' "$WORK/rows" || fail "a stream replaced another" "$WORK/listen.jsonl"

# Another host copies Channel One's announcement, its origin included, as a deletion: it stays.
printf 'v=0\r\no=- 0 0 IN IP4 127.0.0.1\r\ns=Channel One\r\nc=IN IP4 239.255.10.1/15\r\nt=0 0\r\nm=audio 5004 RTP/AVP 0\r\n' \
    > "$WORK/spoof.sdp"
sap_send "$NS_B" 224.2.127.254 "$ADDR_A" 0x24 "$WORK/spoof.sdp"
sleep 1
rows
! grep -q '^remove|' "$WORK/rows" || fail "a deletion from another source removed a session" "$WORK/listen.jsonl"

# Each ffmpeg withdraws its own stream only.
kill -INT "$one"; wait "$one" || true
has "remove|TTL Scope|Channel One|239.255.10.1" || fail "Channel One stayed after its deletion" "$WORK/listen.jsonl"
kill -INT "$three"; wait "$three" || true
has "remove|TTL Scope|Channel Three|239.255.10.3" || fail "Channel Three stayed after its deletion" "$WORK/listen.jsonl"
rows
[ "$(grep -c '^remove|' "$WORK/rows")" = 2 ] || fail "a deletion took another stream" "$WORK/listen.jsonl"

# 150 directories from one host, then one from another with a session in it.
mkdir "$WORK/dirs"
for i in $(seq 1 150); do
    printf 'v=0\no=- %d 1 IN IP4 %s\ns=Flood %d\nm=directory 9875 SAP/SDP 14\nc=IN IP4 239.2.%d.%d/15\n' \
        $((5000 + i)) "$ADDR_A" "$i" $((i / 200)) $((i % 200 + 1)) > "$WORK/dirs/$i.sdp"
done
sap_send "$NS_A" 224.2.127.254 "$ADDR_A" 0x20 "$WORK"/dirs/*.sdp
has "add|TTL Scope|Flood 150|239.2.0.151" 50 || fail "the flood did not arrive" "$WORK/listen.jsonl"
printf 'v=0\no=bob 7001 1 IN IP4 10.77.51.9\ns=Second host\nm=directory 9875 SAP/SDP 14\nc=IN IP4 239.3.0.1/15\n' > "$WORK/second.sdp"
printf 'v=0\no=bob 7002 1 IN IP4 10.77.51.9\ns=Inside\nc=IN IP4 239.3.1.1/15\nt=0 0\nm=audio 5010 RTP/AVP 0\n' > "$WORK/inside.sdp"
sap_send "$NS_A" 224.2.127.254 10.77.51.9 0x20 "$WORK/second.sdp"
has "add|TTL Scope|Second host|239.3.0.1" || fail "the second host's directory is missing" "$WORK/listen.jsonl"
sap_send "$NS_A" 239.3.0.1 10.77.51.9 0x20 "$WORK/inside.sdp"
wait_for "$WORK/listen.jsonl" '"directory":"Second host","event":"add"' 3 \
    || fail "the second host's directory has no socket" "$WORK/listen.jsonl"

kill -INT "$two"; wait "$two" || true
stops "$listener" "$WORK/listen.jsonl.err"
echo "heard sessions stay apart: ok"
