#!/bin/bash
# `talmira-cli probe --picture --levels` in one network namespace looks at
# and listens to what ffmpeg sends from the other: colour bars at their
# places in the picture, black within 3 s, a still picture frozen within
# 6 s, moving bars neither; a sine at -20 dBFS read as peak -20 and RMS -23
# with ffmpeg's loudness, silence within 6 s, 5.1 and 8 channels counted
# and measured; random bytes as H.264 and AAC and an absurd picture size
# told in words, without a crash or a growing probe. The bars also come as
# MPEG-TS straight over UDP.
NETNS_PREFIX=tpvw
source "$(dirname "$0")/lib-netns.sh"
source "$(dirname "$0")/lib-probe.sh"
need python3 ffmpeg
netns_setup preview 61

# send NAME ARGS...: ffmpeg in $NS_A (its outputs' SDP in $WORK/NAME.sdp).
send() {
    local name="$1"; shift
    ip netns exec "$NS_A" ffmpeg -hide_banner -loglevel error -re "$@" -sdp_file "$WORK/$name.sdp" > "$WORK/$name.log" 2>&1 &
    sender=$!
    poll 5 test -s "$WORK/$name.sdp" || fail "ffmpeg wrote no SDP" "$WORK/$name.log"
}
# check OUTPUT SECONDS PYTHON: PYTHON (over `m`, each media entry's lines in
# order) holds within SECONDS, else the test fails showing the lines.
cat > "$WORK/check.py" <<'PY'
import json, sys
m = {}
for line in open(sys.argv[1]):
    o = json.loads(line); m.setdefault(o["media_index"], []).append(o)
def first(i, key, test):  # index of media i's first line whose key object passes test
    return next((n for n, o in enumerate(m.get(i, [])) if key in o and test(o[key])), None)
def within(i, key, start, end, seconds):
    a, b = first(i, key, start), first(i, key, end)
    return a is not None and b is not None and b - a <= seconds
sys.exit(0 if eval("(" + sys.argv[2] + ")") else 1)
PY
check() { poll "$2" python3 "$WORK/check.py" "$1" "$3" || fail "not seen: $3" "$1" "$1.err"; }
x264=(-c:v libx264 -preset ultrafast -tune zerolatency -g 25 -pix_fmt yuv420p -f rtp)

# The pictures and the tones play and are probed at once, then checked in turn.
# 1. Moving bars, black and a still picture.
send video -f lavfi -i testsrc2=size=320x240:rate=25 -f lavfi -i color=black:size=320x240:rate=25 \
    -f lavfi -i smptebars=size=320x240:rate=25 \
    -map 0 "${x264[@]}" "rtp://239.77.61.10:42200?ttl=1" -map 1 "${x264[@]}" "rtp://239.77.61.11:42202?ttl=1" \
    -map 2 "${x264[@]}" "rtp://239.77.61.12:42204?ttl=1" -map 0 "${x264[@]/rtp/mpegts}" "udp://239.77.61.13:42206?ttl=1&pkt_size=1316"
printf 'm=video 42206 udp 33\r\nc=IN IP4 239.77.61.13/1\r\n' >> "$WORK/video.sdp" # MPEG-TS straight over UDP
probe "$WORK/video.jsonl" "$WORK/video.sdp" --iface "$ADDR_B" --picture "$WORK/bars.jpg"
vsender=$sender vprobe=$probe

# 2. A sine at -20 dBFS, silence, 5.1 and 8 channels, as L24 and L16.
sine='0.1*sin(2*PI*1000*t)'; tone() { local e="$sine" i; for ((i = 1; i < $1; i++)); do e+="|$sine"; done; echo "aevalsrc=$e:s=48000:c=$2"; }
send audio -f lavfi -i "$(tone 2 stereo)" -f lavfi -i anullsrc=r=48000:cl=stereo -f lavfi -i "$(tone 6 5.1)" \
    -f lavfi -i "$(tone 8 7.1)" \
    -map 0 -c:a pcm_s24be -f rtp "rtp://239.77.61.20:42210?ttl=1" -map 1 -c:a pcm_s16be -f rtp "rtp://239.77.61.21:42212?ttl=1" \
    -map 2 -c:a pcm_s24be -f rtp "rtp://239.77.61.22:42214?ttl=1" -map 3 -c:a pcm_s24be -f rtp "rtp://239.77.61.23:42216?ttl=1"
