#!/bin/bash
# The cache written to a full disk: the receiver's install directory is a
# small tmpfs that a filler has filled. Whether the listener ends by its time
# (a TERM signal ends its event loop the same way), or the desktop program by
# its Exit command or a TERM signal (then on the terminal), it says the
# cache could not be saved and why, ends with 1, leaves the old cache whole
# and no temporary file beside it, and tmp/ holds only its subfolders, as
# after any end; the desktop program has emptied tmp/ before its message.
if [ -z "${TALMIRA_OWN_MOUNTS:-}" ]; then
    [ "$(id -u)" -eq 0 ] || { echo "needs root for a mount namespace; skipped"; exit 77; }
    # A mount namespace of its own: the tmpfs goes with the test.
    exec unshare -m --propagation private env TALMIRA_OWN_MOUNTS=1 bash "$0" "$@"
fi
source "$(dirname "$0")/lib-netns.sh"
source "$(dirname "$0")/lib-desktop.sh"
netns_setup fulldisk 82
install="$WORK/receiver/install"
mkdir -p "$install"
mount -t tmpfs -o size=512k tmpfs "$install"
trap 'umount -l "$install"; netns_cleanup' EXIT
side receiver "$ADDR_B"
run_in "$NS_B" receiver listen --seconds 1 > /dev/null 2> "$WORK/first.err" || fail "the first run failed" "$WORK/first.err"
[ -s "$install/Talmira.cache" ] || fail "no cache after the first run" "$WORK/first.err"
old=$(md5sum < "$install/Talmira.cache")
mkdir "$install/tmp/keep"
dd if=/dev/zero of="$install/filler" bs=4k 2> /dev/null || true
[ "$(df --output=avail -k "$install" | tail -n 1 | tr -d ' ')" -eq 0 ] || fail "the disk is not full"

# ends HOW: ends the program that way (time: the listener; window: the
# desktop program's Exit; windowsignal: its TERM) and checks what it left.
ends() {
    echo "x" > "$install/tmp/tool.sdp" 2> /dev/null || : > "$install/tmp/tool.sdp"
    [ -e "$install/tmp/tool.sdp" ] || fail "no session file to leave behind"
    local rc=0
    if [ "$1" = time ]; then
        run_in "$NS_B" receiver listen --seconds 1 > /dev/null 2> "$WORK/$1.err" || rc=$?
    elif [ "$1" = window ]; then
        start_probed "$NS_B" receiver "$WORK/$1.err"
        ask "trigger Exit" "^message Selecting YES will quit"
        ask "click Yes" "^message Unable to save the cache file $install/Talmira.cache: No space left on device"
        # The message waits for the user, who may as well kill the program.
        left=$(ls -A "$install/tmp" | tr '\n' ' ')
        [ "$left" = "keep " ] || fail "tmp/ holds while the message is up: $left"
        ask "click OK" "^clicked OK$"
        exec 3>&-
        wait "$desktop_pid" || rc=$?
    else
        rm -f "$WORK/probe.in"
        start_probed "$NS_B" receiver "$WORK/$1.err"
        kill -TERM "$desktop_pid"
        wait "$desktop_pid" || rc=$?
        exec 3>&-
    fi
    [ $rc -eq 1 ] || fail "ended by $1 with $rc" "$WORK/$1.err"
    [ "$1" = window ] || grep -Eq "^talmira(-cli)?: Unable to save the cache file $install/Talmira.cache: No space left on device" \
        "$WORK/$1.err" || fail "no message when ended by $1" "$WORK/$1.err"
    [ "$(md5sum < "$install/Talmira.cache")" = "$old" ] || fail "the old cache changed when ended by $1"
    left=$(ls "$install" | tr '\n' ' ')
    [ "$left" = "Talmira.cache Talmira.lock filler plugins tmp tmpInstall " ] || fail "ended by $1, left: $left"
    left=$(ls -A "$install/tmp" | tr '\n' ' ')
    [ "$left" = "keep " ] || fail "ended by $1, tmp/ holds: $left"
}
ends time
start_display "$NS_B"
ends window
ends windowsignal
echo "cache on a full disk: ok"
