# Shared by the desktop scripts, sourced after lib-netns.sh: the desktop
# program ($desktop) on a virtual X display in one namespace, watched by the
# probe it loads (tests/support/desktop_probe.cpp), which takes commands on
# fd 3 and reports in $WORK/probe.log. Skips without Xvfb; fails when the
# program or the probe is not built.
command -v Xvfb > /dev/null || { echo "Xvfb is not installed; skipped"; exit 77; }
desktop="$build/src/gui/talmira"
[ -x "$desktop" ] && [ -f "$build/tests/qt-plugins/generic/libtalmira-probe.so" ] \
    || fail "talmira or its probe is not built"

# start_display NS: Xvfb in that namespace, named in $display, its pid
# $xvfb_pid. Needs $WORK; XVFB_SCREEN sets its size (1400x800x24).
start_display() {
    mkdir -m 700 "$WORK/run"
    # It names itself on fd 3.
    ip netns exec "$1" Xvfb -displayfd 3 -nolisten tcp -screen 0 "${XVFB_SCREEN:-1400x800x24}" 3> "$WORK/display" 2> "$WORK/xvfb.err" &
    xvfb_pid=$!
    for _ in $(seq 1 100); do [ -s "$WORK/display" ] && break; sleep 0.1; done
    [ -s "$WORK/display" ] || fail "Xvfb did not start" "$WORK/xvfb.err"
    display=":$(cat "$WORK/display")"
}

# desktop_in NS SIDE ARGS...: a command in that namespace, on the display,
# with that side's settings (in the background it becomes the program, so $!
# is its pid).
desktop_in() {
    local ns="$1" who="$2"; shift 2
    local cmd=(ip netns exec "$ns" env DISPLAY="$display" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$WORK/run"
               TALMIRA_SETTINGS="$WORK/$who/Talmira.ini" XDG_DATA_HOME="$WORK/$who/data" "$@")
    if [ "$BASH_SUBSHELL" -gt 0 ]; then exec "${cmd[@]}"; else "${cmd[@]}"; fi
}

# start_probed NS SIDE ERRORS: the desktop program with the probe, its
# errors in ERRORS; its pid is $desktop_pid. Returns once the window shows.
start_probed() {
    probe_errors="$3"
    mkfifo "$WORK/probe.in"
    desktop_in "$1" "$2" env QT_PLUGIN_PATH="$build/tests/qt-plugins" QT_QPA_GENERIC_PLUGINS=talmira-probe \
        "$desktop" < "$WORK/probe.in" > "$WORK/probe.log" 2> "$probe_errors" &
    desktop_pid=$!
    exec 3> "$WORK/probe.in"
    wait_for "$WORK/probe.log" "^window shown$" 15 || fail "no window" "$WORK/probe.log" "$probe_errors"
}

# stop_probed: closes the probe's commands; TERM ends the program cleanly, and
# start_probed may start it again.
stop_probed() { exec 3>&-; stops "$desktop_pid" "$probe_errors"; rm "$WORK/probe.in"; }

# probe [COMMAND]: marks the log's end, then sends the command.
probe() { mark=$(wc -l < "$WORK/probe.log"); [ -z "${1:-}" ] || echo "$1" >&3; }

# seen PATTERN SECONDS: true once a line after the mark matches.
seen() { poll "$2" answer "$1" > /dev/null; }

# ask COMMAND ANSWER: sends the command; a line after it must match ANSWER
# (a pattern) within 5 s.
ask() {
    probe "$1"
    seen "$2" 5 || fail "no \"$2\" after \"$1\"" "$WORK/probe.log" "$probe_errors"
}

# answer PATTERN: the first line after the mark that matches.
answer() { tail -n +$((mark + 1)) "$WORK/probe.log" | grep -m 1 -- "$1"; }

# next_to TITLE: presses Next in the open wizard until it shows the page
# with that title.
next_to() {
    local i
    for ((i = 0; i < 8; i++)); do
        [ "$(grep '^page ' "$WORK/probe.log" | tail -n 1)" = "page $1" ] && return 0
        ask next "^pressed next$"
        seen "^page " 2 || fail "Next stayed on the page before \"$1\"" "$WORK/probe.log" "$probe_errors"
    done
    fail "no page \"$1\"" "$WORK/probe.log" "$probe_errors"
}
