#!/bin/bash
# Two administrative scopes on one port: an announcement and a deletion sent
# to one scope's SAP group reach that scope's directory only, not the other
# scope nor the TTL Scope, though all three sockets are bound to port 9875.
source "$(dirname "$0")/lib-netns.sh"
netns_setup scopes 44

side receiver "$ADDR_B" "$(scope_lines 0 'Scope A' 239.255.0.0 16 9875 15)" \
    "$(scope_lines 1 'Scope B' 239.254.0.0 16 9875 15)"
groupA=239.255.255.254; groupB=239.254.255.254

sdp() { printf 'v=0\no=alice 4242 1 IN IP4 %s\ns=%s\nc=IN IP4 224.2.17.12/15\nt=0 0\nm=audio 49170 RTP/AVP 0\n' "$ADDR_A" "$1"; }
sdp "Heard in A" > "$WORK/a.sdp"; sdp "Heard in B" > "$WORK/b.sdp"

out="$WORK/listen.jsonl"
# A low soft open-file limit: the program raises it to the hard one.
( ulimit -Sn 256; run_in "$NS_B" receiver listen --json --seconds 60 ) > "$out" 2> "$out.err" &
listener=$!
listening "$out"
limits=$(grep "Max open files" "/proc/$listener/limits")
read -r soft hard < <(awk '{print $4, $5}' <<< "$limits")
[ "$soft" = "$hard" ] || fail "open-file limit not raised: $limits"

events() { grep -c "^{\"directory\":\"$1\",\"event\":\"$2\".*\"session_id\":\"4242\"" "$out" || true; }
all_events() { grep -c "\"event\":\"$1\".*\"session_id\":\"4242\"" "$out" || true; }

sap_send "$NS_A" "$groupA" "$ADDR_A" 0x20 "$WORK/a.sdp"
wait_for "$out" '"event":"add".*"session_id":"4242"' 3 || fail "announcement to scope A never arrived" "$out"{,.err}
sleep 1 # time for copies in other directories to show up
[ "$(events 'Scope A' add)" -eq 1 ] && [ "$(all_events add)" -eq 1 ] || fail "announcement heard outside scope A" "$out"

# The same session in scope B, so that a deletion can show where it reaches.
sap_send "$NS_A" "$groupB" "$ADDR_A" 0x20 "$WORK/b.sdp"
for _ in $(seq 1 30); do [ "$(events 'Scope B' add)" -eq 1 ] && break; sleep 0.1; done
[ "$(events 'Scope B' add)" -eq 1 ] && [ "$(all_events add)" -eq 2 ] || fail "announcement to scope B not heard there only" "$out"

sap_send "$NS_A" "$groupA" "$ADDR_A" 0x24 "$WORK/a.sdp"
wait_for "$out" '"event":"remove".*"session_id":"4242"' 3 || fail "deletion to scope A never arrived" "$out"{,.err}
sleep 1
[ "$(events 'Scope A' remove)" -eq 1 ] && [ "$(all_events remove)" -eq 1 ] || fail "deletion reached beyond scope A" "$out"

stops "$listener" "$out.err"
echo "scopes on one port over veth: ok"
