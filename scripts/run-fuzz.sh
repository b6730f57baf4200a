#!/bin/bash
# Runs every libFuzzer target of the fuzz build for the given number of seconds,
# starting from its checked-in seed corpus (copied, so the seeds stay as they are).
set -euo pipefail
build="$1"; seconds="${2:-20}"
root="$(cd "$(dirname "$0")/.." && pwd)"
work="$(mktemp -d)"; trap 'rm -rf "$work"' EXIT
mkdir -p "$root/fuzz/artifacts"
for bin in "$build"/fuzz/fuzz_*; do
    [ -x "$bin" ] || continue
    name="$(basename "$bin")"
    mkdir -p "$work/$name"
    [ -d "$root/fuzz/corpus/$name" ] && cp -r "$root/fuzz/corpus/$name/." "$work/$name/"
    echo "== $name ($seconds s)"
    "$bin" -max_total_time="$seconds" -max_len=20000 -print_final_stats=1 \
        -artifact_prefix="$root/fuzz/artifacts/$name-" "$work/$name" 2>&1 | tail -n 12
done
