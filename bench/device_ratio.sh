#!/bin/bash
# Times one default tunnel frame, read-back included, at 1x and 16x
# anisotropy on the reference device, llvmpipe, softpipe and lavapipe, the
# plain OpenGL baseline on llvmpipe and softpipe and the plain Vulkan
# baseline on lavapipe. The devices and the baseline
# take turns round after round; the medians over the rounds give the ratios.
#
#   bench/device_ratio.sh [ROUNDS] [FRAMES]       (defaults: 5 rounds of 10 frames)
#
# Uses the newest build/*/bench programs.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
bench=$(dirname "$(ls -t "$here"/build/*/bench/bench_device_frames 2>/dev/null | head -n 1 || true)")
if [ ! -x "$bench/bench_device_frames" ] || [ ! -x "$bench/bench_gl_baseline" ] ||
   [ ! -x "$bench/bench_vulkan_baseline" ]; then
    echo "device_ratio.sh: build the benchmarks first (bench_device_frames, bench_gl_baseline," \
         "bench_vulkan_baseline)" >&2
    exit 2
fi
rounds=${1:-5}
frames=${2:-10}

results=$(mktemp)
trap 'rm -f "$results"' EXIT
for ((round = 0; round < rounds; ++round)); do
    "$bench/bench_device_frames" --rounds 1 --frames "$frames" reference llvmpipe softpipe lavapipe >>"$results"
    for driver in llvmpipe softpipe; do
        for anisotropy in 1 16; do
            "$bench/bench_gl_baseline" "$driver" "$anisotropy" "$frames" >>"$results"
        done
    done
    for anisotropy in 1 16; do
        "$bench/bench_vulkan_baseline" "$anisotropy" "$frames" >>"$results"
    done
done

python3 - "$results" <<'PY'
import statistics, sys
times = {}
for line in open(sys.argv[1]):
    name, anisotropy, ms = line.split()
    times.setdefault((name, int(anisotropy)), []).append(float(ms))
median = {key: statistics.median(values) for key, values in times.items()}
print("ms per frame (median of %d rounds), read-back included" % len(next(iter(times.values()))))
print("%-18s %10s %10s" % ("", "1x", "16x"))
for name in ["reference", "llvmpipe", "softpipe", "lavapipe", "baseline-llvmpipe", "baseline-softpipe",
             "baseline-lavapipe"]:
    print("%-18s %10.1f %10.1f" % (name, median[(name, 1)], median[(name, 16)]))
print("ratios")
for a, b in [("reference", "llvmpipe"), ("reference", "softpipe"), ("softpipe", "llvmpipe"),
             ("llvmpipe", "baseline-llvmpipe"), ("softpipe", "baseline-softpipe"), ("reference", "lavapipe"),
             ("lavapipe", "llvmpipe"), ("lavapipe", "baseline-lavapipe")]:
    print("%-18s %10.2f %10.2f" % (a + "/" + b.replace("baseline-", "base-"),
                                   median[(a, 1)] / median[(b, 1)], median[(a, 16)] / median[(b, 16)]))
PY
