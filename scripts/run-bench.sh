#!/bin/bash
# Runs every benchmark program; each prints its own ratios at the end
# (bench_load, the receive path under a loopback flood, prints a table).
# A program over one of its limits does not stop the others; the status
# says whether any was.
set -euo pipefail
build="$1"
status=0
for bin in "$build"/bench/bench_*; do
    [ -f "$bin" ] && [ -x "$bin" ] || continue # not the build's *_autogen folders
    echo "== $(basename "$bin")"
    "$bin" --benchmark_min_time=0.2 || { status=1; echo "== $(basename "$bin"): over a limit or failed"; }
done
echo "== SDP parse, instructions per text (callgrind): at most 2.5 times the line split and touch"
bash "$(dirname "$0")/../bench/callgrind.sh" "$build/bench/bench_parse" Parse SplitTouch 2.5 || status=1
echo "== session store, instructions per operation (callgrind)"
bash "$(dirname "$0")/../bench/callgrind-store.sh" "$build" || status=1
echo "== the real window under a flood, against the listener (needs root and Xvfb)"
if [ "$(id -u)" -eq 0 ] && command -v Xvfb > /dev/null; then
    bash "$(dirname "$0")/../bench/window_load.sh" "$build" || status=1
else
    echo "skipped"
fi
exit $status
