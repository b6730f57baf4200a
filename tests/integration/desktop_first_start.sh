#!/bin/bash
# The desktop program's first start, on a virtual X display: the window
# shows first and the splash over it, the splash goes by itself within a
# moment, and only then does the message asking for the personal information
# come up. A TERM signal while that message is up ends the program the
# orderly way: exit status 0, the cache written, tmp/ emptied.
# The order is read by a Qt plug-in loaded into the program
# (tests/support/desktop_probe.cpp).
source "$(dirname "$0")/lib-netns.sh"
source "$(dirname "$0")/lib-desktop.sh"
netns_setup firststart 81

# No personal information yet: what the setup writes on a fresh machine.
mkdir -p "$WORK/first"
cat > "$WORK/first/Talmira.ini" <<INI
[User%20Info]
Name=
Phone=
Email=

[Talmira]
Interface\\address=$ADDR_B
Install\\Directory=$WORK/first/install
INI
TALMIRA_SETTINGS="$WORK/first/Talmira.ini" XDG_DATA_HOME="$WORK/first/data" "$cli" setup > /dev/null
install="$WORK/first/install"
touch "$install/tmp/left-by-a-tool.sdp"
# Without a display: one line and status 1, not Qt's abort.
rc=0; env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$desktop" 2> "$WORK/nodisplay.err" || rc=$?
[ $rc = 1 ] && [ "$(wc -l < "$WORK/nodisplay.err")" = 1 ] || fail "without a display: status $rc" "$WORK/nodisplay.err"
start_display "$NS_B"

start_probed "$NS_B" first "$WORK/first.err"
# The splash's clock runs from its start: its own 750 ms, with room for a
# slow machine, not the seconds of a start blocked behind a message.
mark=0
seen "^splash closed$" 3 || fail "the splash stayed" "$WORK/probe.log" "$WORK/first.err"
prompt="^message Please fill in your personal information It is used by some application"
wait_for "$WORK/probe.log" "$prompt" 10 || fail "no first-run message" "$WORK/probe.log" "$WORK/first.err"
# The order as the probe saw it, one state a line.
order=$(grep -E "^(window shown|splash |message )" "$WORK/probe.log" | head -n 4 | cut -c1-40 | paste -sd '/')
expected="window shown/splash shown over window/splash closed/message Please fill in your personal inf"
[ "$order" = "$expected" ] || fail "start-up order: $order" "$WORK/probe.log" "$WORK/first.err"

stop_probed
[ -f "$install/Talmira.cache" ] || fail "no cache after TERM during the first-run message" "$WORK/first.err"
[ -z "$(find "$install/tmp" -type f)" ] || fail "files left in tmp/: $(ls "$install/tmp")"
echo "desktop first start: ok"
