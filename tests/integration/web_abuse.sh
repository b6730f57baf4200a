#!/bin/bash
# The web server under abuse from another host while the directory is
# flooded: 1,000 idle connections, slowloris clients and an event-stream
# client that never reads while 10,000 events fire (5,000
# announcements and their deletions at 2,000 datagrams a second). The
# directory hears every datagram, honest requests are answered, the server's
# memory stays bounded and the deaf client is dropped.
source "$(dirname "$0")/lib-web.sh"
need /usr/bin/python3
web_netns_setup abuse 63

side receiver "$ADDR_B"
# Attackers come from addresses of their own: the limits are per address.
for n in 11 12; do ip -n "$NS_A" addr add "10.79.63.$n/24" dev "va$$"; done

serving receiver "$ADDR_B:18084" 120

timeout 100 ip netns exec "$NS_A" /usr/bin/python3 "$(dirname "$0")/../support/web_abuse_check.py" \
    --base "http://$ADDR_B:18084" --pid "$server" --origin "$ADDR_A" \
    --token "$(sed -n 's/.*serving http.*?token=\([0-9a-f]*\).*/\1/p' "$WORK/serve.err")" \
    || fail "abuse check failed" "$WORK/serve.err"
stops "$server" "$WORK/serve.err"
