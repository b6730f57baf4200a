#!/bin/bash
# Runs every benchmark program; each prints its own ratios at the end
# (bench_load, the receive path under a loopback flood, prints a table).
set -euo pipefail
build="$1"
for bin in "$build"/bench/bench_*; do
    [ -x "$bin" ] || continue
    echo "== $(basename "$bin")"
    "$bin" --benchmark_min_time=0.2
done
echo "== session store, instructions per operation (callgrind)"
bash "$(dirname "$0")/../bench/callgrind-store.sh" "$build"
