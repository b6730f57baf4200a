#!/bin/bash
# One directory per install directory: a second `talmira-cli listen` on it
# refuses to start, while `announce` and `cache` run beside the listener
# without touching its cache or tmp/; a listener killed with -9 blocks no
# later start. A hang-up ends `listen` and `announce` as TERM does: the
# cache is written, the deletion sent.
source "$(dirname "$0")/lib-netns.sh"
netns_setup inst 43

sides
install="$WORK/receiver/install"
printf 'v=0\no=alice 60606 1 IN IP4 %s\ns=Beside the listener\nc=IN IP4 224.2.17.14/15\nt=0 0\nm=audio 49170 RTP/AVP 0\n' \
    "$ADDR_A" > "$WORK/session.sdp"

# 1. A hang-up writes the cache like TERM.
start_listener "$WORK/first.log"
stops "$listener" "$WORK/first.log.err" HUP
[ -f "$install/Talmira.cache" ] || fail "no cache after a hang-up"
run_in "$NS_B" receiver cache check > /dev/null

# 2. Beside a running listener: a second listener is refused; announce and
# cache leave the cache and tmp/ alone.
start_listener "$WORK/second.log"
cp "$install/Talmira.cache" "$WORK/cache.before"
touch "$install/tmp/leftover.sdp"
if run_in "$NS_B" receiver listen --seconds 3 > /dev/null 2> "$WORK/refused.err"; then
    fail "a second listener started on the same install directory"
fi
grep -q "another instance is running on the install directory $install (pid $listener)" "$WORK/refused.err" \
    || fail "no clear refusal:" "$WORK/refused.err"
run_in "$NS_B" receiver announce "$WORK/session.sdp" --seconds 1 > /dev/null 2> "$WORK/beside.err" \
    || fail "announce failed" "$WORK/beside.err"
run_in "$NS_B" receiver cache check > /dev/null
run_in "$NS_B" receiver cache dump > /dev/null
# A listing that cannot be written is a failure, not a short success.
if run_in "$NS_B" receiver cache dump > /dev/full 2> "$WORK/full.err"; then
    fail "cache dump to a full disk exited 0"
fi
grep -q "cannot write the listing" "$WORK/full.err" || fail "no reason for the failed listing:" "$WORK/full.err"
cmp -s "$install/Talmira.cache" "$WORK/cache.before" || fail "cache written beside the listener"
[ -e "$install/tmp/leftover.sdp" ] || fail "tmp emptied beside the listener"
stops "$listener" "$WORK/second.log.err"
[ ! -e "$install/tmp/leftover.sdp" ] || fail "the listener left tmp/ full"

# 3. A listener that was killed outright leaves no lock behind.
start_listener "$WORK/third.log"
kill -KILL "$listener"; wait "$listener" 2>/dev/null || true
start_listener "$WORK/fourth.log"
stops "$listener" "$WORK/fourth.log.err"

# 4. A hang-up withdraws an announcement like TERM.
raw_listener "$WORK/raw.jsonl"; raw=$!
listening "$WORK/raw.jsonl"
announcing "$WORK/session.sdp" --seconds 30
wait_for "$WORK/raw.jsonl" '"action":"announce".*"session_id":"60606"' 5 \
    || fail "no announcement heard" "$WORK/announce.err" "$WORK/raw.jsonl.err"
stops "$announcer" "$WORK/announce.err" HUP
wait_for "$WORK/raw.jsonl" '"action":"delete".*"session_id":"60606"' 3 || fail "no deletion after a hang-up" "$WORK/raw.jsonl"
kill -TERM "$raw"; wait "$raw" || true
echo "one instance per install directory, hang-up: ok"
