#!/bin/bash
# Other programs hear our announcements: `talmira-cli announce` in one network
# namespace while ffmpeg sends the session's RTP stream; in the other, ffprobe
# opens the session from its SAP announcement and VLC's SAP discovery lists
# it by name. VLC refuses to run as root, so it runs as nobody.
source "$(dirname "$0")/lib-netns.sh"
need ffmpeg ffprobe vlc runuser
netns_setup peers 47
GROUP=224.2.17.47

side sender "$ADDR_A"
printf 'v=0\no=carol 4747 1 IN IP4 %s\ns=Peer test tone\ni=A tone for the players\nc=IN IP4 %s/15\nt=0 0\n' \
    "$ADDR_A" "$GROUP" > "$WORK/session.sdp"
printf 'a=tool:Talmira by TalmiraSoft\nm=audio 5004 RTP/AVP 0\ni=Tone\n' >> "$WORK/session.sdp"

ip netns exec "$NS_A" ffmpeg -nostdin -hide_banner -loglevel error -re -f lavfi -i sine=frequency=440:sample_rate=8000 \
    -t 40 -ac 1 -c:a pcm_mulaw -f rtp "rtp://$GROUP:5004?ttl=15&localaddr=$ADDR_A" > /dev/null 2>&1 &

# VLC reads commands from a pipe: "playlist" shows what its SAP discovery found.
chmod 711 "$WORK"; mkdir -m 777 "$WORK/vlc"
mkfifo -m 666 "$WORK/vlc.in"
timeout 40 ip netns exec "$NS_B" runuser -u nobody -- env HOME="$WORK/vlc" vlc -I rc --rc-fake-tty --no-video \
    --services-discovery sap < "$WORK/vlc.in" > "$WORK/vlc.out" 2> "$WORK/vlc.err" &
exec 3> "$WORK/vlc.in"
timeout 20 ip netns exec "$NS_B" ffprobe -hide_banner sap://224.2.127.254 > "$WORK/probe.out" 2>&1 &
probe=$!

# An announcement goes out once at the start: both must have joined the group.
joined() { ip netns exec "$NS_B" awk '$1 == "FE7F02E0" { print $2 }' /proc/net/igmp; } # 224.2.127.254
for _ in $(seq 1 150); do [ "$(joined)" = 2 ] && break; sleep 0.1; done
[ "$(joined)" = 2 ] || fail "ffprobe and VLC did not both join 224.2.127.254" "$WORK/vlc.err" "$WORK/probe.out"

announcing "$WORK/session.sdp"

rc=0; wait "$probe" || rc=$?
[ $rc -eq 0 ] || fail "ffprobe did not open the announced session ($rc)" "$WORK/probe.out" "$WORK/announce.err"
grep -q "^Input #0, sap, from 'sap://224.2.127.254'" "$WORK/probe.out" || fail "not read as SAP" "$WORK/probe.out"
grep -q "Audio: pcm_mulaw, 8000 Hz" "$WORK/probe.out" || fail "no audio stream in the session" "$WORK/probe.out"

listed() { tr -d '\r' < "$WORK/vlc.out" | grep -A1 "Network streams (SAP)" | grep -q -- "- Peer test tone$"; }
for _ in $(seq 1 20); do
    echo playlist >&3
    sleep 0.5
    listed && break
done
listed || fail "VLC's SAP discovery does not list the session" "$WORK/vlc.out" "$WORK/vlc.err"
echo quit >&3; exec 3>&-

stops "$announcer" "$WORK/announce.err"
echo "peers hear our announcement over veth: ok"
