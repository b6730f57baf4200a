#!/bin/bash
# A folder heard in the TTL Scope listens on the SAP group its announcement
# names; announced again with another group, it hears that group and no
# longer the old one.
source "$(dirname "$0")/lib-netns.sh"
netns_setup folder 50

side receiver "$ADDR_B"
ttlScope=224.2.127.254; oldGroup=239.50.0.1; newGroup=239.50.0.2

# sdp FILE ID NAME MEDIA-LINES: one announcement's text.
sdp() { printf 'v=0\no=bob %s 1 IN IP4 %s\ns=%s\nt=0 0\n%b' "$2" "$ADDR_A" "$3" "$4" > "$WORK/$1"; }
sdp folder-old.sdp 5000 "Roaming folder" "m=directory 9875 SAP/SDP 14\nc=IN IP4 $oldGroup/15\n"
sdp folder-new.sdp 5000 "Roaming folder" "m=directory 9875 SAP/SDP 14\nc=IN IP4 $newGroup/15\n"
for id in 5001 5002 5003 5004; do
    sdp "s$id.sdp" "$id" "Session $id" "c=IN IP4 224.2.17.12/15\nm=audio 49170 RTP/AVP 0\n"
done

out="$WORK/listen.jsonl"
start_listener "$out"
heard() { grep -c "^{\"directory\":\"Roaming folder\",\"event\":\"add\".*\"session_id\":\"$1\"" "$out" || true; }
send() { sap_send "$NS_A" "$1" "$ADDR_A" 0x20 "$WORK/$2"; }
# hears GROUP ID: the folder's socket joins its group while the store takes
# the folder, so the session is sent there until it is heard.
hears() { local _; for _ in $(seq 1 30); do [ "$(heard "$2")" -ge 1 ] && return 0; send "$1" "s$2.sdp"; sleep 0.1; done; return 1; }

send "$ttlScope" folder-old.sdp
wait_for "$out" '"event":"add".*"session_id":"5000"' 3 || fail "folder never arrived" "$out"{,.err}
hears "$oldGroup" 5001 || fail "folder does not hear its first group" "$out"

# The same folder on another group; its socket follows.
send "$ttlScope" folder-new.sdp
hears "$newGroup" 5003 || fail "folder does not hear its new group" "$out"{,.err}

# The old group is heard no more: a session sent there before one to the new
# group never shows up, though the later one does.
send "$oldGroup" s5002.sdp
send "$newGroup" s5004.sdp
wait_for "$out" '"event":"add".*"session_id":"5004"' 3 || fail "new group went quiet" "$out"
sleep 1
! grep -q '"session_id":"5002"' "$out" || fail "folder still hears its old group" "$out"
[ "$(grep -c '"event":"add".*"session_id":"5000"' "$out")" -eq 1 ] || fail "folder added twice" "$out"

stops "$listener" "$out.err"
echo "folder follows its new group over veth: ok"
