#!/bin/bash
# The online database client against a real HTTP server on loopback: the
# look-ups with their exact requests, failures (404, oversized, slow,
# redirect loop, no host) with the program's message and a non-zero exit,
# and plug-in downloads: a kept one is loaded by the next `tools`, a
# broken one or an unsafe name is refused and replaces nothing.
source "$(dirname "$0")/lib-netns.sh"
here="$(cd "$(dirname "$0")" && pwd)"
need python3
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY
scratch
PROBLEM=$'There seems to be a problem with the Online database.\nPlease retry later.'

mkdir -p "$WORK/state" "$WORK/install/plugins"
timeout 60 python3 "$here/../support/online_db_server.py" "$WORK/state" &
for _ in $(seq 50); do [ -f "$WORK/state/port" ] && break; sleep 0.1; done
[ -f "$WORK/state/port" ] || fail "the server did not start"
HOST="127.0.0.1:$(cat "$WORK/state/port")"
export TALMIRA_SETTINGS="$WORK/settings.ini"
printf '[User%%20Info]\nName=T\nPhone=1\nEmail=t@x\n[Talmira]\nInstall\\Directory=%s\n' "$WORK/install" > "$TALMIRA_SETTINGS"
online() { timeout 20 "$cli" online --timeout 3 "$@"; }
expect_failure() { # MESSAGE ARGS...: exit status 1 and MESSAGE on stderr
    local message="$1"; shift
    if online "$@" > "$WORK/out" 2> "$WORK/err"; then fail "online $* succeeded"; fi
    [ "$(cat "$WORK/err")" = "$message" ] || fail "online $*: stderr was: $(cat "$WORK/err")"
}

# 1. No host in the settings: the version check and the searches cannot reach the database.
expect_failure "$PROBLEM" version
expect_failure "$PROBLEM" tool vic
if online plugin audio RTP/AVP > /dev/null 2> "$WORK/err" || ! grep -q '^talmira-cli: usage: talmira-cli online' "$WORK/err"; then
    fail "a plugin search of two words was sent"; fi
# 2. The host from the settings; the version check sends its values unencoded.
printf 'Online\\Host=%s\n' "$HOST" >> "$TALMIRA_SETTINGS"
expect_failure "$PROBLEM" version # 404
printf 'http://%s/setup\r\n.bin\n' "$HOST" > "$WORK/state/version"
[ "$(online version)" = "{\"url\":\"http://$HOST/setup.bin\"}" ] || fail "version answer"
grep -qxF $'/scripts/versioncheck.idc?tool=Talmira&ver=1.00%20BETA\tUA=Talmira BETA 1.0\tAccept=*/*' \
    "$WORK/state/requests.log" || fail "version request" "$WORK/state/requests.log"
: > "$WORK/state/version"
[ "$(online version)" = '{"url":""}' ] || fail "current version"
# 3. Tool look-ups (the encoding's cases: OnlineRequestsTest): joined lines, unknown tool; --host wins over the setting.
[ "$(online --host "$HOST" tool 'my tool&x=1')" = "{\"url\":\"http://$HOST/pages/my%20tool%26x%3D1\"}" ] \
    || fail "tool answer"
grep -qF '/scripts/tool.idc?tool=my+tool%26x%3D1' "$WORK/state/requests.log" || fail "tool request"
[ "$(online tool unknown)" = '{"url":""}' ] || fail "unknown tool"
expect_failure "$PROBLEM" tool missing
expect_failure "$PROBLEM" tool big
start=$SECONDS
expect_failure "$PROBLEM" tool slow
[ $((SECONDS - start)) -le 8 ] || fail "the slow reply was waited for too long"
expect_failure "Connection refused" --host 127.0.0.1:1 tool vic

# 4. Plug-in look-up: one entry per complete non-empty line.
online plugin audio RTP/AVP 0 > "$WORK/offers.json"
python3 - "$WORK/offers.json" <<'PY' || fail "plug-in offers: $(cat "$WORK/offers.json")"
import json, sys
offers = json.load(open(sys.argv[1]))
assert [o["name"] for o in offers] == ["Good", "Redirected", "Broken", "Sneaky", "Looping"], offers
assert offers[0]["description"] == "A player from the net" and offers[0]["date"] == "2/3/2027"
PY
grep -qF '/scripts/plugin.idc?Media=audio&Proto=RTP/AVP&Fmt=0' "$WORK/state/requests.log" || fail "plug-in request"

# 5. Installing: the good one and the redirected one are kept (their text: OnlineRequestsTest).
online plugin audio RTP/AVP 0 --install Good --install Redirected > "$WORK/install.json" || fail "install"
python3 -c 'import json,sys; o=json.load(open(sys.argv[1])); assert [x.get("kept") for x in o[:2]]==[True,True], o' \
    "$WORK/install.json" || fail "install result: $(cat "$WORK/install.json")"
kept="$WORK/install/plugins/rev2.plugin.fetched.audio.rtpavp.1"
[ -f "$kept" ] && [ -f "$WORK/install/plugins/rev2.plugin.moved.audio.rtpavp.1" ] || fail "files not kept"
cp "$kept" "$WORK/kept.before"
printf 'v=0\no=- 1 1 IN IP4 10.0.0.1\ns=Net\nc=IN IP4 239.1.2.3/15\nt=0 0\nm=audio 5004 RTP/AVP 0\n' > "$WORK/s.sdp"
"$cli" tools --json --install-dir "$WORK/install" "$WORK/s.sdp" | grep -qF '"tool_name":"Fetched Player"' \
    || fail "the downloaded plug-in is not loaded"

# 6. Refused: a broken file under a kept name, a name that is not plain, a redirect loop.
for name in Broken Sneaky Looping; do
    if online plugin audio RTP/AVP 0 --install "$name" > "$WORK/out" 2> "$WORK/err"; then fail "$name was kept"; fi
    grep -q '"kept":false' "$WORK/out" || fail "$name: $(cat "$WORK/out")"
done
cmp -s "$kept" "$WORK/kept.before" || fail "the broken download replaced a good plug-in"
[ "$(ls "$WORK/install/plugins")" = $'rev2.plugin.fetched.audio.rtpavp.1\nrev2.plugin.moved.audio.rtpavp.1' ] \
    || fail "left behind: $(ls "$WORK/install/plugins")"
if online plugin audio RTP/AVP 0 --install Nobody > /dev/null 2>&1; then fail "an unoffered name was accepted"; fi
echo "online client: ok"
