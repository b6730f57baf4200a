#!/bin/bash
# `talmira-cli probe` in one network namespace watches RTP sent from the
# other: a seeded pattern of losses, duplicates, swaps and delay steps is
# reported exactly, with the pattern's jitter; a real ffmpeg sender reads as
# receiving and, once stopped, as silent (probed by its id from the cache
# after a SAP announcement); a redundant pair with
# complementary losses merges to no loss; a source-specific join hears only
# its source.
NETNS_PREFIX=trcp
source "$(dirname "$0")/lib-netns.sh"
source "$(dirname "$0")/lib-probe.sh"
need python3 ffmpeg
netns_setup probe 60

# 1. The seeded pattern.
cat > "$WORK/pattern.sdp" <<SDP
v=0
o=sender 1 1 IN IP4 $ADDR_A
s=Pattern
c=IN IP4 239.77.60.10/1
t=0 0
m=video 40100 RTP/AVP 96
a=rtpmap:96 H264/90000
SDP
probe "$WORK/pattern.jsonl" "$WORK/pattern.sdp"
check_pattern "$WORK/pattern.jsonl" 239.77.60.10 40100 "$ADDR_A" 22 400 "$ADDR_A:"

# 2. A real sender: receiving while it runs, silent once it stops. The
# session is announced over SAP and probed by its id from the receiver's cache.
cat > "$WORK/ffmpeg.sdp" <<SDP
v=0
o=sender 60402 1 IN IP4 $ADDR_A
s=Tone
c=IN IP4 239.77.60.11/1
t=0 0
m=audio 40102 RTP/AVP 0
SDP
sides
cached "$WORK/ffmpeg.sdp" 60402
run_in "$NS_B" receiver probe 60402 --json --seconds 60 --iface "$ADDR_B" > "$WORK/ffmpeg.jsonl" 2> "$WORK/ffmpeg.jsonl.err" &
probe=$!
wait_for "$WORK/ffmpeg.jsonl.err" "watching" 5 || fail "the probe did not start" "$WORK/ffmpeg.jsonl.err"
check_ffmpeg "$WORK/ffmpeg.jsonl" "rtp://239.77.60.11:40102?ttl=1" "$ADDR_A:"

# 3. A redundant pair, and a source-specific join naming another source.
cat > "$WORK/dup.sdp" <<SDP
v=0
o=sender 3 1 IN IP4 $ADDR_A
s=Pair
t=0 0
a=group:DUP red blue
m=video 40104 RTP/AVP 96
c=IN IP4 239.77.60.12/1
a=rtpmap:96 raw/90000
a=mid:red
a=source-filter: incl IN IP4 239.77.60.12 $ADDR_A
m=video 40104 RTP/AVP 96
c=IN IP4 239.77.60.13/1
a=rtpmap:96 raw/90000
a=mid:blue
m=video 40104 RTP/AVP 96
c=IN IP4 239.77.60.12/1
a=rtpmap:96 raw/90000
a=source-filter: incl IN IP4 239.77.60.12 10.77.60.99
SDP
probe "$WORK/dup.jsonl" "$WORK/dup.sdp"
check_pair "$WORK/dup.jsonl" 239.77.60.12 239.77.60.13 40104 "$ADDR_A"
echo "reception probe over veth: ok"
