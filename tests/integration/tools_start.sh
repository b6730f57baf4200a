#!/bin/bash
# Starting a session's tools for real: a session announced over SAP in one
# network namespace lands in the other side's cache; `talmira-cli tools
# --start SESSION-ID` there starts the first tool through QProcess, which
# receives the RTP stream ffmpeg sends to the session's multicast group.
set -euo pipefail
build="$1"
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/lib-netns.sh"
command -v ffmpeg > /dev/null || { echo "ffmpeg is missing (scripts/deps.txt)"; exit 1; }
netns_setup tools 45
cli="$build/src/cli/talmira-cli"
WORK="$(mktemp -d)"
GROUP=239.77.45.10

side sender "$ADDR_A"
side receiver "$ADDR_B"
install="$WORK/receiver/install"
[ "$(ls "$install/plugins" | grep -c '^rev2\.plugin\.')" -ge 6 ] || { echo "setup did not install the shipped plug-ins"; exit 1; }

# The probe tool: records its argv, runs ffmpeg on it and keeps the exit status.
mkdir -p "$WORK/bin"
cat > "$WORK/bin/rtp-probe" <<SH
#!/bin/sh
for a in "\$@"; do printf '%s\n' "\$a"; done > "$WORK/probe.args"
pwd > "$WORK/probe.cwd"
ffmpeg -nostdin "\$@" > "$WORK/probe.log" 2>&1
echo \$? > "$WORK/probe.status"
SH
chmod 755 "$WORK/bin/rtp-probe"
# Sorted first, so it is the first tool of its group.
cat > "$install/plugins/rev2.plugin.0probe.audio.rtpavp.1" <<PLUGIN
media: audio
proto: RTP/AVP
tool: $WORK/bin/rtp-probe
toolname: RTP probe
fmt: 0
{
fmtname: PCMU
}
flags: -hide_banner -protocol_whitelist file,udp,rtp
flags: -i \$(SDPFILE) -t 1
flags: -metadata title=\$(SESSNAME) -f null -
PLUGIN

name='Jazz "x" --evil; rm -rf ~'
printf 'v=0\no=alice 90909 1 IN IP4 %s\ns=%s\nc=IN IP4 %s/15\nt=0 0\nm=audio 5004 RTP/AVP 0\n' \
    "$ADDR_A" "$name" "$GROUP" > "$WORK/session.sdp"

# 1. The announcement reaches the receiver's store and its cache.
run_in "$NS_B" receiver listen --json --seconds 4 > "$WORK/listen.jsonl" 2> "$WORK/listen.err" &
listener=$!
wait_for "$WORK/listen.err" "listening" 5 || { cat "$WORK/listen.err"; exit 1; }
run_in "$NS_A" sender announce "$WORK/session.sdp" > /dev/null 2> "$WORK/announce.err" &
announcer=$!
wait_for "$WORK/listen.jsonl" '"event":"add".*"session_id":"90909"' 3 \
    || { echo "session not heard"; cat "$WORK/listen.jsonl" "$WORK/listen.err" "$WORK/announce.err"; exit 1; }
# The listener ends by itself and writes its cache.
rc=0; wait "$listener" || rc=$?
[ $rc -eq 0 ] || { echo "listener failed: $rc"; cat "$WORK/listen.err"; exit 1; }
kill -TERM "$announcer"; wait "$announcer" || true

# 2. The launches, as JSON: the probe first, the SDP file argument expanded.
sdpfile="$install/tmp/Jazz__x____evil__rm__rf__.sdp"
run_in "$NS_B" receiver tools --json 90909 < /dev/null > "$WORK/tools.jsonl"
python3 - "$WORK/tools.jsonl" "$WORK/bin/rtp-probe" "$sdpfile" "$name" <<'PY'
import json, sys
lines = [json.loads(l) for l in open(sys.argv[1])]
assert len(lines) == 1 and lines[0]["media_index"] == 0 and lines[0]["media"] == "audio", lines
first = lines[0]["launches"][0]
assert first["plugin"] == "0probe" and first["path"] == sys.argv[2], first
assert first["argv"] == ["-hide_banner", "-protocol_whitelist", "file,udp,rtp", "-i", sys.argv[3], "-t", "1",
                         "-metadata", "title=" + sys.argv[4], "-f", "null", "-"], first["argv"]
assert [l["plugin"] for l in lines[0]["launches"][1:]] == ["ffplay", "mpv", "vlc"], lines
PY

# 3. A real RTP stream to the group, and the real start.
ip netns exec "$NS_A" ffmpeg -nostdin -hide_banner -loglevel error -re -f lavfi -i sine=frequency=440:sample_rate=8000 \
    -t 30 -ac 1 -c:a pcm_mulaw -f rtp "rtp://$GROUP:5004?ttl=15&localaddr=$ADDR_A" > /dev/null 2>&1 &
run_in "$NS_B" receiver tools --start 90909 < /dev/null > /dev/null 2> "$WORK/start.err"
grep -q "^started $WORK/bin/rtp-probe" "$WORK/start.err" || { echo "nothing started"; cat "$WORK/start.err"; exit 1; }
wait_for "$WORK/probe.status" . 20 || { echo "probe did not finish"; cat "$WORK/probe.log" 2>/dev/null; exit 1; }
[ "$(cat "$WORK/probe.status")" = 0 ] || { echo "ffmpeg failed"; cat "$WORK/probe.log"; exit 1; }
grep -q "Audio: pcm_mulaw, 8000 Hz" "$WORK/probe.log" || { echo "no audio stream received"; cat "$WORK/probe.log"; exit 1; }
grep -Eq "size=.*time=00:00:0[01]" "$WORK/probe.log" || { echo "no media decoded"; cat "$WORK/probe.log"; exit 1; }

# The argv arrived word for word; the hostile name stayed one argument.
printf '%s\n' -hide_banner -protocol_whitelist file,udp,rtp -i "$sdpfile" -t 1 -metadata "title=$name" -f null - \
    | diff - "$WORK/probe.args" || { echo "argv differs"; exit 1; }
[ "$(cat "$WORK/probe.cwd")" = "$WORK/bin" ] || { echo "not started in the tool's folder"; exit 1; }
grep -qx "c=IN IP4 $GROUP/15" "$sdpfile" && grep -qx "m=audio 5004 RTP/AVP 0" "$sdpfile" \
    || { echo "SDP file content"; cat "$sdpfile"; exit 1; }
echo "tools start over veth: ok"
