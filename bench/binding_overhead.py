"""Time of the Python module's segment() against the C++ engine's on the same photo.

    PYTHONPATH=build/python python3 bench/binding_overhead.py build/bench/segment_time PHOTO \
        [COUNT WEIGHT REPEATS ROUNDS]

Both sides segment the very same pixels: the photo is decoded once with Pillow and saved as a
lossless PNG, which segment_time decodes with OpenCV and this script hands to segment() as an
array (RGB, and a BGR copy). Rounds alternate between the two sides, so that drift in the
machine's load touches both alike. Prints the median and the fastest run of each side, in
wall-clock time and in CPU time of the calling thread (the engine runs on it alone; CPU time is the
steadier figure on a loaded machine).
"""

import pathlib
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np
from PIL import Image

import superpixels


def main():
    engine, photo = sys.argv[1], sys.argv[2]
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 200
    weight = float(sys.argv[4]) if len(sys.argv) > 4 else 0.5
    repeats = int(sys.argv[5]) if len(sys.argv) > 5 else 5
    rounds = int(sys.argv[6]) if len(sys.argv) > 6 else 4

    with tempfile.TemporaryDirectory() as folder:
        png = pathlib.Path(folder) / "photo.png"
        with Image.open(photo) as picture:
            rgb = np.asarray(picture.convert("RGB"))
        Image.fromarray(rgb).save(png)
        bgr = np.ascontiguousarray(rgb[..., ::-1])
        expected = superpixels.segment_file(png, count, weight)
        assert (superpixels.segment(rgb, count, weight) == expected).all()

        sides = ("C++ engine", "Python, rgb", "Python, bgr")
        wall = {side: [] for side in sides}
        cpu = {side: [] for side in sides}
        for _ in range(rounds):
            lines = subprocess.run(
                [engine, str(png), str(count), str(weight), str(repeats)],
                check=True,
                capture_output=True,
                text=True,
            ).stdout.split("\n")
            for line in filter(None, lines):
                wall["C++ engine"].append(float(line.split()[0]))
                cpu["C++ engine"].append(float(line.split()[1]))
            for side, image, order in ((sides[1], rgb, "rgb"), (sides[2], bgr, "bgr")):
                for _ in range(repeats):
                    start, start_cpu = time.perf_counter(), time.thread_time()
                    superpixels.segment(image, count, weight, channel_order=order)
                    cpu[side].append(time.thread_time() - start_cpu)
                    wall[side].append(time.perf_counter() - start)

    print(
        f"{photo}: {rgb.shape[1]} x {rgb.shape[0]}, count {count}, weight {weight}, "
        f"{rounds} rounds of {repeats} runs each"
    )
    for clock, times in (("wall", wall), ("cpu", cpu)):
        base_median = statistics.median(times[sides[0]])
        base_fastest = min(times[sides[0]])
        for side, values in times.items():
            median, fastest = statistics.median(values), min(values)
            print(
                f"  {clock:4} {side:12} median {median * 1000:7.1f} ms "
                f"({median / base_median - 1:+6.1%})   fastest {fastest * 1000:7.1f} ms "
                f"({fastest / base_fastest - 1:+6.1%})"
            )


if __name__ == "__main__":
    main()
