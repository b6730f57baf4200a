#!/bin/bash
# The directory's HTTP API across two network namespaces: an ffmpeg RTP
# stream announced from one, `talmira-cli serve` in the other. The JSON has
# its documented keys (one session is what `listen --json` prints), a player
# (ffprobe) opens the playlist's entry and finds the stream, and /metrics
# parses as the Prometheus text format.
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

# Bound beyond loopback it asks for a token, kept for the user alone and
# printed with the address; --no-token serves openly, and says what becomes
# visible. Every command has its --help.
run_in "$NS_B" receiver serve --http "$ADDR_B:18083" --seconds 1 > /dev/null 2> "$WORK/wide.err" || true
token=$(cat "$WORK/receiver/install/web-token")
grep -q "serving http://$ADDR_B:18083/?token=$token" "$WORK/wide.err" && [ "${#token}" -ge 32 ] \
    && [ "$(stat -c %a "$WORK/receiver/install/web-token")" = 600 ] || fail "no private token" "$WORK/wide.err"
chmod 644 "$WORK/receiver/install/web-token" # a token others could read is kept, and made private
run_in "$NS_B" receiver serve --http "$ADDR_B:18083" --seconds 1 > /dev/null 2> "$WORK/wide.err" || true
grep -q "?token=$token" "$WORK/wide.err" && [ "$(stat -c %a "$WORK/receiver/install/web-token")" = 600 ] \
    || fail "a readable token was not kept private" "$WORK/wide.err"
run_in "$NS_B" receiver serve --http "$ADDR_B:18083" --no-token --seconds 1 > /dev/null 2> "$WORK/open.err" || true
grep -q "warning: serving beyond this host on $ADDR_B port 18083 without an access token: anyone who reaches it sees every session" \
    "$WORK/open.err" || fail "no warning for an open wide bind" "$WORK/open.err"
! grep -q "warning" "$WORK/serve.err" || fail "warning on loopback" "$WORK/serve.err"
for command in $("$cli" --help | sed -n 's/^  \([a-z]\+\) .*/\1/p; s/^  \([a-z]\+\)$/\1/p'); do
    "$cli" "$command" --help > "$WORK/help.out" && grep -q "^usage: talmira-cli $command" "$WORK/help.out" \
        || fail "$command --help" "$WORK/help.out"
done
"$cli" serve --help | grep -q "Authorization: Bearer TOKEN" || fail "serve --help says nothing of the token"
