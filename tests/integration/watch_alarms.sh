#!/bin/bash
# talmira-cli watch between two namespaces: a stopped sender raises "stream
# silent" within 5 s in the JSON lines and at the webhook, its return clears
# it, both are in the history with their times; a webhook receiver down for
# 20 s then gets every event once, in order; one leg of a redundant pair
# stopped is "redundancy lost", not silence; a kill -9 while an alarm flaps
# leaves a history that opens and holds every event older than a second;
# the shipped alerting rules pass promtool, and Prometheus scraping
# `serve --watch` fires the stream silent alert while the disk of its
# history is full, which it says once, writing what it kept when space returns.
if [ -z "${TALMIRA_OWN_MOUNTS:-}" ]; then
    [ "$(id -u)" -eq 0 ] || { echo "needs root for a mount namespace; skipped"; exit 77; }
    exec unshare -m --propagation private env TALMIRA_OWN_MOUNTS=1 bash "$0" "$@" # the history's small disk goes with it
fi
source "$(dirname "$0")/lib-netns.sh" "$1"
need python3 promtool
netns_setup watch 41
root="$(cd "$(dirname "$0")/../.." && pwd)"

promtool check rules "$root/packaging/prometheus/talmira-alerts.yml" > "$WORK/promtool.out" 2>&1 \
    || fail "promtool refuses the shipped rules" "$WORK/promtool.out"
# Prometheus, started now for the end, scrapes `serve --watch` once it runs.
cat > "$WORK/prometheus.yml" <<YML
global: {scrape_interval: 1s, evaluation_interval: 1s}
rule_files: ['$root/packaging/prometheus/talmira-alerts.yml']
scrape_configs: [{job_name: talmira, static_configs: [{targets: ['127.0.0.1:8097']}]}]
YML
ip netns exec "$NS_B" prometheus --config.file="$WORK/prometheus.yml" --storage.tsdb.path="$WORK/tsdb" \
    --web.listen-address=127.0.0.1:9097 > "$WORK/prometheus.log" 2>&1 &

# send GROUP...: RTP to each group (port 5004), 100 packets a second; its
# pid is $sender. `stop PID` pauses it at once, `start PID` resumes it as a
# new source (a sender started anew, without waiting for an interpreter),
# `kill -HUP PID` stops sending to the last group.
send() {
    local ready="$WORK/ready.$RANDOM"
    ip netns exec "$NS_A" python3 - "$ADDR_A" "$ready" "$@" <<'PY' &
import os, signal, socket, struct, sys, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(sys.argv[1]))
state = {"on": True, "ssrc": 1, "seq": 0, "groups": sys.argv[3:]}
def restart(*_):
    state["ssrc"], state["seq"] = struct.unpack("!IH", os.urandom(6)); state["on"] = True
restart()
signal.signal(signal.SIGUSR1, lambda *_: state.update(on=False))
signal.signal(signal.SIGUSR2, restart)
signal.signal(signal.SIGHUP, lambda *_: state.update(groups=sys.argv[3:-1]))
open(sys.argv[2], "w").close()
while True:
    if state["on"]:
        seq = state["seq"]
        for g in state["groups"]:
            s.sendto(struct.pack("!BBHII", 0x80, 96, seq, seq * 900 & 0xffffffff, state["ssrc"]) + bytes(100), (g, 5004))
        state["seq"] = (seq + 1) & 0xffff
    time.sleep(0.01)
PY
    sender=$!
    poll 10 test -e "$ready" || fail "the sender did not start"
}
stop() { kill -USR1 "$1"; }
start() { kill -USR2 "$1"; }

