#!/bin/bash
# One directory per install directory: a second `talmira-cli listen` on it
# refuses to start, while `announce` and `cache` run beside the listener
# without touching its cache or tmp/; a listener killed with -9 blocks no
# later start. A hang-up ends `listen` and `announce` as TERM does: the
# cache is written, the deletion sent.
set -euo pipefail
build="$1"
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/lib-netns.sh"
netns_setup inst 43

side sender "$ADDR_A"
side receiver "$ADDR_B"
install="$WORK/receiver/install"
printf 'v=0\no=alice 60606 1 IN IP4 %s\ns=Beside the listener\nc=IN IP4 224.2.17.14/15\nt=0 0\nm=audio 49170 RTP/AVP 0\n' \
    "$ADDR_A" > "$WORK/session.sdp"

start_listener() { # OUTPUT
    run_in "$NS_B" receiver listen --seconds 60 > "$1" 2> "$1.err" &
    listener=$!
    wait_for "$1.err" "listening" 5 || { cat "$1.err"; exit 1; }
}
ends_cleanly() { # PID LOG
    wait "$1" || { echo "exit status $? after the signal"; cat "$2"; exit 1; }
}

# 1. A hang-up writes the cache like TERM.
start_listener "$WORK/first.log"
kill -HUP "$listener"; ends_cleanly "$listener" "$WORK/first.log.err"
[ -f "$install/Talmira.cache" ] || { echo "no cache after a hang-up"; exit 1; }
run_in "$NS_B" receiver cache check > /dev/null

# 2. Beside a running listener: a second listener is refused; announce and
# cache leave the cache and tmp/ alone.
start_listener "$WORK/second.log"
cp "$install/Talmira.cache" "$WORK/cache.before"
touch "$install/tmp/leftover.sdp"
if run_in "$NS_B" receiver listen --seconds 3 > /dev/null 2> "$WORK/refused.err"; then
    echo "a second listener started on the same install directory"; exit 1
fi
grep -q "another instance is running on the install directory $install (pid $listener)" "$WORK/refused.err" \
    || { echo "no clear refusal:"; cat "$WORK/refused.err"; exit 1; }
run_in "$NS_B" receiver announce "$WORK/session.sdp" --seconds 1 > /dev/null 2> "$WORK/beside.err" \
    || { cat "$WORK/beside.err"; exit 1; }
run_in "$NS_B" receiver cache check > /dev/null
run_in "$NS_B" receiver cache dump > /dev/null
cmp -s "$install/Talmira.cache" "$WORK/cache.before" || { echo "cache written beside the listener"; exit 1; }
[ -e "$install/tmp/leftover.sdp" ] || { echo "tmp emptied beside the listener"; exit 1; }
kill -TERM "$listener"; ends_cleanly "$listener" "$WORK/second.log.err"
[ ! -e "$install/tmp/leftover.sdp" ] || { echo "the listener left tmp/ full"; exit 1; }

# 3. A listener that was killed outright leaves no lock behind.
start_listener "$WORK/third.log"
kill -KILL "$listener"; wait "$listener" 2>/dev/null || true
start_listener "$WORK/fourth.log"
kill -TERM "$listener"; ends_cleanly "$listener" "$WORK/fourth.log.err"

# 4. A hang-up withdraws an announcement like TERM.
ip netns exec "$NS_B" "$cli" listen --raw --iface "$ADDR_B" --seconds 30 > "$WORK/raw.jsonl" 2> "$WORK/raw.err" &
raw=$!
wait_for "$WORK/raw.err" "listening" 5 || { cat "$WORK/raw.err"; exit 1; }
run_in "$NS_A" sender announce "$WORK/session.sdp" --seconds 30 > /dev/null 2> "$WORK/announce.err" &
announcer=$!
wait_for "$WORK/raw.jsonl" '"action":"announce".*"session_id":"60606"' 5 \
    || { echo "no announcement heard"; cat "$WORK/announce.err" "$WORK/raw.err"; exit 1; }
kill -HUP "$announcer"; ends_cleanly "$announcer" "$WORK/announce.err"
wait_for "$WORK/raw.jsonl" '"action":"delete".*"session_id":"60606"' 3 \
    || { echo "no deletion after a hang-up"; cat "$WORK/raw.jsonl"; exit 1; }
kill -TERM "$raw"; wait "$raw" || true
echo "one instance per install directory, hang-up: ok"
