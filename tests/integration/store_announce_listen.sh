#!/bin/bash
# The session directory over real multicast: `talmira-cli announce` in one
# network namespace, `talmira-cli listen` in the other. The session shows up,
# goes on the deletion when the announcer ends, and a listener restarted
# while the session still runs has it from its cache.
source "$(dirname "$0")/lib-netns.sh"
netns_setup store 42

sides

printf 'v=0\no=alice 70707 1 IN IP4 %s\ns=Veth directory test\nc=IN IP4 224.2.17.12/15\nt=0 0\nm=audio 49170 RTP/AVP 0\n' \
    "$ADDR_A" > "$WORK/session.sdp"
printf 'v=0\no=alice 80808 1 IN IP4 %s\ns=Stays cached\nc=IN IP4 224.2.17.13/15\nt=0 0\nm=video 51372 RTP/AVP 31\n' \
    "$ADDR_A" > "$WORK/kept.sdp"

# 0. Too long for one announcement: said, and not announced.
x="$(printf '%900s' | tr ' ' x)"; printf 'v=0\no=alice 90909 1 IN IP4 %s\ns=Too long\nt=0 0\na=%s\na=%s\na=%s\n' "$ADDR_A" "$x" "$x" "$x" > "$WORK/long.sdp"
run_in "$NS_A" sender announce "$WORK/long.sdp" --seconds 1 > "$WORK/long.err" 2>&1 && fail "a text too long was announced"
grep -q "at most 2039 bytes" "$WORK/long.err" || fail "too long, and not told" "$WORK/long.err"

# 1. Announced session appears within 2 s; the deletion removes it.
start_listener "$WORK/first.jsonl"
announcing "$WORK/session.sdp"
wait_for "$WORK/first.jsonl" '"event":"add".*"session_id":"70707"' 2 \
    || fail "session did not appear within 2 s" "$WORK/first.jsonl" "$WORK/first.jsonl.err" "$WORK/announce.err"
grep '"session_id":"70707"' "$WORK/first.jsonl" | grep -q '"directory":"TTL Scope"' || fail "not in TTL Scope"
kill -TERM "$announcer"; wait "$announcer"
wait_for "$WORK/first.jsonl" '"event":"remove".*"session_id":"70707"' 3 \
    || fail "deletion did not remove the session" "$WORK/first.jsonl"

# 2. A session that is never withdrawn survives a listener restart in the cache.
announcing "$WORK/kept.sdp"
wait_for "$WORK/first.jsonl" '"event":"add".*"session_id":"80808"' 2 || fail "second session missing"
stops "$listener" "$WORK/first.jsonl.err"
kill -KILL "$announcer"; wait "$announcer" 2>/dev/null || true   # ends without a deletion
run_in "$NS_B" receiver cache check > /dev/null

start_listener "$WORK/second.jsonl"
grep -q '"event":"add".*"session_id":"80808"' "$WORK/second.jsonl" || fail "cache lost the session" "$WORK/second.jsonl"
! grep -q '"session_id":"70707"' "$WORK/second.jsonl" || fail "deleted session came back"
stops "$listener" "$WORK/second.jsonl.err"

# A damaged copy of the cache is reported and left as it is.
cache="$WORK/receiver/install/Talmira.cache"
head -c "$(( $(stat -c %s "$cache") - 7 ))" "$cache" > "$WORK/damaged.cache"
cp "$WORK/damaged.cache" "$WORK/damaged.orig"
! run_in "$NS_B" receiver cache check "$WORK/damaged.cache" 2> "$WORK/check.err" || fail "damage not found"
grep -q "corrupt cache file" "$WORK/check.err" || fail "damage not named" "$WORK/check.err"
cmp -s "$WORK/damaged.cache" "$WORK/damaged.orig" || fail "cache check changed the file"
# One byte after the main list: named with its offset.
cp "$cache" "$WORK/trailing.cache"; printf '\0' >> "$WORK/trailing.cache"
! run_in "$NS_B" receiver cache check "$WORK/trailing.cache" 2> "$WORK/check.err" || fail "trailing byte not found"
grep -q "bytes after the main list at byte $(stat -c %s "$cache") " "$WORK/check.err" || fail "offset not named" "$WORK/check.err"

# A cache its user may not read is reported and not replaced at exit.
cp -p "$cache" "$WORK/unreadable.orig"
chmod a+rx "$WORK" "$WORK/receiver"; chmod -R a+rwX "$WORK/receiver/install"; chmod 000 "$cache"
ip netns exec "$NS_B" setpriv --reuid=nobody --regid=nogroup --clear-groups env TALMIRA_SETTINGS="$WORK/receiver/Talmira.ini" \
    XDG_DATA_HOME="$WORK/receiver/data" "$cli" listen --seconds 1 > /dev/null 2> "$WORK/unreadable.err" \
    || fail "listen as another user failed" "$WORK/unreadable.err"
grep -q "The cache file .* cannot be read (Permission denied)" "$WORK/unreadable.err" || fail "no report" "$WORK/unreadable.err"
cmp -s "$cache" "$WORK/unreadable.orig" || fail "unreadable cache was replaced"
chmod 644 "$cache"

echo "announce and listen over veth: ok"
