"""Time of regions() and adjacency() against scikit-image's regionprops_table and rag_mean_color
on one photo.

    PYTHONPATH=build/python python3 bench/tables_vs_scikit_image.py [PHOTO COUNT REPEATS]

Needs scikit-image (Debian: python3-skimage); nothing else in the project does. Both sides get
the same RGB image and the same labels: this package's, at COUNT superpixels (default 200), plus
one for scikit-image, which takes 0 for background. regionprops_table is asked for the nearest of
its properties to the table's columns (label, area, centroid, bbox, intensity_mean,
moments_central); rag_mean_color builds a region adjacency graph with mean colours, which
adjacency() and regions() give together. Prints the median and the fastest wall-clock time of
REPEATS runs (default 7) of each, and the median processor time, in milliseconds.
"""

import statistics
import sys
import time

import numpy as np
from PIL import Image, ImageOps
from skimage.measure import regionprops_table

try:
    from skimage.graph import rag_mean_color  # scikit-image 0.20 and later
except ImportError:
    from skimage.future.graph import rag_mean_color

import superpixels


def timed(work, repeats):
    """Median and fastest wall-clock time, and median processor time of this thread (everything
    here runs on it; the steadier figure on a loaded machine), in milliseconds."""
    wall, cpu = [], []
    for _ in range(repeats):
        start, start_cpu = time.perf_counter(), time.thread_time()
        work()
        cpu.append(time.thread_time() - start_cpu)
        wall.append(time.perf_counter() - start)
    return statistics.median(wall) * 1000, min(wall) * 1000, statistics.median(cpu) * 1000


def main():
    photo = sys.argv[1] if len(sys.argv) > 1 else "examples/chelsea.png"
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    repeats = int(sys.argv[3]) if len(sys.argv) > 3 else 7
    with Image.open(photo) as picture:
        rgb = np.asarray(ImageOps.exif_transpose(picture).convert("RGB"))
    labels = superpixels.segment(rgb, count, 0.5)
    shifted = labels + 1
    properties = ("label", "area", "centroid", "bbox", "intensity_mean", "moments_central")
    runs = {
        "segment (for scale)": lambda: superpixels.segment(rgb, count, 0.5),
        "regions(labels, image)": lambda: superpixels.regions(labels, rgb),
        "regionprops_table": lambda: regionprops_table(shifted, rgb, properties=properties),
        "adjacency(labels)": lambda: superpixels.adjacency(labels),
        "adjacency + regions": lambda: (
            superpixels.adjacency(labels),
            superpixels.regions(labels, rgb),
        ),
        "rag_mean_color": lambda: rag_mean_color(rgb, shifted),
    }
    print(f"{photo}: {rgb.shape[1]} x {rgb.shape[0]}, {labels.max() + 1} superpixels, "
          f"{repeats} runs each")
    for name, work in runs.items():
        median, fastest, cpu = timed(work, repeats)
        print(
            f"  {name:24} wall median {median:8.1f} ms, fastest {fastest:8.1f} ms;"
            f" cpu median {cpu:8.1f} ms"
        )


if __name__ == "__main__":
    main()
