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
pattern="$(dirname "$0")/../support/rtp_pattern.py"

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
ip netns exec "$NS_A" python3 "$pattern" pattern 239.77.60.10 40100 "$ADDR_A" 22 400 > "$WORK/expect.json"
want_packets=$(field "$(cat "$WORK/expect.json")" 'o["packets"]')
for _ in $(seq 1 40); do
    line=$(last "$WORK/pattern.jsonl" 0)
    [ -n "$line" ] && [ "$(field "$line" 'o["packets"]')" -ge "$want_packets" ] && break
    sleep 0.1
done
kill "$probe"; wait "$probe" || true
line=$(last "$WORK/pattern.jsonl" 0)
python3 - "$line" "$(cat "$WORK/expect.json")" <<'PY' || fail "the counts differ from the pattern" "$WORK/pattern.jsonl"
import json, sys
got, want = json.loads(sys.argv[1]), json.loads(sys.argv[2])
rtp = got["rtp"]
print("pattern:", want)
print("probe:  ", {k: rtp[k] for k in ("expected", "lost", "duplicates", "out_of_order", "jitter_ms")}, got["packets"])
assert got["packets"] == want["packets"], "packets"
for key in ("expected", "lost", "duplicates", "out_of_order"):
    assert rtp[key] == want[key], key
assert abs(rtp["jitter_ms"] - want["jitter_ms"]) <= 0.1 * want["jitter_ms"], "jitter"
assert rtp["payload_types"] == [96] and not rtp["payload_mismatch"]
assert got["malformed"] == 0 and got["kernel_drops"] == 0
assert got["senders"][0].startswith("10.77.60.1:")
PY

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
side sender "$ADDR_A"
side receiver "$ADDR_B"
start_listener "$WORK/listen.jsonl" --seconds 4
announcing "$WORK/ffmpeg.sdp"
wait_for "$WORK/listen.jsonl" '"event":"add".*"session_id":"60402"' 4 \
    || fail "the session was not heard" "$WORK/listen.jsonl"{,.err} "$WORK/announce.err"
wait "$listener" || fail "the listener failed" "$WORK/listen.jsonl.err"
kill -TERM "$announcer"; wait "$announcer" || true
run_in "$NS_B" receiver probe 60402 --json --seconds 60 --iface "$ADDR_B" > "$WORK/ffmpeg.jsonl" 2> "$WORK/ffmpeg.jsonl.err" &
probe=$!
wait_for "$WORK/ffmpeg.jsonl.err" "watching" 5 || fail "the probe did not start" "$WORK/ffmpeg.jsonl.err"
ip netns exec "$NS_A" ffmpeg -nostdin -hide_banner -loglevel error -re -f lavfi -i "sine=frequency=440:sample_rate=8000" \
    -t 30 -c:a pcm_mulaw -ar 8000 -ac 1 -f rtp "rtp://239.77.60.11:40102?ttl=1" > "$WORK/ffmpeg.log" 2>&1 &
ffmpeg_pid=$!
wait_for "$WORK/ffmpeg.jsonl" '"state":"receiving"' 5 || fail "ffmpeg's stream is not reported as receiving" "$WORK/ffmpeg.jsonl" "$WORK/ffmpeg.log"
sleep 2
line=$(last "$WORK/ffmpeg.jsonl" 0)
[ "$(field "$line" 'o["state"], o["rtp"]["payload_types"], o["rtp"]["lost"], o["bit_rate_1s"] > 40000')" = "receiving [0] 0 True" ] \
    || fail "unexpected figures while ffmpeg sends: $line"
lines_before=$(wc -l < "$WORK/ffmpeg.jsonl")
kill "$ffmpeg_pid"; wait "$ffmpeg_pid" 2>/dev/null || true
stopped=$(date +%s%N)
silent_after=""
for _ in $(seq 1 60); do
    if tail -n +"$((lines_before + 1))" "$WORK/ffmpeg.jsonl" | grep -q '"state":"silent"'; then
        silent_after=$(( ($(date +%s%N) - stopped) / 1000000 ))
        break
    fi
    sleep 0.1
done
kill "$probe"; wait "$probe" || true
[ -n "$silent_after" ] || fail "no silent state after ffmpeg stopped" "$WORK/ffmpeg.jsonl"
echo "silent reported ${silent_after} ms after ffmpeg stopped"
# Three seconds without a packet, shown with the next report.
[ "$silent_after" -ge 2500 ] && [ "$silent_after" -le 4300 ] || fail "silent after $silent_after ms"

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
ip netns exec "$NS_A" python3 "$pattern" pair 239.77.60.12 239.77.60.13 40104 "$ADDR_A" 200
for _ in $(seq 1 30); do
    a=$(last "$WORK/dup.jsonl" 0); b=$(last "$WORK/dup.jsonl" 1)
    [ -n "$a" ] && [ -n "$b" ] && [ "$(field "$a" 'o["rtp"]["expected"]')" = 199 ] \
        && [ "$(field "$b" 'o["rtp"]["expected"]')" = 199 ] && break
    sleep 0.1
done
kill "$probe"; wait "$probe" || true
a=$(last "$WORK/dup.jsonl" 0); b=$(last "$WORK/dup.jsonl" 1); other=$(last "$WORK/dup.jsonl" 2)
echo "legs lost $(field "$a" 'o["rtp"]["lost"]') and $(field "$b" 'o["rtp"]["lost"]'), merged $(field "$a" 'o["redundant"]')"
[ "$(field "$a" 'o["rtp"]["lost"], o["redundant"]["other_leg"], o["redundant"]["merged_lost"], o["redundant"]["merged_expected"]')" = "47 1 0 200" ] \
    || fail "leg A: $a"
[ "$(field "$b" 'o["rtp"]["lost"], o["redundant"]["other_leg"], o["redundant"]["merged_lost"]')" = "48 0 0" ] || fail "leg B: $b"
[ "$(field "$other" 'o["packets"], o["state"]')" = "0 silent" ] || fail "the join for another source heard the stream: $other"
echo "reception probe over veth: ok"
