#!/bin/bash
# The web page with 20,000 sessions in one directory, in headless Chromium:
# the list draws only the rows in view, scrolling anywhere shows the right
# rows quickly and no task blocks the page for long, and arrivals during a
# flood keep the count right.
source "$(dirname "$0")/lib-web.sh"
need chromium chromedriver /usr/bin/python3
web_netns_setup large 64

side receiver "$ADDR_B"
serving receiver 127.0.0.1:18085 200

# 20,000 announcements at 4,000 a second from the other namespace.
ip netns exec "$NS_A" env PYTHONPATH="$(dirname "$0")/../support" /usr/bin/python3 - "$ADDR_A" > "$WORK/flood.out" 2>&1 <<'PY' &
import sys
from web_check import sap_flood
o = sys.argv[1]
sap_flood(o, 20000, 4000, lambda n: f'v=0\r\no=big {n} 1 IN IP4 {o}\r\ns=Session {n:05d}\r\ni=Number {n} of many\r\n'
          f'c=IN IP4 224.3.{n // 250}.{n % 250}/15\r\nt=0 0\r\nm=audio {10000 + n % 5000 * 2} RTP/AVP 0\r\n')
PY
flood=$!
timeout 150 ip netns exec "$NS_B" /usr/bin/python3 "$(dirname "$0")/../support/web_page_large_check.py" \
    --base http://127.0.0.1:18085 --work "$WORK" --sessions 20000 \
    || fail "large page check failed" "$WORK/serve.err"
wait "$flood" || fail "the flood failed" "$WORK/flood.out"
stops "$server" "$WORK/serve.err"
