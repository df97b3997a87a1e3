#!/bin/bash
# Times "quillmark convert" against nvcompress and ImageMagick's DDS writer on
# three 2048² pictures (a photograph scaled up from the corpus, a gradient, a
# noise image), each to DXT1, DXT5 and A8R8G8B8 with a whole mip chain, the
# programs taking turns round after round; reports the median seconds and the
# PSNR of each output's top level against its picture, as "quillmark diff"
# measures it and as ImageMagick's "compare -metric PSNR" does.
#
#   bench/convert_vs_anchors.sh [ROUNDS]          (default 3)
#
# Uses $QUILLMARK, else the newest build/*/app/quillmark; nvcompress comes from libnvtt-bin.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
quillmark=${QUILLMARK:-$(ls -t "$here"/build/*/app/quillmark 2>/dev/null | head -n 1 || true)}
[ -x "$quillmark" ] || { echo "convert_vs_anchors.sh: build quillmark first" >&2; exit 2; }
for tool in nvcompress convert compare; do
    command -v "$tool" >/dev/null || { echo "convert_vs_anchors.sh: $tool is absent (scripts/bootstrap)" >&2; exit 2; }
done
rounds=${1:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

photo="$here/../shared/corpus/jpg/3.jpg"
[ -r "$photo" ] || { echo "convert_vs_anchors.sh: the corpus photograph $photo is absent" >&2; exit 2; }
convert "$photo" -resize '2048x2048!' -type TrueColor "PNG24:$work/photo.png"
convert -size 2048x2048 gradient:navy-orange -type TrueColor "PNG24:$work/gradient.png"
convert -size 2048x2048 xc:gray +noise Random -type TrueColor "PNG24:$work/noise.png"

seconds() {  # the seconds a command takes, its output discarded
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    echo "$end - $start" | bc
}

run() {  # program picture format -> output path; prints seconds
    local program=$1 picture=$2 format=$3 out="$work/$1-$2-$3.dds"
    case "$program-$format" in
    quillmark-*) seconds "$quillmark" convert "$work/$picture.png" "$out" --format "$format" --mips all ;;
    nvcompress-DXT1) seconds nvcompress -bc1 "$work/$picture.png" "$out" ;;
    nvcompress-DXT5) seconds nvcompress -bc3 "$work/$picture.png" "$out" ;;
    nvcompress-A8R8G8B8) seconds nvcompress -rgb "$work/$picture.png" "$out" ;;
    imagemagick-DXT1) seconds convert "$work/$picture.png" -define dds:compression=dxt1 "$out" ;;
    imagemagick-DXT5) seconds convert "$work/$picture.png" -define dds:compression=dxt5 "$out" ;;
    imagemagick-A8R8G8B8) seconds convert "$work/$picture.png" -define dds:compression=none "$out" ;;
    esac
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

times="$work/times"
for ((round = 0; round < rounds; ++round)); do
    for picture in photo gradient noise; do
        for format in DXT1 DXT5 A8R8G8B8; do
            for program in quillmark nvcompress imagemagick; do
                echo "$picture $format $program $(run "$program" "$picture" "$format")" >>"$times"
            done
        done
    done
done

printf '%-9s %-9s %-12s %9s %11s %11s %7s\n' picture format program seconds "PSNR diff" "PSNR IM" levels
for picture in photo gradient noise; do
    for format in DXT1 DXT5 A8R8G8B8; do
        for program in quillmark nvcompress imagemagick; do
            out="$work/$program-$picture-$format.dds"
            median_s=$(awk -v p="$picture" -v f="$format" -v g="$program" '$1 == p && $2 == f && $3 == g { print $4 }' \
                "$times" | median)
            # The top level back as PNG, then both measures of it.
            convert "$out[0]" -type TrueColor "PNG24:$work/top.png"
            ours=$({ "$quillmark" diff "$work/$picture.png" "$work/top.png" --json || true; } | python3 -c '
import json, sys
level = json.load(sys.stdin)["levels"][0]["channels"]
mse = sum(level[c]["rmse"] ** 2 for c in "RGB") / 3
import math
print("inf" if mse == 0 else "%.2f" % (-10 * math.log10(mse)))' || echo "n/a")
            theirs=$(compare -metric PSNR "$work/$picture.png" "$work/top.png" null: 2>&1 || true)
            levels=$("$quillmark" info "$out" --json 2>/dev/null | python3 -c 'import json, sys; print(json.load(sys.stdin)["levels"])' || echo "?")
            printf '%-9s %-9s %-12s %9.3f %11s %11.2f %7s\n' "$picture" "$format" "$program" "$median_s" "$ours" \
                "$theirs" "$levels"
        done
    done
done