# The webhook receiver on the watcher's loopback: each body with its
# delivery number, one line each, in $WORK/hooks.
receive() {
    ip netns exec "$NS_B" python3 - "$WORK/hooks" <<'PY' &
import http.server, json, sys
class H(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        body = json.loads(self.rfile.read(int(self.headers["Content-Length"])))
        body["delivery"] = int(self.headers["X-Talmira-Delivery"])
        body["signed"] = self.headers.get("X-Talmira-Signature", "")
        with open(sys.argv[1], "a") as f:
            f.write(json.dumps(body) + "\n")
        self.send_response(200); self.end_headers()
    def log_message(self, *a): pass
http.server.HTTPServer(("127.0.0.1", 8099), H).serve_forever()
PY
    hooks=$!
    poll 5 ip netns exec "$NS_B" python3 -c 'import socket; socket.create_connection(("127.0.0.1", 8099))' 2> /dev/null \
        || fail "the webhook receiver did not start"
}

# watch NAME ARGS...: the watcher in $NS_B, JSON lines in $WORK/NAME.out; its pid is $watcher.
hook=(--webhook http://127.0.0.1:8099/hook --webhook-pause 2 --secret-file "$WORK/secret")
watch() {
    local name="$1"; shift
    ip netns exec "$NS_B" "$cli" watch "$@" --json --db "$WORK/$name.db" --iface "$ADDR_B" > "$WORK/$name.out" \
        2> "$WORK/$name.err" &
    watcher=$!
    wait_for "$WORK/$name.err" "watching" 5 || fail "the watcher did not start" "$WORK/$name.err"
}
# count FILE EVENT ALARM: lines of that event and alarm.
count() { grep -c "\"event\":\"$2\",\"alarm\":\"$3\"" "$1" || true; }
# events FILE: "event alarm media" of each raise and clear, in order.
events() { python3 -c 'import json, sys
for o in map(json.loads, open(sys.argv[1])):
    if o["event"] in ("raise", "clear"): print(o["event"], o["alarm"], o["media"])' "$1"; }

echo secret > "$WORK/secret"
for n in 1 4; do
    cat > "$WORK/$n.sdp" <<SDP
v=0
o=watch $n 1 IN IP4 $ADDR_A
s=Watched $n
t=0 0
m=video 5004 RTP/AVP 96
c=IN IP4 239.41.0.$n/16
a=rtpmap:96 raw/90000
SDP
done
send 239.41.0.4; other=$sender
send 239.41.0.1
receive
watch one "$WORK/1.sdp" "$WORK/4.sdp" "${hook[@]}"
sleep 2
[ "$(count "$WORK/one.out" raise "stream silent")" = 0 ] || fail "silent while the sender plays" "$WORK/one.out"
stop "$sender"
wait_for "$WORK/one.out" '"raise","alarm":"stream silent"' 5 || fail "no stream silent within 5 s" "$WORK/one.out"
wait_for "$WORK/hooks" '"raise", "alarm": "stream silent"' 3 || fail "the webhook had no raise" "$WORK/hooks"
start "$sender"
wait_for "$WORK/one.out" '"clear","alarm":"stream silent"' 3 || fail "not cleared when the sender returned" "$WORK/one.out"
wait_for "$WORK/hooks" '"clear", "alarm": "stream silent"' 3 || fail "the webhook had no clear" "$WORK/hooks"
python3 - "$WORK/hooks" <<'PY' || fail "a webhook body was not signed with the secret" "$WORK/hooks"
import hashlib, hmac, json, sys
for o in map(json.loads, open(sys.argv[1])):
    sig = o.pop("signed"); o.pop("delivery")
    assert sig.startswith("sha256=") and len(sig) == 71, sig
PY

# A redundant pair with one leg stopped: redundancy lost, not silence
# (in the background, without the webhook, during its outage).
cat > "$WORK/pair.sdp" <<SDP
v=0
o=watch 2 1 IN IP4 $ADDR_A
s=Watched pair
t=0 0
a=group:DUP red blue
m=video 5004 RTP/AVP 96
c=IN IP4 239.41.0.2/16
a=rtpmap:96 raw/90000
a=mid:red
m=video 5004 RTP/AVP 96
c=IN IP4 239.41.0.3/16
a=rtpmap:96 raw/90000
a=mid:blue
SDP
pair() {
    trap 'kill $(jobs -p) 2> /dev/null || true' EXIT
    send 239.41.0.2 239.41.0.3
    watch pair "$WORK/pair.sdp"
    sleep 2
    kill -HUP "$sender"
    wait_for "$WORK/pair.out" '"raise","alarm":"redundancy lost"' 6 || fail "no redundancy lost" "$WORK/pair.out"
    sleep 1
    [ "$(count "$WORK/pair.out" raise "stream silent")" = 0 ] || fail "one leg down was called silence" "$WORK/pair.out"
    kill "$watcher" "$sender"; wait "$watcher" || fail "the watcher did not end cleanly" "$WORK/pair.err"
}

# The receiver down for 20 s while the other stream stops and returns
# twice (the second time held as a flap): every raise and clear the
# watcher printed arrives once, in order, when it is back.
kill "$hooks"; wait "$hooks" 2> /dev/null || true
pair > "$WORK/pair.log" 2>&1 &
paired=$!
for _ in 1 2; do
    stop "$other"; sleep 4.5; start "$other"; sleep 3
done
sleep 5
wait "$paired" || fail "$(cat "$WORK/pair.log")"
receive
caught_up() { [ "$(events "$WORK/hooks" | wc -l)" -ge "$(events "$WORK/one.out" | wc -l)" ]; }
poll 40 caught_up || fail "the webhook did not catch up" "$WORK/hooks" "$WORK/one.out"
sleep 2
diff <(events "$WORK/one.out") <(events "$WORK/hooks") > "$WORK/diff" || fail "webhook events differ from the watcher's" "$WORK/diff"
python3 -c 'import json, sys
d = [json.loads(l)["delivery"] for l in open(sys.argv[1])]
assert d == sorted(set(d)), d' "$WORK/hooks" || fail "a delivery came twice or out of order" "$WORK/hooks"
[ "$(count "$WORK/one.out" held "stream silent")" = 1 ] || fail "the second stop within a minute was not held" "$WORK/one.out"
[ "$(grep -c '"event": "raise", "alarm": "stream silent", "session": "watch 4 ' "$WORK/hooks")" = 1 ] \
    || fail "the raise during the outage was not delivered once" "$WORK/hooks"

# kill -9 while it flaps: the history opens whole, with every event
# printed more than a second before.
stop "$sender"
sleep 4.5
killed=$(date +%s%3N)
kill -9 "$watcher"; wait "$watcher" 2> /dev/null || true
python3 - "$WORK/one.db" "$WORK/one.out" "$killed" <<'PY' || fail "the history after kill -9 is not whole" "$WORK/one.out"
import json, sqlite3, sys, time
db = sqlite3.connect(sys.argv[1])
assert db.execute("PRAGMA integrity_check").fetchone()[0] == "ok"
rows = db.execute("SELECT time_ms, event, alarm FROM alarm_log ORDER BY id").fetchall()
printed = [json.loads(l) for l in open(sys.argv[2])]
killed = int(sys.argv[3])
want = [(o["time_ms"], o["event"], o["alarm"]) for o in printed if o["time_ms"] < killed - 1500]
assert rows[:len(want)] == want, (rows, want)
assert ("raise", "stream silent") in [(e, a) for _, e, a in rows] and ("clear", "stream silent") in [(e, a) for _, e, a in rows]
assert all(t > 0 for t, _, _ in rows)
PY
kill "$sender" "$other"; wait "$sender" "$other" 2> /dev/null || true

# serve --watch follows the settings' watch list; Prometheus scraping it
# fires the shipped alert when the stream stops, its history's small disk
# full meanwhile.
sed 's/^o=watch 1 /o=watch 5 /; s/239.41.0.1/239.41.0.5/' "$WORK/1.sdp" > "$WORK/5.sdp"
install="$WORK/receiver/install"
mkdir -p "$install" && mount -t tmpfs -o size=1m tmpfs "$install"
trap 'umount -l "$install"; netns_cleanup' EXIT
side receiver "$ADDR_B" 'Watch\Entries=1' "Watch\\Entry0\\Session=watch 5 IN IP4 $ADDR_A"
send 239.41.0.5
run_in "$NS_B" receiver serve --watch --http 127.0.0.1:8097 > /dev/null 2> "$WORK/serve.err" &
wait_for "$WORK/serve.err" "serving" 5 || fail "serve did not start" "$WORK/serve.err"
sap_send "$NS_A" 224.2.127.254 "$ADDR_A" 0x20 "$WORK/5.sdp"
# metric URL PATTERN: the answer of URL in $NS_B has a line matching PATTERN.
metric() {
    ip netns exec "$NS_B" python3 -c 'import sys, urllib.request as u; print(u.urlopen(sys.argv[1]).read().decode())' \
        "$1" > "$WORK/answer" 2> /dev/null && grep -q "$2" "$WORK/answer"
}
up() { metric http://127.0.0.1:8097/metrics "^talmira_watch_up{session=\"watch 5 IN IP4 $ADDR_A\",name=\"Watched 1\"} 1"; }
poll 10 up || fail "serve --watch does not show the session up" "$WORK/serve.err"
dd if=/dev/zero of="$install/filler" bs=4k 2> /dev/null || true
stop "$sender"
firing() {
    metric http://127.0.0.1:9097/api/v1/alerts . && python3 -c 'import json, sys
sys.exit(not any(a["labels"]["alertname"] == "TalmiraStreamSilent" and a["state"] == "firing"
                 for a in json.load(open(sys.argv[1]))["data"]["alerts"]))' "$WORK/answer"
}
poll 30 firing || fail "Prometheus did not fire the stream silent alert" "$WORK/serve.err" "$WORK/prometheus.log"
metric http://127.0.0.1:8097/metrics '^talmira_alarm_active{.*alarm="stream silent",media="0"} 1' \
    || fail "/metrics lacks the active alarm"
[ "$(grep -c "The disk is full" "$WORK/serve.err")" = 1 ] || fail "the full disk is not said once" "$WORK/serve.err"
rm "$install/filler"
wait_for "$WORK/serve.err" "history is written again" 5 || fail "the history is not written again" "$WORK/serve.err"
python3 -c 'import sqlite3, sys
sys.exit(("raise", "stream silent") not in sqlite3.connect(sys.argv[1]).execute("SELECT event, alarm FROM alarm_log").fetchall())' \
    "$install/watch-history.db" || fail "the raise kept while the disk was full is not in the history"
# The page's orders: hostile ones refused; an acknowledgement shows in the alarms and /metrics.
order() { ip netns exec "$NS_B" curl -s -o /dev/null -w '%{http_code}' -X POST -d "$2" "${@:3}" "http://127.0.0.1:8097/api/v1/$1"; }
json='Content-Type: application/json' alarm="{\"session\":\"watch 5 IN IP4 $ADDR_A\",\"alarm\":\"stream silent\",\"media\":"
while IFS='|' read -r code path body h1 h2; do
    [ "$(order "$path" "$body" -H "${h1:-$json}" ${h2:+-H "$h2"})" = "$code" ] || fail "POST $path $body $h1 $h2: not $code"
done <<ROWS
415|alarms/acknowledge|{"all":true}|Content-Type: text/plain
403|alarms/acknowledge|{"all":true}|$json|Origin: http://evil.example
400|alarms/acknowledge|{"all":
404|alarms/acknowledge|${alarm}7}
400|watch|{"session":"x"}
404|watch|{"session":"x","watch":true}
200|alarms/acknowledge|${alarm}0}
ROWS
metric http://127.0.0.1:8097/api/v1/alarms '"acknowledged":true' || fail "the alarm is not acknowledged" "$WORK/answer"
metric http://127.0.0.1:8097/metrics '^talmira_alarm_acknowledged{.*alarm="stream silent",media="0"} 1' \
    || fail "/metrics lacks the acknowledgement"
echo "watch alarms: ok"
