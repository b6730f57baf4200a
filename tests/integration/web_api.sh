#!/bin/bash
# The directory's HTTP API across two network namespaces: an ffmpeg RTP
# stream announced from one, `talmira-cli serve` in the other. The JSON has
# its documented shape (one session is what `listen --json` prints), the SDP
# is the writer's text, a player (ffprobe) opens the playlist's entry and
# finds the stream, and /metrics parses as the Prometheus text format.
source "$(dirname "$0")/lib-web.sh"
need ffmpeg ffprobe /usr/bin/python3
web_netns_setup api 62

sides
side listener "$ADDR_B"

tone 100 "sap://224.2.17.50:41010?announce_addr=224.2.127.254&ttl=15" -metadata title="API tone" \
    > /dev/null 2> "$WORK/ffmpeg.err" &
run_in "$NS_B" listener listen --json --seconds 60 > "$WORK/listen.jsonl" 2> "$WORK/listen.err" &
serving receiver 127.0.0.1:18082 60

timeout 60 ip netns exec "$NS_B" /usr/bin/python3 "$(dirname "$0")/../support/web_api_check.py" \
    --base http://127.0.0.1:18082 --listen "$WORK/listen.jsonl" --name "API tone" \
    || fail "API check failed" "$WORK/serve.err" "$WORK/ffmpeg.err"

stops "$server" "$WORK/serve.err"

# Bound beyond loopback, the server says what becomes visible.
run_in "$NS_B" receiver serve --http "$ADDR_B:18083" --seconds 1 > /dev/null 2> "$WORK/wide.err" || true
grep -q "warning: serving beyond this host on $ADDR_B port 18083: anyone who reaches it sees every session" "$WORK/wide.err" \
    || fail "no warning for a wide bind" "$WORK/wide.err"
! grep -q "warning" "$WORK/serve.err" || fail "warning on loopback" "$WORK/serve.err"
