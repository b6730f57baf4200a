#!/bin/bash
# Announcing from the desktop program, end to end: in one network namespace
# the real `talmira` on a virtual X display, driven through its menus and the
# "Announcement Wizard" by a Qt plug-in loaded into it
# (tests/support/desktop_probe.cpp); in the other, `talmira-cli listen` must
# hear the new session with the wizard's fields and the audio medium added
# through the Media Wizard within 2 s. The session goes out with the TTL of
# the scope chosen in the wizard and the sending interface as its origin,
# and keeps that TTL across a restart of the program: the deletion that
# Delete on its row sends then is heard within 2 s, with the same TTL.
source "$(dirname "$0")/lib-netns.sh"
source "$(dirname "$0")/lib-desktop.sh"
[ -x "$cli" ] || fail "talmira-cli is not built"
need python3
netns_setup wizard 49
NAME="Wizard seminar $$"

sides
start_listener "$WORK/listen.jsonl"
timeout 80 ip netns exec "$NS_B" python3 "$peer" capture 224.2.127.254 9875 "$ADDR_B" 80 \
    > "$WORK/wire.jsonl" 2> "$WORK/wire.err" &
start_display "$NS_A"
start_probed "$NS_A" sender "$WORK/talmira.err"

# record EVENT: the listener's record of our session for that event, as JSON.
record() { grep "\"event\":\"$1\"" "$WORK/listen.jsonl" | grep -F "\"name\":\"$NAME\"" | head -n 1; }
heard() {
    local i
    for ((i = 0; i < 20; i++)); do [ -n "$(record "$1")" ] && return 0; sleep 0.1; done
    return 1
}

ask "select TTL Scope" "^selected TTL Scope$"

# The schedule: once, from a minute ago for two hours, so it is on now.
start=$(( $(date +%s) - 60 ))
ask "trigger Session..." "^page Session Information$"
# Both texts are required: Next is refused until they are filled.
ask next "^message Title and description are mandatory fields!$"
ask "click OK" "^message closed Title and description"
ask "set Title: = $NAME" "^set Title:$"
ask "set Description: = Routing talks, end to end" "^set Description:$"
ask "set URL: = http://example.org/seminar" "^set URL:$"
ask next "^page Contact Information$"
ask "set E-mail: = host@example.org" "^set E-mail:$"
ask "set Phone: = +32 2 555 0101" "^set Phone:$"
ask next "^page Session Schedule$"
ask "set from: = $(date -d "@$start" +%d/%m/%Y)" "^set from:$"
ask "set at = $(date -d "@$start" +%H:%M:%S)" "^set at$"
ask "set For = 2 hour" "^set For$"
# Region scope (TTL 63); the other pages keep their defaults up to the media list.
next_to "Scope"
ask "click Region" "^clicked Region$"
next_to "Media present in session"
# One audio medium through the Media Wizard, at the address and port its
# address page proposes.
ask "click Add..." "^page Select the media you want to use...$"
ask "choose audio" "^chose audio$"
next_to "Address and port to be used"
ask "get Address:" "^value Address: = [0-9.]*$"
address=$(answer "^value Address: = " | cut -d' ' -f4)
ask "get Port:" "^value Port: = [0-9]*$"
port=$(answer "^value Port: = " | cut -d' ' -f4)
ask next "^pressed next$"
ask finish "^page Media present in session$"
ask finish "^pressed finish$"
seen "^page none$" 2 || fail "the wizard did not close on Finish" "$WORK/probe.log"
heard add || fail "the listener did not hear the new session within 2 s" \
    "$WORK/listen.jsonl" "$WORK/listen.jsonl.err" "$WORK/probe.log" "$WORK/talmira.err"

# The fields the wizard took, as the other side heard them.
record add | python3 -c '
import json, sys
start, user = int(sys.argv[1]) + 2208988800, sys.argv[2]
r = json.load(sys.stdin)["record"]
want = {"information": "Routing talks, end to end", "uri": "http://example.org/seminar",
        "email": "host@example.org", "phone": "+32 2 555 0101"}
bad = [f"{k}: {r[k]!r}" for k, v in want.items() if r[k] != v]
times = [(t["start"], t["stop"], t["repeat_interval"]) for t in r["times"]]
if times != [(str(start), str(start + 7200), "")]:
    bad.append(f"times: {times}")
if r["origin"]["user"] != user:
    bad.append(f"origin user: {r['origin']['user']!r}")
if "tool:Talmira by TalmiraSoft" not in r["attributes"]:
    bad.append(f"attributes: {r['attributes']}")
media = [(m["media"], m["address"], m["port"], m["ttl"]) for m in r["media"]]
if media != [("audio", sys.argv[3], sys.argv[4], 63)]:
    bad.append(f"media: {media}")
sys.exit("\n".join(bad) or None)
' "$start" "$(id -un)" "$address" "$port" || fail "the heard session differs from the wizard's fields" "$WORK/listen.jsonl"

# wire KIND: the TTL and origin of our datagrams of that kind (0x20, 0x24).
wire() { captured "$WORK/wire.jsonl" "$NAME" | awk -v k="$1" '$1 == k { print $4, $2 }' | sort -u; }
[ "$(wire 0x20)" = "63 $ADDR_A" ] || fail "announced with TTL and origin $(wire 0x20)" "$WORK/wire.jsonl"

# Restarted, the program has the session from its cache; Delete on the row
# withdraws it with the TTL it was announced with.
seen "^rows: .*$NAME" 2 || fail "no row for the new session" "$WORK/probe.log"
stop_probed
start_probed "$NS_A" sender "$WORK/talmira-again.err"
ask "select TTL Scope" "^selected TTL Scope$"
seen "^rows: .*$NAME" 5 || fail "no row for the session after the restart" "$WORK/probe.log"
ask "select-row $NAME" "^selected row $NAME$"
ask "trigger Delete" "^triggered Delete$"
heard remove || fail "the listener did not hear the deletion within 2 s" "$WORK/listen.jsonl" "$WORK/probe.log"
for _ in $(seq 1 20); do [ -n "$(wire 0x24)" ] && break; sleep 0.1; done
[ "$(wire 0x24)" = "63 $ADDR_A" ] || fail "withdrawn with TTL and origin $(wire 0x24)" "$WORK/wire.jsonl"
for _ in $(seq 1 20); do grep "^rows: " "$WORK/probe.log" | tail -n 1 | grep -qF "$NAME" || break; sleep 0.1; done
! grep "^rows: " "$WORK/probe.log" | tail -n 1 | grep -qF "$NAME" || fail "the row stays after Delete" "$WORK/probe.log"

stop_probed
stops "$listener" "$WORK/listen.jsonl.err"
echo "announcing from the desktop program: ok"
