#!/bin/bash
# Runs every libFuzzer target of the fuzz build for the given number of seconds,
# starting from its checked-in seed corpus (copied, so the seeds stay as they are),
# as many targets at once as there are jobs (default 1). A target that finds a
# fault fails the run; its input is kept in fuzz/artifacts.
set -euo pipefail
build="$1"; seconds="${2:-20}"; jobs="${3:-1}"
root="$(cd "$(dirname "$0")/.." && pwd)"
work="$(mktemp -d)"; trap 'rm -rf "$work"' EXIT
mkdir -p "$root/fuzz/artifacts"
fuzz_one() {
    local bin="$1" name
    name="$(basename "$bin")"
    mkdir -p "$work/$name"
    [ -d "$root/fuzz/corpus/$name" ] && cp -r "$root/fuzz/corpus/$name/." "$work/$name/"
    "$bin" -max_total_time="$seconds" -max_len=20000 -print_final_stats=1 \
        -artifact_prefix="$root/fuzz/artifacts/$name-" "$work/$name" > "$work/$name.log" 2>&1
}
pids=(); names=(); failed=0
for bin in "$build"/fuzz/fuzz_*; do
    [ -f "$bin" ] && [ -x "$bin" ] || continue
    if [ "${#pids[@]}" -ge "$jobs" ]; then
        wait "${pids[0]}" || failed=1
        pids=("${pids[@]:1}")
    fi
    fuzz_one "$bin" & pids+=($!); names+=("$(basename "$bin")")
done
for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
for name in "${names[@]}"; do
    echo "== $name ($seconds s)"
    tail -n 12 "$work/$name.log"
done
exit "$failed"
