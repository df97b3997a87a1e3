#!/bin/bash
# Instructions per default tunnel frame on the reference device with one
# drawing thread (anisotropic filter at max anisotropy 1 and 16), counted by
# callgrind: the count of three frames less that of one, halved, so that
# start-up and texture creation drop out. Repeatable on a loaded machine.
#
#   bench/frame_instructions.sh [path/to/bench_reference_draw]
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
program=${1:-$(ls -t "$here"/build/*/bench/bench_reference_draw 2>/dev/null | head -n 1 || true)}
if [ -z "$program" ] || [ ! -x "$program" ]; then
    echo "frame_instructions.sh: build bench_reference_draw first (or pass its path)" >&2
    exit 2
fi
command -v valgrind >/dev/null || { echo "frame_instructions.sh: valgrind is not installed" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# count ANISOTROPY ITERATIONS: instructions of the whole run
count() {
    valgrind --tool=callgrind --callgrind-out-file="$work/out" "$program" \
        --benchmark_filter="BM_TunnelOneThread/$1/iterations:$2\$" >/dev/null 2>"$work/log"
    sed -n 's/.*refs: *\([0-9,]*\).*/\1/p' "$work/log" | tr -d ,
}

for anisotropy in 1 16; do
    one=$(count "$anisotropy" 1)
    three=$(count "$anisotropy" 3)
    printf 'anisotropy %2d: %6.1f M instructions per frame\n' "$anisotropy" "$(echo "($three - $one) / 2000000" | bc -l)"
done
