#!/bin/bash
# Starting a session's tools for real: a session announced over SAP in one
# network namespace lands in the other side's cache; `talmira-cli tools
# --start SESSION-ID` there starts the first tool through QProcess, which
# receives the RTP stream ffmpeg sends to the session's multicast group.
# Then every shipped plug-in starts its real player (headless, bounded in
# time) on an audio and a video stream, and each must show decoded media.
source "$(dirname "$0")/lib-netns.sh"
need ffmpeg ffplay mpv vlc runuser
netns_setup tools 45
GROUP=239.77.45.10

sides
install="$WORK/receiver/install"
[ "$(ls "$install/plugins" | grep -c '^rev2\.plugin\.')" -ge 6 ] || fail "setup did not install the shipped plug-ins"

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

# Hostile, and not UTF-8: the tool gets the Latin-1 letter as UTF-8, as the listing shows it.
name=$'Jazz "x" --evil; rm -rf ~ Caf\xe9'
name_utf8=$'Jazz "x" --evil; rm -rf ~ Caf\xc3\xa9'
printf 'v=0\no=alice 90909 1 IN IP4 %s\ns=%s\nc=IN IP4 %s/15\nt=0 0\nm=audio 5004 RTP/AVP 0\n' \
    "$ADDR_A" "$name" "$GROUP" > "$WORK/session.sdp"

# 1. The announcement reaches the receiver's store and its cache.
cached "$WORK/session.sdp" 90909

# 2. The launches, as JSON: the probe first, the SDP file argument expanded.
sdpfile="$install/tmp/Jazz__x____evil__rm__rf___Caf_.sdp"
run_in "$NS_B" receiver tools --json 90909 < /dev/null > "$WORK/tools.jsonl"
python3 - "$WORK/tools.jsonl" "$WORK/bin/rtp-probe" "$sdpfile" "$name_utf8" <<'PY'
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
tone 30 "rtp://$GROUP:5004?ttl=15&localaddr=$ADDR_A" > /dev/null 2>&1 &
sender=$!
run_in "$NS_B" receiver tools --start 90909 < /dev/null > /dev/null 2> "$WORK/start.err"
grep -q "^started $WORK/bin/rtp-probe" "$WORK/start.err" || fail "nothing started" "$WORK/start.err"
wait_for "$WORK/probe.status" . 20 || fail "probe did not finish" "$WORK/probe.log"
[ "$(cat "$WORK/probe.status")" = 0 ] || fail "ffmpeg failed" "$WORK/probe.log"
grep -q "Audio: pcm_mulaw, 8000 Hz" "$WORK/probe.log" || fail "no audio stream received" "$WORK/probe.log"
grep -Eq "size=.*time=00:00:0[01]" "$WORK/probe.log" || fail "no media decoded" "$WORK/probe.log"

# The argv arrived word for word; the hostile name stayed one argument.
printf '%s\n' -hide_banner -protocol_whitelist file,udp,rtp -i "$sdpfile" -t 1 -metadata "title=$name_utf8" -f null - \
    | diff - "$WORK/probe.args" || fail "argv differs"
[ "$(cat "$WORK/probe.cwd")" = "$WORK/bin" ] || fail "not started in the tool's folder"
grep -qx "c=IN IP4 $GROUP/15"$'\r' "$sdpfile" && grep -qx "m=audio 5004 RTP/AVP 0"$'\r' "$sdpfile" \
    || fail "SDP file content" "$sdpfile"
echo "tools start over veth: ok"