probe "$WORK/audio.jsonl" "$WORK/audio.sdp" --iface "$ADDR_B" --levels
asender=$sender aprobe=$probe
# ffmpeg's own loudness of the same signals.
reference() { ffmpeg -hide_banner -nostats -f lavfi -i "$1:d=6" -af ebur128 -f null - 2>&1 | awk '/I:/ { v = $2 } END { print v }'; }
stereo=$(reference "$(tone 2 stereo)"); surround=$(reference "$(tone 6 5.1)"); eight=$(reference "$(tone 8 7.1)")
echo "ffmpeg's loudness: stereo $stereo, 5.1 $surround, 7.1 $eight LUFS"

check "$WORK/video.jsonl" 15 'within(1, "video", lambda v: v["pictures"] > 0, lambda v: v.get("black"), 3)
    and within(2, "video", lambda v: v["pictures"] > 0, lambda v: v.get("freeze"), 6) and len(m[0]) > 8'
kill "$vprobe"; wait "$vprobe" || true
check "$WORK/video.jsonl" 1 'not any(o["video"].get("black") or o["video"].get("freeze") for o in m[0])
    and all([m[i][-1]["video"][k] for k in ("codec", "width", "height", "differs")] == ["h264", 320, 240, []] for i in (0, 3))'
# A picture's bars: red, green, yellow, blue and cyan along the bottom.
bars() {
ffmpeg -hide_banner -loglevel error -y -i "$1" -f rawvideo -pix_fmt rgb24 "$WORK/bars.rgb" && python3 - "$WORK/bars.rgb" <<'PY'
import sys
rgb = open(sys.argv[1], "rb").read()
assert len(rgb) == 320 * 240 * 3, len(rgb)
want = {25: (255, 0, 0), 80: (0, 255, 0), 135: (255, 255, 0), 185: (0, 0, 255), 300: (0, 255, 255)}
got = {x: tuple(rgb[(232 * 320 + x) * 3:(232 * 320 + x) * 3 + 3]) for x in want}
print("bars:", got)
assert sum(all(abs(a - b) <= 40 for a, b in zip(got[x], want[x])) for x in want) >= 4
PY
}
bars "$WORK/bars.jpg" || fail "the picture's colours are not the bars'"
# `serve` alone decodes the session once its picture is asked for, not before.
side viewer "$ADDR_B"
run_in "$NS_B" viewer serve --http 127.0.0.1:18061 --seconds 60 -f "$WORK/video.sdp" > /dev/null 2> "$WORK/serve.err" &
viewer=$!
wait_for "$WORK/serve.err" serving 5 || fail "serve did not start" "$WORK/serve.err"
web() { ip netns exec "$NS_B" curl -sf "${@:2}" "http://127.0.0.1:18061/api/v1/$1"; }
id=$(web playlist.m3u | sed -n 's|.*/sessions/\(.*\)\.sdp$|\1|p')
! web "sessions/$id" | grep -q preview || fail "decoded before anyone looked"
poll 15 eval 'web "sessions/$id/picture.jpg" -o "$WORK/served.jpg" && bars "$WORK/served.jpg"' || fail "serve gave no picture of the bars" "$WORK/serve.err"
kill "$vsender" "$viewer"; wait "$vsender" "$viewer" 2>/dev/null || true

check "$WORK/audio.jsonl" 15 "within(1, 'audio', lambda a: 'silence' in a, lambda a: a['silence'], 6)
    and all(abs(m[i][-1]['audio'].get('short_term_lufs', 0) - r) <= 0.5 for i, r in ((0, $stereo), (2, $surround), (3, $eight)))"
