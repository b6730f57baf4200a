#!/bin/bash
# The web page with 20,000 sessions in one directory, in headless Chromium:
# the list draws only the rows in view, scrolling anywhere shows the right
# rows quickly and no task blocks the page for long, and arrivals during a
# flood keep the count right.
source "$(dirname "$0")/lib-web.sh"
need chromium chromedriver /usr/bin/python3
web_netns_setup large 64

side receiver "$ADDR_B"
run_in "$NS_B" receiver serve --http 127.0.0.1:18085 --seconds 200 > /dev/null 2> "$WORK/serve.err" &
server=$!
wait_for "$WORK/serve.err" "serving" 5 || fail "server did not start" "$WORK/serve.err"

# 20,000 announcements at 4,000 a second from the other namespace.
ip netns exec "$NS_A" /usr/bin/python3 - "$ADDR_A" > "$WORK/flood.out" 2>&1 <<'PY' &
import socket, struct, sys, time
origin = sys.argv[1]
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, 15)
s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(origin))
start = time.monotonic()
for n in range(20000):
    sdp = (f'v=0\r\no=big {n} 1 IN IP4 {origin}\r\ns=Session {n:05d}\r\ni=Number {n} of many\r\n'
           f'c=IN IP4 224.3.{n // 250}.{n % 250}/15\r\nt=0 0\r\nm=audio {10000 + n % 5000 * 2} RTP/AVP 0\r\n')
    s.sendto(struct.pack('!BBH4s', 0x20, 0, n & 0xFFFF, socket.inet_aton(origin)) + b'application/sdp\0' + sdp.encode(),
             ('224.2.127.254', 9875))
    ahead = start + (n + 1) / 4000 - time.monotonic()
    if ahead > 0:
        time.sleep(ahead)
PY
flood=$!
timeout 150 ip netns exec "$NS_B" /usr/bin/python3 "$(dirname "$0")/../support/web_page_large_check.py" \
    --base http://127.0.0.1:18085 --work "$WORK" --sessions 20000 \
    || fail "large page check failed" "$WORK/serve.err"
wait "$flood" || fail "the flood failed" "$WORK/flood.out"
stops "$server" "$WORK/serve.err"
