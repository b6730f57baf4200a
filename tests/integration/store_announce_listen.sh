#!/bin/bash
# The session directory over real multicast: `talmira-cli announce` in one
# network namespace, `talmira-cli listen` in the other. The session shows up,
# goes on the deletion when the announcer ends, and a listener restarted
# while the session still runs has it from its cache.
set -euo pipefail
build="$1"
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/lib-netns.sh"
netns_setup store 42

side sender "$ADDR_A"
side receiver "$ADDR_B"

printf 'v=0\no=alice 70707 1 IN IP4 %s\ns=Veth directory test\nc=IN IP4 224.2.17.12/15\nt=0 0\nm=audio 49170 RTP/AVP 0\n' \
    "$ADDR_A" > "$WORK/session.sdp"
printf 'v=0\no=alice 80808 1 IN IP4 %s\ns=Stays cached\nc=IN IP4 224.2.17.13/15\nt=0 0\nm=video 51372 RTP/AVP 31\n' \
    "$ADDR_A" > "$WORK/kept.sdp"

start_listener() { # OUTPUT
    run_in "$NS_B" receiver listen --json --seconds 60 > "$1" 2> "$1.err" &
    listener=$!
    wait_for "$1.err" "listening" 5 || { cat "$1.err"; exit 1; }
}
stop_listener() {
    kill -TERM "$listener"; wait "$listener" || { echo "listener failed"; cat "$1.err"; exit 1; }
}

# 1. Announced session appears within 2 s; the deletion removes it.
start_listener "$WORK/first.jsonl"
run_in "$NS_A" sender announce "$WORK/session.sdp" > /dev/null 2> "$WORK/announce.err" &
announcer=$!
wait_for "$WORK/first.jsonl" '"event":"add".*"session_id":"70707"' 2 \
    || { echo "session did not appear within 2 s"; cat "$WORK/first.jsonl" "$WORK/first.jsonl.err" "$WORK/announce.err"; exit 1; }
grep '"session_id":"70707"' "$WORK/first.jsonl" | grep -q '"directory":"TTL Scope"' || { echo "not in TTL Scope"; exit 1; }
kill -TERM "$announcer"; wait "$announcer"
wait_for "$WORK/first.jsonl" '"event":"remove".*"session_id":"70707"' 3 \
    || { echo "deletion did not remove the session"; cat "$WORK/first.jsonl"; exit 1; }

# 2. A session that is never withdrawn survives a listener restart in the cache.
run_in "$NS_A" sender announce "$WORK/kept.sdp" > /dev/null 2> "$WORK/kept.err" &
keeper=$!
wait_for "$WORK/first.jsonl" '"event":"add".*"session_id":"80808"' 2 || { echo "second session missing"; exit 1; }
stop_listener "$WORK/first.jsonl"
kill -KILL "$keeper"; wait "$keeper" 2>/dev/null || true   # ends without a deletion
run_in "$NS_B" receiver cache check > /dev/null

start_listener "$WORK/second.jsonl"
grep -q '"event":"add".*"session_id":"80808"' "$WORK/second.jsonl" || { echo "cache lost the session"; cat "$WORK/second.jsonl"; exit 1; }
if grep -q '"session_id":"70707"' "$WORK/second.jsonl"; then echo "deleted session came back"; exit 1; fi
stop_listener "$WORK/second.jsonl"

# A damaged copy of the cache is reported and left as it is.
cache="$WORK/receiver/install/Talmira.cache"
head -c "$(( $(stat -c %s "$cache") - 7 ))" "$cache" > "$WORK/damaged.cache"
cp "$WORK/damaged.cache" "$WORK/damaged.orig"
if run_in "$NS_B" receiver cache check "$WORK/damaged.cache" 2> "$WORK/check.err"; then echo "damage not found"; exit 1; fi
grep -q "corrupt cache file" "$WORK/check.err" || { cat "$WORK/check.err"; exit 1; }
cmp -s "$WORK/damaged.cache" "$WORK/damaged.orig" || { echo "cache check changed the file"; exit 1; }
# One byte after the main list: named with its offset.
cp "$cache" "$WORK/trailing.cache"; printf '\0' >> "$WORK/trailing.cache"
if run_in "$NS_B" receiver cache check "$WORK/trailing.cache" 2> "$WORK/check.err"; then echo "trailing byte not found"; exit 1; fi
grep -q "bytes after the main list at byte $(stat -c %s "$cache") " "$WORK/check.err" || { cat "$WORK/check.err"; exit 1; }

# A cache its user may not read is reported and not replaced at exit.
cp -p "$cache" "$WORK/unreadable.orig"
chmod a+rx "$WORK" "$WORK/receiver"; chmod -R a+rwX "$WORK/receiver/install"; chmod 000 "$cache"
ip netns exec "$NS_B" setpriv --reuid=nobody --regid=nogroup --clear-groups env TALMIRA_SETTINGS="$WORK/receiver/Talmira.ini" \
    XDG_DATA_HOME="$WORK/receiver/data" "$cli" listen --seconds 1 > /dev/null 2> "$WORK/unreadable.err" \
    || { echo "listen as another user failed"; cat "$WORK/unreadable.err"; exit 1; }
grep -q "The cache file .* cannot be read (Permission denied)" "$WORK/unreadable.err" || { cat "$WORK/unreadable.err"; exit 1; }
cmp -s "$cache" "$WORK/unreadable.orig" || { echo "unreadable cache was replaced"; exit 1; }
chmod 644 "$cache"

# The tmp folder is emptied at the end.
touch "$WORK/receiver/install/tmp/leftover.sdp"
start_listener "$WORK/third.jsonl"; stop_listener "$WORK/third.jsonl"
[ ! -e "$WORK/receiver/install/tmp/leftover.sdp" ] || { echo "tmp not cleaned"; exit 1; }
echo "announce and listen over veth: ok"
