#!/bin/bash
# Instruction counts per item under callgrind, which stay the same from run
# to run on a busy machine where wall-clock times do not.
# Usage: bench/callgrind.sh [--lazy] BENCH_PROGRAM WORKLOAD [REFERENCE_WORKLOAD [LIMIT]]
# The program runs one pass of a workload with --callgrind=NAME and prints
# "items N"; only the function Workload_NAME is counted. A NAME/ARGUMENT
# workload (Repeat/1000) counts Workload_NAME run with that argument.
# --lazy: the program switches instrumentation on around its workload
# itself (valgrind/callgrind.h), so a large set-up runs at near native speed.
set -euo pipefail
instr=yes
if [ "${1:-}" = --lazy ]; then instr=no; shift; fi
bin="$1"; workload="$2"; reference="${3:-}"; limit="${4:-0}"
command -v valgrind >/dev/null || { echo "valgrind is not installed" >&2; exit 77; }
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT

count() {
    local out="$tmp/${1//\//_}.out" items
    items=$(valgrind --tool=callgrind --callgrind-out-file="$out" --collect-atstart=no --instr-atstart=$instr \
        --toggle-collect="*Workload_${1%%/*}(*" "$bin" --callgrind="$1" 2>/dev/null | sed -n 's/^items //p')
    local total
    total=$(sed -n 's/^summary: *\([0-9]*\).*/\1/p; s/^totals: *\([0-9]*\).*/\1/p' "$out" | tail -1)
    awk -v t="$total" -v n="$items" 'BEGIN { printf "%.1f", t / n }'
}

n=$(count "$workload")
if [ -z "$reference" ]; then
    printf '%-12s %10s instructions per item\n' "$workload" "$n"
    exit 0
fi
r=$(count "$reference")
awk -v a="$n" -v b="$r" -v w="$workload" -v rf="$reference" -v lim="$limit" 'BEGIN {
    ratio = a / b
    printf "%-12s %10.1f instructions per item\n%-12s %10.1f instructions per item\n", w, a, rf, b
    printf "ratio %.2fx", ratio
    if (lim > 0) printf " (limit %.2fx)%s", lim, (ratio > lim ? "  OVER LIMIT" : "  ok")
    printf "\n"
    exit (lim > 0 && ratio > lim) ? 1 : 0
}'
