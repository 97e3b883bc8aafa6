"""A plain Python loop of segment() calls on small images: the default threads against threads=1.

    PYTHONPATH=build/python /usr/bin/python3 bench/python_loop.py [PHOTO SIZE CALLS COUNT ROUNDS]

Defaults: examples/chelsea.png, 64 x 64 crops of it, 500 calls per loop, count 50, 9 rounds. A
round times one loop with each setting, which goes first alternating, so that drift in the
machine's load touches both alike. Prints each round and the median time of each setting and of
their ratio (default / threads=1; above 1 the default is slower).
"""

import pathlib
import statistics
import sys
import time

import numpy as np
from PIL import Image

import superpixels

HERE = pathlib.Path(__file__).resolve().parent


def crops(photo, size, calls):
    """`calls` different size x size pieces of the photo, taken along its rows."""
    with Image.open(photo) as picture:
        rgb = np.asarray(picture.convert("RGB"))
    height, width = rgb.shape[:2]
    spots = [(y, x) for y in range(0, height - size + 1, size // 2)
             for x in range(0, width - size + 1, size // 2)]
    return [np.ascontiguousarray(rgb[y:y + size, x:x + size])
            for y, x in (spots[i % len(spots)] for i in range(calls))]


def loop(images, count, threads):
    start = time.perf_counter()
    for image in images:
        superpixels.segment(image, count, 0.5, threads=threads)
    return time.perf_counter() - start


def main():
    photo = sys.argv[1] if len(sys.argv) > 1 else str(HERE.parent / "examples" / "chelsea.png")
    size = int(sys.argv[2]) if len(sys.argv) > 2 else 64
    calls = int(sys.argv[3]) if len(sys.argv) > 3 else 500
    count = int(sys.argv[4]) if len(sys.argv) > 4 else 50
    rounds = int(sys.argv[5]) if len(sys.argv) > 5 else 9
    images = crops(photo, size, calls)
    for image in images[:20]:
        assert (superpixels.segment(image, count, 0.5, threads=0)
                == superpixels.segment(image, count, 0.5, threads=1)).all()
    times = {0: [], 1: []}
    ratios = []
    for r in range(rounds):
        order = (0, 1) if r % 2 == 0 else (1, 0)
        for threads in order:
            times[threads].append(loop(images, count, threads))
        ratios.append(times[0][-1] / times[1][-1])
        print(f"round {r + 1}: default {times[0][-1]:.3f} s, threads=1 {times[1][-1]:.3f} s, "
              f"ratio {ratios[-1]:.3f}")
    print(f"{calls} calls on {size} x {size} crops of {photo}, count {count}, {rounds} rounds")
    print(f"| default | threads=1 | default / threads=1 (time) |\n|---:|---:|---:|\n"
          f"| {statistics.median(times[0]):.3f} s | {statistics.median(times[1]):.3f} s | "
          f"**{statistics.median(ratios):.3f}** |")


if __name__ == "__main__":
    main()
