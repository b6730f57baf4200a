# Shared by the reception scripts, sourced after lib-netns.sh: `talmira-cli
# probe` in $NS_B and the reading of its JSON lines.

# probe OUTPUT SDP-FILE [ARGS...]: the probe in $NS_B (ARGS by default
# --iface $ADDR_B), in the background; its pid is $probe.
probe() {
    local out="$1" sdp="$2"; shift 2
    [ $# -gt 0 ] || set -- --iface "$ADDR_B"
    ip netns exec "$NS_B" "$cli" probe "$sdp" --json --seconds 60 "$@" > "$out" 2> "$out.err" &
    probe=$!
    wait_for "$out.err" "watching" 5 || fail "the probe did not start" "$out.err"
}
# last OUTPUT MEDIA-INDEX: the newest JSON line of that media entry.
last() { grep "\"media_index\":$2," "$1" | tail -n 1; }
# field LINE EXPRESSION: values of a JSON line, by Python expressions over `o`
# (several, separated by commas, print separated by blanks).
field() {
    python3 -c 'import json,sys; o = json.loads(sys.argv[1]); v = eval(sys.argv[2]); print(*(v if type(v) is tuple else (v,)))' "$1" "$2"
}

# met OUTPUT CONDITION: media 0's newest line meets CONDITION (a Python
# expression over `o`).
met() { local line; line=$(last "$1" 0); [ -n "$line" ] && [ "$(field "$line" "$2")" = True ]; }

# rtp_pattern ARGS...: the seeded RTP sender (tests/support/rtp_pattern.py) in $NS_A.
rtp_pattern() { ip netns exec "$NS_A" python3 "$(dirname "${BASH_SOURCE[0]}")/../support/rtp_pattern.py" "$@"; }

# check_pattern OUTPUT GROUP PORT FROM SEED COUNT SENDER: the seeded pattern
# sent from FROM (an address or a device) is what the probe writing OUTPUT
# reports for media 0: the sender's counts, its jitter, one sender whose
# text starts with SENDER. Ends the probe.
check_pattern() {
    local out="$1"
    rtp_pattern pattern "$2" "$3" "$4" "$5" "$6" > "$out.expect"
    poll 4 met "$out" "o['packets'] >= $(field "$(cat "$out.expect")" 'o["packets"]')" || true
    kill "$probe"; wait "$probe" || true
    python3 - "$(last "$out" 0)" "$(cat "$out.expect")" "$7" <<'PY' || fail "the counts differ from the pattern" "$out"
import json, sys
got, want = json.loads(sys.argv[1]), json.loads(sys.argv[2])
rtp = got["rtp"]
print("pattern:", want)
print("probe:  ", {k: rtp[k] for k in ("expected", "lost", "duplicates", "out_of_order", "jitter_ms")}, got["packets"],
      got["senders"])
assert got["packets"] == want["packets"], "packets"
for key in ("expected", "lost", "duplicates", "out_of_order"):
    assert rtp[key] == want[key], key
assert abs(rtp["jitter_ms"] - want["jitter_ms"]) <= 0.1 * want["jitter_ms"], "jitter"
assert rtp["payload_types"] == [96] and not rtp["payload_mismatch"]
assert got["malformed"] == 0 and got["kernel_drops"] == 0
assert len(got["senders"]) == 1 and got["senders"][0].startswith(sys.argv[3]), "sender"
PY
}

# check_pair OUTPUT GROUP-A GROUP-B PORT FROM: a redundant pair with
# complementary losses (media 0 and 1), B 30 ms behind A and a sender reboot
# half way, merges to the 200 packets sent with none lost; the sender
# reports on leg A's port are read apart from the RTP; media 2, joined for
# another source, hears nothing. Ends the probe.
check_pair() {
    local out="$1" a b other
    rtp_pattern pair "$2" "$3" "$4" "$5" 200
    poll 3 met "$out" 'o["redundant"].get("merged_expected") == 200' || true
    kill "$probe"; wait "$probe" || true
    a=$(last "$out" 0); b=$(last "$out" 1); other=$(last "$out" 2)
    echo "leg A $(field "$a" 'o["rtp"]["expected"], o["rtp"]["lost"], o.get("rtcp")'), leg B $(field "$b" 'o["rtp"]["expected"], o["rtp"]["lost"]'), merged $(field "$a" 'o["redundant"]')"
    # Leg A: 0-101 then 102-199 (100 and 196 not heard on it); leg B misses
    # 102, the new sequence's first, so counts it from 103.
    [ "$(field "$a" 'o["rtp"]["expected"], o["rtp"]["lost"], o["rtp"]["ssrc_changes"], o["rtp"]["payload_mismatch"], o["redundant"]["other_leg"], o["redundant"]["aligned"], o["redundant"]["merged_lost"], o["redundant"]["merged_expected"]')" = "200 47 1 False 1 True 0 200" ] \
        || fail "leg A: $a"
    [ "$(field "$a" 'o["rtcp"]["packets"], o["rtcp"]["reported_sent"], o["rtcp"]["received_between_reports"]')" = "2 60 45" ] \
        || fail "leg A's sender reports: $a"
    [ "$(field "$a" '20 <= o["redundant"]["skew_ms"] <= 45')" = True ] || fail "skew: $a"
    [ "$(field "$b" 'o["rtp"]["expected"], o["rtp"]["lost"], o["redundant"]["other_leg"], o["redundant"]["merged_lost"]')" = "199 47 0 0" ] || fail "leg B: $b"
    [ "$(field "$other" 'o["packets"], o["state"]')" = "0 silent" ] || fail "the join for another source heard the stream: $other"
}

# check_ffmpeg OUTPUT URL SENDER: ffmpeg in $NS_A sends a tone to URL; the
# probe writing OUTPUT reports media 0 receiving without loss from a sender
# whose text starts with SENDER, then silent three seconds after ffmpeg
# stops (shown with the next report). Ends the probe.
check_ffmpeg() {
    local out="$1" line before stopped silent_after="" sender
    tone 30 "$2" > "$out.ffmpeg" 2>&1 &
    sender=$!
    wait_for "$out" '"state":"receiving"' 5 || fail "ffmpeg's stream is not reported as receiving" "$out" "$out.ffmpeg"
    sleep 2
    line=$(last "$out" 0)
    [ "$(field "$line" 'o["state"], o["rtp"]["payload_types"], o["rtp"]["lost"], o["bit_rate_1s"] > 40000, o["senders"][0].startswith("'"$3"'")')" \
        = "receiving [0] 0 True True" ] || fail "unexpected figures while ffmpeg sends: $line"
    before=$(wc -l < "$out")
    kill "$sender"; wait "$sender" 2>/dev/null || true
    stopped=$(date +%s%N)
    for _ in $(seq 1 60); do
        if tail -n +"$((before + 1))" "$out" | grep -q '"state":"silent"'; then
            silent_after=$(( ($(date +%s%N) - stopped) / 1000000 ))
            break
        fi
        sleep 0.1
    done
    kill "$probe"; wait "$probe" || true
    [ -n "$silent_after" ] || fail "no silent state after ffmpeg stopped" "$out"
    echo "silent reported ${silent_after} ms after ffmpeg stopped"
    [ "$silent_after" -ge 2500 ] && [ "$silent_after" -le 4300 ] || fail "silent after $silent_after ms"
}
