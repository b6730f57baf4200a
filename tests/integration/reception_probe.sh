#!/bin/bash
# `talmira-cli probe` in one network namespace watches RTP sent from the
# other: a seeded pattern of losses, duplicates, swaps and delay steps sent
# to an ff0e:: group is reported exactly, with its jitter and the sender's
# IPv6 address; a redundant pair on ff3e:: groups with source-specific joins
# merges to no loss while the join naming another source hears nothing; a
# real ffmpeg sender, announced over SAP and probed by its id from the
# receiver's cache, reads as receiving and, once stopped, as silent. The
# interface is the one holding --iface's IPv4 address, else the first
# multicast one with IPv6, as for IPv6 SAP. (The IPv4 pattern:
# reception_window.sh; IPv4 source-specific joins: ReceiverTest.)
NETNS_PREFIX=trcp
source "$(dirname "$0")/lib-netns.sh"
source "$(dirname "$0")/lib-probe.sh"
need python3 ffmpeg
netns_setup probe 60
netns_ipv6 fd78:60

# joined GROUP-HEX: how many sockets in $NS_B joined the group on the veth.
joined() { ip netns exec "$NS_B" awk -v g="$1" -v d="vb$$" '$2 == d && $3 == g { n += $4 } END { print n + 0 }' /proc/net/igmp6; }

# 1. The seeded pattern on a global-scope group; the "/3" is an address count.
cat > "$WORK/pattern.sdp" <<SDP
v=0
o=sender 1 1 IN IP6 $SIX_A
s=Pattern six
c=IN IP6 ff0e::77:1/3
t=0 0
m=video 42100 RTP/AVP 96
a=rtpmap:96 H264/90000
SDP
probe "$WORK/pattern.jsonl" "$WORK/pattern.sdp"
for _ in $(seq 1 30); do [ "$(joined ff0e0000000000000000000000770001)" -ge 1 ] && break; sleep 0.1; done
[ "$(joined ff0e0000000000000000000000770001)" -ge 1 ] || { ip netns exec "$NS_B" cat /proc/net/igmp6 > "$WORK/igmp6"
    fail "the probe did not join ff0e::77:1 on vb$$" "$WORK/pattern.jsonl"{,.err} "$WORK/igmp6"; }
check_pattern "$WORK/pattern.jsonl" ff0e::77:1 42100 "va$$" 23 400 "[$SIX_A]:"

# 2. A redundant pair on source-specific groups, and a join for another
# source. Without --iface the probe joins on the first multicast interface
# with IPv6, and leaves its groups when it ends.
cat > "$WORK/dup.sdp" <<SDP
v=0
o=sender 3 1 IN IP6 $SIX_A
s=Pair six
t=0 0
a=group:DUP red blue
a=source-filter: incl IN IP6 ff3e::77:2 $SIX_A
m=video 42104 RTP/AVP 96
c=IN IP6 ff3e::77:2
a=rtpmap:96 raw/90000
a=mid:red
m=video 42104 RTP/AVP 96
c=IN IP6 ff3e::77:3
a=rtpmap:96 raw/90000
a=mid:blue
a=source-filter: incl IN IP6 * $SIX_A
m=video 42104 RTP/AVP 96
c=IN IP6 ff3e::77:2
a=rtpmap:96 raw/90000
a=source-filter: incl IN IP6 ff3e::77:2 fd78:60::99
SDP
probe "$WORK/dup.jsonl" "$WORK/dup.sdp" --max-groups 8
# (The kernel's record of the source-specific joins: ReceiverTest.)
for _ in $(seq 1 30); do [ "$(joined ff3e0000000000000000000000770003)" -ge 1 ] && break; sleep 0.1; done
check_pair "$WORK/dup.jsonl" ff3e::77:2 ff3e::77:3 42104 "va$$"
[ "$(joined ff3e0000000000000000000000770002)$(joined ff3e0000000000000000000000770003)" = 00 ] \
    || fail "the pair's groups are still joined"

# 3. A real sender: receiving while it runs, silent once it stops. The
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
echo "reception probe over veth: ok"
