#!/bin/bash
# The desktop program end to end, on a virtual X display: a session that
# ffmpeg announces in one network namespace shows as a row of the real
# `talmira` in the other and goes when ffmpeg ends; a second `talmira` on the
# same install directory brings the first one's window back and ends with 0;
# one beside `talmira-cli listen` ends with 1 and the lock's explanation.
# The rows and the window are read by a Qt plug-in loaded into the program
# (tests/support/desktop_probe.cpp).
source "$(dirname "$0")/lib-netns.sh"
source "$(dirname "$0")/lib-desktop.sh"
command -v ffmpeg > /dev/null || { echo "ffmpeg is not installed; skipped"; exit 77; }
netns_setup desktop 48
GROUP=224.2.17.48

side receiver "$ADDR_B"
install="$WORK/receiver/install"
start_display "$NS_B"
# talmira_in ARGS...: the desktop program's command line in the receiver's
# namespace, on the display, with the receiver's settings.
talmira_in() { desktop_in "$NS_B" receiver "$@"; }

# The first instance, watched by the probe.
start_probed "$NS_B" receiver "$WORK/first.err"
probe "select TTL Scope"
seen "^selected TTL Scope$" 5 || fail "no TTL Scope in the tree" "$WORK/probe.log"

# 1. ffmpeg's announcement makes a row within 2 s; its deletion removes it.
probe ""
tone 60 "sap://$GROUP:5004?ttl=15&announce_addr=224.2.127.254" -metadata title="Tone from ffmpeg" \
    > /dev/null 2> "$WORK/ffmpeg.err" &
ffmpeg=$!
seen "^rows: Tone from ffmpeg$" 2 \
    || fail "the announced session has no row within 2 s" "$WORK/probe.log" "$WORK/ffmpeg.err" "$WORK/first.err"
probe ""
kill -INT "$ffmpeg"
rc=0; wait "$ffmpeg" || rc=$?
# ffmpeg reports an end by signal with 255, after its clean close.
[ $rc -eq 0 ] || [ $rc -eq 255 ] || fail "ffmpeg did not end cleanly ($rc)" "$WORK/ffmpeg.err"
seen "^rows: $" 2 || fail "the row stays after the deletion" "$WORK/probe.log"

# 2. A second start shows the hidden first window and ends with 0.
probe hide
seen "^window hidden$" 5 || fail "the window did not hide" "$WORK/probe.log"
probe ""
talmira_in "$desktop" > /dev/null 2> "$WORK/second.err" || fail "the second start ended with $?" "$WORK/second.err"
seen "^window shown$" 3 || fail "the first window did not come back" "$WORK/probe.log"
stop_probed
[ -f "$install/Talmira.cache" ] || fail "no cache after the desktop program ended"

# 3. Beside a listener on the same install directory it refuses to start.
start_listener "$WORK/listen.log"
rc=0; talmira_in "$desktop" > /dev/null 2> "$WORK/refused.err" || rc=$?
[ $rc -eq 1 ] || fail "started beside the listener: exit status $rc" "$WORK/refused.err"
grep -q "^talmira: another instance is running on the install directory $install (pid $listener)" "$WORK/refused.err" \
    || fail "no explanation of the refusal" "$WORK/refused.err"
stops "$listener" "$WORK/listen.log.err"
echo "desktop program end to end: ok"
