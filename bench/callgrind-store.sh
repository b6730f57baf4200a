#!/bin/bash
# Instruction counts per operation of the session store against their
# references, at 1,000 and 100,000 sessions (see callgrind.sh).
# Usage: bench/callgrind-store.sh BUILD_DIR
set -euo pipefail
bin="$1/bench/bench_store"
here=$(dirname "$0")
command -v valgrind >/dev/null || { echo "valgrind is not installed: no instruction counts"; exit 0; }
for n in 1000 100000; do
    for pair in "Repeat MapRepeat" "KnownRepeat MapRepeat" "DatagramRepeat MapRepeat" "WalkAfterRepeats MapIterate" "Walk MapIterate"; do
        set -- $pair
        echo "-- $1 vs $2, $n sessions"
        bash "$here/callgrind.sh" --lazy "$bin" "$1/$n" "$2/$n"
    done
done
