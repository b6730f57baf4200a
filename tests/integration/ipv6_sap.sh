#!/bin/bash
# SAP over IPv6 between two network namespaces. ffmpeg announces a stream on
# ff0e::2:7ffe: `talmira-cli listen` lists it in "IPv6 Global" and its
# deletion removes it. Our own announcement there carries the IPv6 header
# with the sending interface's address (read by an independent capture),
# and ffprobe opens the session from it and plays its RTP stream. The cache
# brings the IPv6 directories and the session back; a namespace without IPv6
# shows none of them and says nothing about it.
source "$(dirname "$0")/lib-netns.sh"
need ffmpeg ffprobe
netns_setup ipv6 53
netns_ipv6 fd77:53
GLOBAL=ff0e::2:7ffe

sides
# listed FILE PATTERN: a row of FILE matches PATTERN.
listed() { records "$1" > "$1.rows"; grep -q -- "$2" "$1.rows"; }

# 1. A peer's IPv6 announcement, then its deletion.
start_listener "$WORK/heard.jsonl" --seconds 60
listed "$WORK/heard.jsonl" '^add|None|IPv6 Global|ff0e::2:7ffe$' || fail "no IPv6 Global directory" "$WORK/heard.jsonl"
for scope in Link Site Organization; do
    listed "$WORK/heard.jsonl" "^add|None|IPv6 $scope|" || fail "no IPv6 $scope directory" "$WORK/heard.jsonl"
done
tone 6 "sap://[ff0e::1234]:5004?announce_addr=$GLOBAL" > "$WORK/peer.log" 2>&1 &
other=$!
wait_for "$WORK/heard.jsonl" '"event":"add".*ff0e::1234' 5 || fail "ffmpeg's IPv6 announcement was not listed" "$WORK/heard.jsonl" "$WORK/peer.log"
listed "$WORK/heard.jsonl" '^add|IPv6 Global|No Name|ff0e::1234$' || fail "not in IPv6 Global" "$WORK/heard.jsonl"
wait "$other" || fail "ffmpeg failed" "$WORK/peer.log"
wait_for "$WORK/heard.jsonl" '"event":"remove".*ff0e::1234' 5 || fail "ffmpeg's IPv6 deletion did not remove it" "$WORK/heard.jsonl"

# 2. Our announcement in IPv6 Global, heard by ffprobe and by the capture.
printf 'v=0\no=dave 5353 1 IN IP6 %s\ns=Six tone\nc=IN IP6 ff0e::5353\nt=0 0\nm=audio 5004 RTP/AVP 0\n' "$SIX_A" \
    > "$WORK/six.sdp"
tone 40 "rtp://[ff0e::5353]:5004?ttl=15" > "$WORK/rtp.log" 2>&1 &
timeout 30 ip netns exec "$NS_B" python3 "$peer" capture "$GLOBAL" 9875 "vb$$" 30 \
    > "$WORK/wire.jsonl" 2> "$WORK/wire.err" &
timeout 20 ip netns exec "$NS_B" ffprobe -hide_banner "sap://[$GLOBAL]" > "$WORK/probe.out" 2>&1 &
probe=$!
# Everyone joined the group before the first announcement goes out.
joined() { ip netns exec "$NS_B" awk '$3 == "ff0e0000000000000000000000027ffe" { n += $4 } END { print n + 0 }' /proc/net/igmp6; }
for _ in $(seq 1 100); do [ "$(joined)" -ge 3 ] && break; sleep 0.1; done
[ "$(joined)" -ge 3 ] || fail "ffprobe, the capture and the listener did not all join $GLOBAL: $(joined)" "$WORK/probe.out"
announcing "$WORK/six.sdp" --directory "IPv6 Global"
rc=0; wait "$probe" || rc=$?
[ $rc -eq 0 ] || fail "ffprobe did not open our IPv6 session ($rc)" "$WORK/probe.out" "$WORK/announce.err"
grep -q "Audio: pcm_mulaw, 8000 Hz" "$WORK/probe.out" || fail "no audio stream in the session" "$WORK/probe.out"
wait_for "$WORK/heard.jsonl" '"event":"add".*Six tone' 5 || fail "the listener did not list our session" "$WORK/heard.jsonl"
listed "$WORK/heard.jsonl" '^add|IPv6 Global|Six tone|ff0e::5353$' || fail "ours not in IPv6 Global" "$WORK/heard.jsonl"

# The cache keeps the session heard on IPv6 across a restart.
stops "$listener" "$WORK/heard.jsonl.err"
stops "$announcer" "$WORK/announce.err"
run_in "$NS_B" receiver listen --json --seconds 2 > "$WORK/again.jsonl" 2> "$WORK/again.err"
listed "$WORK/again.jsonl" '^add|IPv6 Global|Six tone|ff0e::5353$' || fail "not back from the cache" "$WORK/again.jsonl"

# On the wire: the address-type bit and the sender's IPv6 address, in the
# announcement and in the deletion.
sleep 1
[ "$(captured "$WORK/wire.jsonl" "Six tone" | cut -d' ' -f1-2 | sed -n '1p;$p' | paste -sd/)" = "0x30 $SIX_A/0x34 $SIX_A" ] \
    || fail "datagrams on the wire" "$WORK/wire.jsonl" "$WORK/wire.err"

# 3. Without IPv6 the directories go, and nothing is said about it.
ip netns exec "$NS_B" sysctl -qw net.ipv6.conf.all.disable_ipv6=1 "net.ipv6.conf.vb$$.disable_ipv6=1"
run_in "$NS_B" receiver listen --json --seconds 2 > "$WORK/four.jsonl" 2> "$WORK/four.err"
! listed "$WORK/four.jsonl" 'IPv6' || fail "IPv6 directories without IPv6" "$WORK/four.jsonl"
listed "$WORK/four.jsonl" '^add|None|TTL Scope|' || fail "no TTL Scope" "$WORK/four.jsonl"
[ "$(grep -vc '^talmira-cli: listening' "$WORK/four.err")" = 0 ] || fail "messages without IPv6" "$WORK/four.err"
echo "SAP over IPv6 with ffmpeg and ffprobe: ok"
