#!/bin/bash
# The directory's web page in a real headless Chromium, across two network
# namespaces: ffmpeg announces from one, `talmira-cli serve` and the browser
# run in the other. Rows arrive live, deletions take them, search and the
# time filter narrow them, a hostile name stays text, the downloaded SDP is
# the server's text byte for byte, and the page follows a restarted server.
source "$(dirname "$0")/lib-web.sh"
need ffmpeg chromium chromedriver /usr/bin/python3
web_netns_setup page 61

sides

timeout 150 ip netns exec "$NS_B" /usr/bin/python3 "$(dirname "$0")/../support/web_page_check.py" \
    --cli "$cli" --work "$WORK" --ns-sender "$NS_A" --ns-receiver "$NS_B" --port 18081 --address "$ADDR_B" \
    --screenshot "${TALMIRA_WEB_SCREENSHOT:-$WORK/web.png}" \
    || fail "web page check failed" "$WORK"/serve*.err
