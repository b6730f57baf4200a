#!/bin/bash
# Pictures of the desktop program for the README: a throw-away install
# directory and settings file, a sample cache written by the program's own
# writer, then talmira-pictures (the desktop program built from the same
# gui library, started the same way) under a virtual X display saving its
# window, the tray icon's menu, the splash, the About box, a session's
# properties, the sheets and wizards, and what arrives for a session a local
# sender plays (its Reception page and the list's Reception column), and the
# Clocks view while a grandmaster announces itself on the loopback interface,
# and View > Mosaic while ffmpeg plays five sessions, and the web page's
# mosaic and alarms views of the same sessions.
set -euo pipefail
build="${1:-build}"
out="${2:-docs/screenshots}"
build="$(cd "$build" && pwd)"
mkdir -p "$out"
out="$(cd "$out" && pwd)"
work="$(mktemp -d)"
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

export TALMIRA_SETTINGS="$work/Talmira.ini"
export XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
# English dates and a fixed zone, so pictures differ only by their content.
export LANG=C.UTF-8 LC_ALL=C.UTF-8 TZ=Europe/Brussels

"$build/src/cli/talmira-cli" setup >/dev/null
"$build/tools/pictures/talmira-sample-cache"
shoot() {
    if command -v xvfb-run >/dev/null; then
        xvfb-run -a -s "-screen 0 1400x900x24" "$build/tools/pictures/talmira-pictures" "$@"
    else
        echo "xvfb-run not found: drawing offscreen" >&2
        QT_QPA_PLATFORM=offscreen "$build/tools/pictures/talmira-pictures" "$@"
    fi
}
shoot documentation "$out"
for picture in properties studio settings settings-monitoring tool-picker wizard-schedule media-wizard; do
    shoot "$picture" "$out/$picture.png"
done
# The Reception page of a session whose streams a local sender plays,
# joined on the loopback interface; the video is a redundant pair.
sed -i 's/^\[Talmira\]$/[Talmira]\nInterface\\address=127.0.0.1/' "$TALMIRA_SETTINGS"
cat > "$work/reception.sdp" <<'SDP'
v=0
o=ada 4242 1 IN IP4 127.0.0.1
s=Evening Concert
i=Stage camera and hall sound
c=IN IP4 239.255.90.1/1
t=0 0
a=type:broadcast
a=group:DUP main backup
m=audio 50100 RTP/AVP 0
m=video 50102 RTP/AVP 33
c=IN IP4 239.255.90.2/1
a=mid:main
m=video 50102 RTP/AVP 33
c=IN IP4 239.255.90.3/1
a=mid:backup
SDP
python3 "$(dirname "$0")/../tests/support/rtp_pattern.py" stream 239.255.90.1 50100 239.255.90.2 50102 127.0.0.1 45 \
    239.255.90.3 &
stream=$!
shoot reception "$out/reception.png" "$work/reception.sdp"
# The same session in the list, its row selected and the Reception column shown.
shoot reception-list "$out/reception-list.png" "$work/reception.sdp"
kill "$stream" 2>/dev/null || true; wait "$stream" 2>/dev/null || true
# View > Alarms: the session watched from its row while its sender drops
# the backup leg after 6 s (redundancy lost), the main leg playing on.
pattern="$(dirname "$0")/../tests/support/rtp_pattern.py"
python3 "$pattern" stream 239.255.90.1 50100 239.255.90.2 50102 127.0.0.1 6 239.255.90.3 &
first=$!
(sleep 6; exec python3 "$pattern" stream 239.255.90.1 50100 239.255.90.2 50102 127.0.0.1 20) &
second=$!
shoot alarms "$out/alarms.png" "$work/reception.sdp"
kill "$first" "$second" 2>/dev/null || true; wait "$first" "$second" 2>/dev/null || true
# The Reception page with the picture and the meters: ffmpeg sends moving
# bars and a stereo tone, kept on this host (TTL 0, from the loopback address).
ffmpeg -hide_banner -loglevel error -re -f lavfi -i testsrc2=size=1280x720:rate=25 \
    -f lavfi -i "aevalsrc=0.25*sin(2*PI*440*t)|0.1*sin(2*PI*660*t):s=48000" -metadata title="Studio camera and sound" \
    -map 0 -c:v libx264 -preset ultrafast -g 50 -pix_fmt yuv420p -f rtp "rtp://239.255.91.1:50200?ttl=0&localaddr=127.0.0.1" \
    -map 1 -c:a pcm_s24be -f rtp "rtp://239.255.91.2:50202?ttl=0&localaddr=127.0.0.1" -sdp_file "$work/preview.sdp" \
    > "$work/preview.log" 2>&1 &
