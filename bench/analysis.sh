#!/bin/bash
# Times whole texel analyses with the batch command: one with the default
# settings and one at 16x anisotropy. Goals on a 2-core machine: at most 30 s
# and 120 s.
#
#   bench/analysis.sh [path/to/quillmark]
#
# Without an argument the newest build/*/app/quillmark is used. The figures
# of each run are kept in a temporary directory that is removed afterwards.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
program=${1:-$(ls -t "$here"/build/*/app/quillmark 2>/dev/null | head -n 1 || true)}
if [ -z "$program" ] || [ ! -x "$program" ]; then
    echo "analysis.sh: no quillmark program found (build one, or pass its path)" >&2
    exit 2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# run NAME GOAL_SECONDS [settings...]
run() {
    local name=$1 goal=$2
    shift 2
    local start end seconds frames
    start=$(date +%s.%N)
    "$program" analyze "$@" --json -o "$work/$name" >"$work/$name.json" 2>/dev/null
    end=$(date +%s.%N)
    seconds=$(echo "$end - $start" | bc)
    frames=$(sed -n 's/.*"frames": \([0-9]*\).*/\1/p' "$work/$name.json")
    printf '%-10s %7.1f s  %5d frames  %6.1f ms/frame  goal %4d s  %s\n' "$name" "$seconds" "$frames" \
        "$(echo "$seconds * 1000 / $frames" | bc -l)" "$goal" \
        "$(if (( $(echo "$seconds <= $goal" | bc) )); then echo met; else echo MISSED; fi)"
}

echo "program: $program"
run default 30
run aniso16 120 --anisotropy 16
