#!/usr/bin/python3
"""Loading 2048 x 2048 colour files as A8R8G8B8 pixels, against Pillow.

Writes a TGA, a BMP, a PNG and a JPEG (quality 90) of one smooth shaded
picture with a little grain, then times, round after round and in turns,
bench_file_load (ReadImage, then the conversion to A8R8G8B8) and Pillow
(decode, then convert('RGBA')) on the same bytes, and prints the medians
as a table.

    bench/load_vs_pillow.py BUILD_DIR [ROUNDS]

Pillow is the system's (python3-pil), used here for comparison only.
"""
import io
import os
import statistics
import subprocess
import sys
import tempfile
import time

from PIL import Image, ImageChops

SIDE = 2048
GRAIN_SIGMA = 6
JPEG_QUALITY = 90
DEFAULT_ROUNDS = 7
FILES = [("TGA 24-bit", "tga", {}), ("BMP 24-bit", "bmp", {}),
         ("JPEG q90", "jpg", {"quality": JPEG_QUALITY}), ("PNG 24-bit", "png", {})]


def picture():
    size = (SIDE, SIDE)
    across = Image.linear_gradient("L").resize(size, Image.BILINEAR)
    round_ = Image.radial_gradient("L").resize(size, Image.BILINEAR)
    grain = Image.effect_noise(size, GRAIN_SIGMA)
    channels = [ImageChops.add(c, grain, 1.0, -128)
                for c in (across, round_, across.transpose(Image.ROTATE_90))]
    return Image.merge("RGB", channels)


def pillow_load(data):
    start = time.perf_counter()
    image = Image.open(io.BytesIO(data))
    image.load()
    decoded = time.perf_counter()
    image.convert("RGBA")
    done = time.perf_counter()
    return (decoded - start) * 1e3, (done - start) * 1e3


def ours_load(process, path):
    process.stdin.write(path + "\n")
    process.stdin.flush()
    line = process.stdout.readline()
    if not line:
        sys.exit("bench_file_load stopped on " + path)
    read_ms, total_ms = (float(v) for v in line.split())
    return read_ms, total_ms


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    program = os.path.join(sys.argv[1], "bench", "bench_file_load")
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else DEFAULT_ROUNDS
    image = picture()
    with tempfile.TemporaryDirectory() as folder:
        paths = []
        for _, suffix, options in FILES:
            paths.append(os.path.join(folder, "load." + suffix))
            image.save(paths[-1], **options)
        contents = [open(p, "rb").read() for p in paths]
        times = {p: {"ours": [], "pillow": []} for p in paths}
        with subprocess.Popen([program], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True) as process:
            for r in range(rounds):
                for path, data in zip(paths, contents):
                    turns = [("ours", lambda: ours_load(process, path)), ("pillow", lambda: pillow_load(data))]
                    for who, run in (turns if r % 2 == 0 else reversed(turns)):
                        times[path][who].append(run())
            process.stdin.close()
    print("| file | size | ReadImage | + conversion | Pillow decode | + RGBA | ours / Pillow |")
    print("|---|---|---|---|---|---|---|")
    for (name, _, _), path, data in zip(FILES, paths, contents):
        medians = [statistics.median(t[i] for t in times[path][who]) for who in ("ours", "pillow") for i in (0, 1)]
        print("| %s | %.1f MB | %.1f ms | %.1f ms | %.1f ms | %.1f ms | %.2f |"
              % (name, len(data) / 1e6, *medians, medians[1] / medians[3]))
    print("\nMedians of %d alternated rounds; load average %.1f." % (rounds, os.getloadavg()[0]))


if __name__ == "__main__":
    main()