kill "$aprobe"; wait "$aprobe" || true
check "$WORK/audio.jsonl" 1 'all(abs(p + 20) <= 0.5 for p in m[0][-1]["audio"]["peak_dbfs"])
    and all(abs(r + 23) <= 0.5 for r in m[0][-1]["audio"]["rms_dbfs"])
    and [m[i][-1]["audio"]["channels"] for i in range(4)] == [2, 2, 6, 8]
    and not any(o["audio"].get("silence") for i in (0, 2, 3) for o in m[i]) and m[0][-1]["audio"]["differs"] == []'
kill "$asender"; wait "$asender" 2>/dev/null || true

# 3. Random bytes as H.264 and as AAC, and a picture size no decoder should
# allocate (an SPS of 8192x8192 announced).
sps=$(python3 -c '
import base64
bits = "01000010" "00000000" "00011110"  # baseline, level 3
ue = lambda v: "0" * (len(bin(v + 1)) - 3) + bin(v + 1)[2:]
bits += ue(0) + ue(0) + ue(2) + ue(1) + "0" + ue(511) + ue(511) + "1" "1" "0" "0" "1"
bits += "0" * (-len(bits) % 8)
print(base64.b64encode(bytes([0x67]) + int(bits, 2).to_bytes(len(bits) // 8, "big")).decode())')
cat > "$WORK/hostile.sdp" <<SDP
v=0
o=- 1 1 IN IP4 $ADDR_A
s=Noise
c=IN IP4 239.77.61.30/1
t=0 0
m=video 42220 RTP/AVP 96
a=rtpmap:96 H264/90000
m=audio 42222 RTP/AVP 97
a=rtpmap:97 mpeg4-generic/48000/2
a=fmtp:97 streamtype=5;profile-level-id=15;mode=AAC-hbr;config=1190;sizelength=13;indexlength=3;indexdeltalength=3
m=video 42224 RTP/AVP 96
a=rtpmap:96 H264/90000
a=fmtp:96 packetization-mode=1;sprop-parameter-sets=$sps,aM48gA==
SDP
ip netns exec "$NS_A" python3 - <<'PY' &
import itertools, os, socket, struct, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, 1)
for seq in itertools.count():
    for port, pt in ((42220, 96), (42222, 97), (42224, 96)):
        s.sendto(struct.pack("!BBHII", 0x80, pt | (0x80 if seq % 3 == 0 else 0), seq & 0xFFFF, seq * 3600 & 0xFFFFFFFF, port) + os.urandom(1200),
                 ("239.77.61.30", port))
    time.sleep(0.004)
PY

probe "$WORK/hostile.jsonl" "$WORK/hostile.sdp" --iface "$ADDR_B" --picture "$WORK/noise.jpg" --levels
hprobe=$probe
check "$WORK/hostile.jsonl" 20 'all(m.get(i) and (m[i][-1].get("video") or m[i][-1].get("audio")).get("message") for i in range(3))
    and "8192x8192" in m[2][-1]["video"]["message"]'
rss=$(awk '/VmRSS/ { print $2 }' "/proc/$hprobe/status")
kill -0 "$hprobe" || fail "the probe ended" "$WORK/hostile.jsonl.err"
for i in 0 1 2; do echo "media $i: $(last "$WORK/hostile.jsonl" $i | python3 -c 'import json,sys; o = json.load(sys.stdin); print((o.get("video") or o.get("audio"))["message"])')"; done
echo "probe's memory: $rss kB"
[ "$rss" -lt 400000 ] || fail "the probe holds $rss kB"
last "$WORK/hostile.jsonl" 2 | grep -q '8192x8192' || fail "the absurd size is not told" "$WORK/hostile.jsonl"
echo "preview probe: pictures, levels and hostile streams as expected"