# 4. Every shipped plug-in with its real player. A stand-in of the same name,
# found first on PATH, runs the real player on the argv the plug-in built,
# adds only headless outputs and a time limit, and keeps the output. ffplay
# and VLC play a live stream until stopped; mpv ends after --length.
# VLC refuses to run as root, so it runs as nobody. The audio session is IPv6
# with a port count (VLC's URL needs "[group]:port"), the video one IPv4.
kill "$sender"
GROUP6=ff15::7745
netns_ipv6 fd77:45
chmod 711 "$WORK"
mkdir -m 777 "$WORK/out"
stand_in() {
    cat > "$WORK/bin/$1" <<SH
#!/bin/sh
log="$WORK/out/$1.\$KIND"
$2 > "\$log.log" 2>&1
echo \$? > "\$log.status"
SH
    chmod 755 "$WORK/bin/$1"
}
stand_in ffplay 'SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=dummy timeout 8 /usr/bin/ffplay "$@" -loglevel info -stats'
stand_in mpv 'HOME="'"$WORK"'/out" timeout 20 /usr/bin/mpv "$@" --no-config --vo=null --ao=null --length=1'
stand_in vlc 'timeout 8 runuser -u nobody -- env HOME="'"$WORK"'/out" /usr/bin/vlc -I dummy "$@" --aout=afile --audiofile-file="'"$WORK"'/out/vlc.$KIND.wav" --vout=vdummy --video-filter=scene --scene-path="'"$WORK"'/out" --scene-prefix=vlc.$KIND. --scene-ratio=5'

tone 30 "rtp://[$GROUP6]:5004?ttl=15" > /dev/null 2>&1 &
ip netns exec "$NS_A" ffmpeg -nostdin -hide_banner -loglevel error -re -f lavfi -i testsrc=size=160x120:rate=10 \
    -t 30 -c:v mpeg2video -g 5 -f rtp_mpegts "rtp://$GROUP:5006?ttl=15&localaddr=$ADDR_A" > /dev/null 2>&1 &
printf 'v=0\no=- 1 1 IN IP4 %s\ns=Tone\nc=IN IP6 %s\nt=0 0\nm=audio 5004/2 RTP/AVP 0\n' "$ADDR_A" "$GROUP6" > "$WORK/audio.sdp"
printf 'v=0\no=- 2 1 IN IP4 %s\ns=Bars\nc=IN IP4 %s/15\nt=0 0\nm=video 5006 RTP/AVP 33\n' "$ADDR_A" "$GROUP" > "$WORK/video.sdp"
export PATH="$WORK/bin:$PATH"
for player in ffplay mpv vlc; do
    dir="$WORK/$player"
    mkdir -p "$dir/plugins" "$dir/tmp"
    cp "$install"/plugins/rev2.plugin.$player.* "$dir/plugins/"
    for kind in audio video; do
        export KIND=$kind
        run_in "$NS_B" receiver tools --start --install-dir "$dir" "$WORK/$kind.sdp" < /dev/null \
            > /dev/null 2>> "$WORK/players.err"
    done
done
for f in {ffplay,mpv,vlc}.{audio,video}; do
    wait_for "$WORK/out/$f.status" . 25 || fail "$f did not end" "$WORK/players.err" "$WORK/out/$f.log"
done
# shows PLAYER.KIND PATTERN WHAT-IS-MISSING: in its log, CRs read as line ends (not
# through a pipe: grep -q stops reading early, and pipefail would count that).
shows() { grep -Eq -- "$2" <(tr '\r' '\n' < "$WORK/out/$1.log") || fail "$1: $3" "$WORK/out/$1.log"; }
shows ffplay.audio "Audio: pcm_mulaw, 8000 Hz" "no audio stream"
shows ffplay.audio "^ *[1-9][0-9.]* M-A:" "no audio played"
shows ffplay.video "Video: mpeg2video" "no video stream"
shows ffplay.video "^ *[1-9][0-9.]* M-V:" "no video shown"
for kind in audio video; do
    [ "$(cat "$WORK/out/mpv.$kind.status")" = 0 ] || fail "mpv failed" "$WORK/out/mpv.$kind.log"
done
shows mpv.audio "^AO: \[null\] 8000Hz" "no audio output"
shows mpv.video "^VO: \[null\] 160x120" "no video output"
# VLC decoded: PCM written by its file output, frames written by its scene filter.
[ "$(stat -c %s "$WORK/out/vlc.audio.wav" 2>/dev/null || echo 0)" -gt 8044 ] || fail "vlc: no audio decoded" "$WORK/out/vlc.audio.log"
ls "$WORK/out"/vlc.video.*png > /dev/null 2>&1 || fail "vlc: no video decoded" "$WORK/out/vlc.video.log"
echo "shipped plug-ins with the real players: ok"