sender=$!
for _ in $(seq 1 50); do [ -s "$work/preview.sdp" ] && break; sleep 0.1; done
shoot reception-preview "$out/reception-preview.png" "$work/preview.sdp"
kill "$sender" 2>/dev/null || true; wait "$sender" 2>/dev/null || true
# View > Mosaic over five sessions ffmpeg plays on this host: four
# cameras (a picture every second) and a sound-only programme.
mkdir -p "$work/mosaic"
mosaic_senders=()
n=0
for source in "testsrc2=size=640x360:rate=25|Campus TV studio" "smptehdbars=size=640x360:rate=25|Campus TV bars" \
              "rgbtestsrc=size=640x360:rate=25|Campus lecture hall" "testsrc=size=640x360:rate=25|Campus sports"; do
    n=$((n + 1))
    ffmpeg -hide_banner -loglevel error -re -f lavfi -i "${source%%|*}" -metadata title="${source#*|}" \
        -c:v libx264 -preset ultrafast -tune zerolatency -g 25 -pix_fmt yuv420p \
        -f rtp "rtp://239.255.92.$n:50300?ttl=0&localaddr=127.0.0.1" -sdp_file "$work/mosaic/$n.sdp.part" \
        > "$work/mosaic/$n.log" 2>&1 &
    mosaic_senders+=($!)
done
ffmpeg -hide_banner -loglevel error -re -f lavfi -i "aevalsrc=0.3*sin(2*PI*440*t)|0.05*sin(2*PI*880*t):s=48000" \
    -metadata title="Campus radio" -c:a pcm_s16be -f rtp "rtp://239.255.92.9:50302?ttl=0&localaddr=127.0.0.1" \
    -sdp_file "$work/mosaic/9.sdp.part" > "$work/mosaic/9.log" 2>&1 &
mosaic_senders+=($!)
for part in 1 2 3 4 9; do
    for _ in $(seq 1 50); do [ -s "$work/mosaic/$part.sdp.part" ] && break; sleep 0.1; done
    # A session id of its own for each, as announcers give.
    sed "s/^o=- [0-9]* [0-9]*/o=- 4700$part 1/" "$work/mosaic/$part.sdp.part" > "$work/mosaic/$part.sdp"
done
shoot mosaic "$out/mosaic.png" "$work/mosaic"
# The web page's mosaic and alarms in a headless Chromium: `serve --watch`
# hears the five sessions announced on the loopback interface (TTL 0) and
# decodes what the page looks at; two watched senders then stop.
python3 - "$work/mosaic" <<'PY' &
import os, socket, struct, sys, time
texts = [open(os.path.join(sys.argv[1], f), "rb").read() for f in sorted(os.listdir(sys.argv[1])) if f.endswith(".sdp")]
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton("127.0.0.1"))
s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, 0)
for _ in range(90):
    for n, text in enumerate(texts):
        head = struct.pack("!BBH4s", 0x20, 0, n + 1, socket.inet_aton("127.0.0.1")) + b"application/sdp\0"
        s.sendto(head + text, ("224.2.127.254", 9875))
    time.sleep(2)
PY
sap=$!
"$build/src/cli/talmira-cli" serve --watch --http 127.0.0.1:18086 --seconds 170 > /dev/null 2> "$work/serve.log" &
server=$!
/usr/bin/python3 "$(dirname "$0")/../tools/pictures/web_pictures.py" http://127.0.0.1:18086 "$out" \
    "${mosaic_senders[3]}" "${mosaic_senders[4]}" || { cat "$work/serve.log" >&2; exit 1; }
kill "$server" "$sap" 2>/dev/null || true; wait "$server" "$sap" 2>/dev/null || true
for sender in "${mosaic_senders[@]}"; do kill "$sender" 2>/dev/null || true; wait "$sender" 2>/dev/null || true; done
# View > Clocks while a grandmaster the sample's stageboxes name announces
# itself on the loopback interface (PTP Announce, domain 0, twice a second).
python3 - <<'PY' &
import socket, struct, time
gm = bytes.fromhex("001dc1fffe123456")
head = struct.pack(">BBHBBH8s4s8sHHBb", 0x0B, 2, 64, 0, 0, 0, bytes(8), bytes(4), gm, 1, 0, 5, -1)
body = struct.pack(">6sIhBBBBHB8sHB", bytes(6), 0, 37, 0, 128, 6, 0x21, 0x4E5D, 128, gm, 0, 0x20)
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton("127.0.0.1"))
s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, 0)
for _ in range(60):
    s.sendto(head + body, ("224.0.1.129", 320))
    time.sleep(0.5)
PY
announcer=$!
shoot clocks "$out/clocks.png"
kill "$announcer" 2>/dev/null || true; wait "$announcer" 2>/dev/null || true
for picture in main-window tray-menu splash about properties studio settings settings-monitoring alarms tool-picker wizard-schedule media-wizard reception \
               reception-preview \
               reception-list clocks mosaic web-mosaic web-alarms; do
    [ -s "$out/$picture.png" ] || { echo "no $out/$picture.png" >&2; exit 1; }
done
echo "wrote $out/{main-window,tray-menu,splash,about,properties,studio,settings,settings-monitoring,alarms,tool-picker,wizard-schedule,media-wizard,reception,reception-preview,reception-list,clocks,mosaic,web-mosaic,web-alarms}.png"
