#!/bin/bash
# Other programs hear our announcements: `talmira-cli announce` in one network
# namespace while ffmpeg sends the session's RTP stream; in the other, ffprobe
# opens the session from its SAP announcement and VLC's SAP discovery lists
# it by name. A second ffprobe on the
# announcer's own host hears it too. The datagrams name the sending
# interface's address as their origin. VLC refuses to run as root, so it
# runs as nobody.
source "$(dirname "$0")/lib-netns.sh"
need ffmpeg ffprobe vlc runuser
netns_setup peers 47
GROUP=224.2.17.47

side sender "$ADDR_A"
printf 'v=0\no=carol 4747 1 IN IP4 %s\ns=Peer test tone\ni=A tone for the players\nc=IN IP4 %s/15\nt=0 0\n' \
    "$ADDR_A" "$GROUP" > "$WORK/session.sdp"
printf 'a=tool:Talmira by TalmiraSoft\nm=audio 5004 RTP/AVP 0\ni=Tone\n' >> "$WORK/session.sdp"

tone 40 "rtp://$GROUP:5004?ttl=15&localaddr=$ADDR_A" > /dev/null 2>&1 &

# VLC reads commands from a pipe: "playlist" shows what its SAP discovery found.
chmod 711 "$WORK"; mkdir -m 777 "$WORK/vlc"
mkfifo -m 666 "$WORK/vlc.in"
timeout 40 ip netns exec "$NS_B" runuser -u nobody -- env HOME="$WORK/vlc" vlc -I rc --rc-fake-tty --no-video \
    --services-discovery sap < "$WORK/vlc.in" > "$WORK/vlc.out" 2> "$WORK/vlc.err" &
exec 3> "$WORK/vlc.in"
timeout 20 ip netns exec "$NS_B" ffprobe -hide_banner sap://224.2.127.254 > "$WORK/probe.out" 2>&1 &
probe=$!
timeout 20 ip netns exec "$NS_A" ffprobe -hide_banner sap://224.2.127.254 > "$WORK/local.out" 2>&1 &
local_probe=$!
timeout 40 ip netns exec "$NS_B" python3 "$peer" capture 224.2.127.254 9875 "$ADDR_B" 40 \
    > "$WORK/wire.jsonl" 2> "$WORK/wire.err" &

# An announcement goes out once at the start: all must have joined the group.
joined() { ip netns exec "$1" awk '$1 == "FE7F02E0" { print $2 }' /proc/net/igmp; } # 224.2.127.254
for _ in $(seq 1 150); do [ "$(joined "$NS_B")" = 3 ] && [ "$(joined "$NS_A")" = 1 ] && break; sleep 0.1; done
[ "$(joined "$NS_B")" = 3 ] || fail "ffprobe, VLC and the capture did not all join 224.2.127.254: $(joined "$NS_B") $(joined "$NS_A")" "$WORK/vlc.err" "$WORK/probe.out"
[ "$(joined "$NS_A")" = 1 ] || fail "the local ffprobe did not join 224.2.127.254" "$WORK/local.out"

announcing "$WORK/session.sdp"

rc=0; wait "$probe" || rc=$?
[ $rc -eq 0 ] || fail "ffprobe did not open the announced session ($rc)" "$WORK/probe.out" "$WORK/announce.err"
grep -q "^Input #0, sap, from 'sap://224.2.127.254'" "$WORK/probe.out" || fail "not read as SAP" "$WORK/probe.out"
grep -q "Audio: pcm_mulaw, 8000 Hz" "$WORK/probe.out" || fail "no audio stream in the session" "$WORK/probe.out"
rc=0; wait "$local_probe" || rc=$?
[ $rc -eq 0 ] && grep -q "Audio: pcm_mulaw" "$WORK/local.out" || fail "a player on our own host did not hear us ($rc)" "$WORK/local.out"

listed() { tr -d '\r' < "$WORK/vlc.out" | grep -a -A1 "Network streams (SAP)" | grep -aq -- "- Peer test tone$"; }
for _ in $(seq 1 20); do
    echo playlist >&3
    sleep 0.5
    listed && break
done
listed || fail "VLC's SAP discovery does not list the session" "$WORK/vlc.out" "$WORK/vlc.err"

echo quit >&3; exec 3>&-
stops "$announcer" "$WORK/announce.err"

# On the wire: the origin is the sending interface's address, not a
# loopback one, in the announcement and in the deletion.
[ "$(captured "$WORK/wire.jsonl" "Peer test tone" | cut -d' ' -f1-3 | sed -n '1p;$p' | paste -sd/)" \
    = "0x20 $ADDR_A $ADDR_A/0x24 $ADDR_A $ADDR_A" ] || fail "datagrams on the wire" "$WORK/wire.jsonl" "$WORK/wire.err"
echo "peers hear our announcement over veth: ok"
