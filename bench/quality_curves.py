"""Quality curves: this tool against OpenCV's SLIC, LSC and SEEDS and scikit-image's slic and
felzenszwalb, over a range of superpixel counts on BSDS500 photos, drawn with matplotlib.

    PYTHONPATH=build/python /usr/bin/python3 bench/quality_curves.py [--data DIR] [--limit N]
        [--counts LIST] [--jobs J] [--out FIGURE]

--limit: the first N photos in name order (default 30, a few minutes on 2 cores; 100 for all).
DIR holds images/ID.jpg and gt/ID-K.png (default: the shared BSDS500 validation set). Every method
runs on one thread, J photos at a time (default: one per core). Scores are those of the superpixel
benchmark of Stutz et al. (CVIU 2018), as `superpixels.evaluate(..., window="square")` computes
them: boundary recall with boundary pixels on both sides of an edge matched within a square of
tolerance round(0.0025 x diagonal), corrected undersegmentation error, achievable segmentation
accuracy (averaged over the annotations) and explained variation; each against the number of
superpixels a method actually gave (averaged over the photos), plus the time per image. Writes the
figure (SVG or PNG, by its suffix; default docs/quality_curves.svg) and prints the table behind it.
Needs Debian's python3-opencv, python3-skimage and python3-matplotlib.
"""

import argparse
import concurrent.futures
import math
import os
import pathlib
import statistics
import sys
import time

import numpy as np
from PIL import Image

import superpixels

HERE = pathlib.Path(__file__).resolve().parent
DEFAULT_DATA = HERE.parent.parent / "shared" / "data" / "bsds500-val"
DEFAULT_COUNTS = "100,200,400,700,1000,1500,2000"
# felzenszwalb takes no count: these scales give counts across about the same range on BSDS500.
FELZENSZWALB_SCALES = {100: 800, 200: 400, 400: 180, 700: 90, 1000: 55, 1500: 30, 2000: 18}
METHODS = ["superpixels", "OpenCV SLIC", "OpenCV LSC", "OpenCV SEEDS", "skimage slic",
           "skimage felzenszwalb"]


def segment(method, rgb, count):
    """Labels of `method` for the photo `rgb` at about `count` superpixels, on one thread."""
    import cv2

    height, width = rgb.shape[:2]
    if method == "superpixels":
        return superpixels.segment(rgb, count, 0.5, threads=1)
    if method.startswith("OpenCV"):
        bgr = cv2.cvtColor(rgb, cv2.COLOR_RGB2BGR)
        size = max(2, round(math.sqrt(width * height / count)))
        if method == "OpenCV SLIC":
            lab = cv2.cvtColor(bgr, cv2.COLOR_BGR2LAB)
            algorithm = cv2.ximgproc.createSuperpixelSLIC(lab, cv2.ximgproc.SLIC, size, 10.0)
            algorithm.iterate(10)
        elif method == "OpenCV LSC":
            lab = cv2.cvtColor(bgr, cv2.COLOR_BGR2LAB)
            algorithm = cv2.ximgproc.createSuperpixelLSC(lab, size)
            algorithm.iterate(10)
        else:
            hsv = cv2.cvtColor(bgr, cv2.COLOR_BGR2HSV)
            # With 4 block levels SEEDS gives no more than some 600 superpixels on a BSDS500
            # photo, whatever is asked; 2 levels reach the higher counts.
            levels = 4 if count <= 400 else 2
            algorithm = cv2.ximgproc.createSuperpixelSEEDS(width, height, 3, count, levels)
            algorithm.iterate(hsv, 10)
        return algorithm.getLabels()
    from skimage.segmentation import felzenszwalb, slic

    if method == "skimage slic":
        return slic(rgb, n_segments=count, compactness=10, start_label=0)
    return felzenszwalb(rgb, scale=FELZENSZWALB_SCALES[count], sigma=0.8, min_size=20)


def score_photo(task):
    """Every method at every count on one photo: rows of (method, count, scores, seconds)."""
    photo, truths, counts = task
    import cv2

    cv2.setNumThreads(1)
    rgb = np.asarray(Image.open(photo).convert("RGB"))
    annotations = [np.asarray(Image.open(path)).astype(np.int32) for path in truths]
    rows = []
    for method in METHODS:
        for count in counts:
            start = time.perf_counter()
            labels = segment(method, rgb, count)
            seconds = time.perf_counter() - start
            scores = superpixels.evaluate(labels, annotations, image=rgb, window="square")
            rows.append((method, count, scores, seconds))
    return rows


def collect(data, limit, counts, jobs):
    photos = sorted((data / "images").glob("*.jpg"))[:limit]
    tasks = [(photo, sorted((data / "gt").glob(photo.stem + "-*.png")), counts) for photo in photos]
    results = {}
    with concurrent.futures.ProcessPoolExecutor(max_workers=jobs) as pool:
        for rows in pool.map(score_photo, tasks):
            for method, count, scores, seconds in rows:
                results.setdefault((method, count), []).append((scores, seconds))
    return results, len(photos)


def averaged(results, counts):
    """Per method, one point per count: the means over the photos, the median time."""
    curves = {}
    for method in METHODS:
        points = []
        for count in counts:
            runs = results[(method, count)]
            mean = lambda key: statistics.fmean(s[key] for s, _ in runs)
            points.append({
                "count": count,
                "superpixels": mean("superpixels"),
                "boundary recall": mean("boundary_recall"),
                "undersegmentation error": mean("undersegmentation_error"),
                "achievable segmentation accuracy": mean("achievable_segmentation_accuracy"),
                "explained variation": mean("explained_variation"),
                "ms per image": 1000 * statistics.median(seconds for _, seconds in runs),
            })
        curves[method] = points
    return curves


def draw(curves, photos, out):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    panels = ["boundary recall", "undersegmentation error", "achievable segmentation accuracy",
              "explained variation", "ms per image"]
    figure, axes = plt.subplots(1, len(panels), figsize=(4 * len(panels), 3.6))
    for axis, panel in zip(axes, panels):
        for method, points in curves.items():
            style = {"linewidth": 2.5, "color": "black"} if method == "superpixels" else {}
            axis.plot([p["superpixels"] for p in points], [p[panel] for p in points], marker="o",
                      markersize=3, label=method, **style)
        axis.set_xlabel("superpixels")
        axis.set_title(panel, fontsize=10)
        axis.grid(alpha=0.3)
        if panel == "ms per image":
            axis.set_yscale("log")
    axes[0].legend(fontsize=8)
    figure.suptitle(f"BSDS500 validation, {photos} photos; square window, tolerance "
                    "round(0.0025 x diagonal); one thread", fontsize=10)
    figure.tight_layout()
    figure.savefig(out, metadata={"Date": None} if str(out).endswith(".svg") else None)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--data", type=pathlib.Path, default=DEFAULT_DATA)
    parser.add_argument("--limit", type=int, default=30)
    parser.add_argument("--counts", default=DEFAULT_COUNTS)
    parser.add_argument("--jobs", type=int, default=os.cpu_count())
    parser.add_argument("--out", type=pathlib.Path, default=HERE.parent / "docs" /
                        "quality_curves.svg")
    args = parser.parse_args(argv[1:])
    counts = [int(c) for c in args.counts.split(",")]
    unknown = [c for c in counts if c not in FELZENSZWALB_SCALES]
    if unknown:
        parser.error(f"counts must be among {sorted(FELZENSZWALB_SCALES)} (felzenszwalb's scales)")
    results, photos = collect(args.data, args.limit, counts, args.jobs)
    curves = averaged(results, counts)
    print("| method | count | superpixels | BR | UE | ASA | EV | ms per image |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|")
    for method, points in curves.items():
        for p in points:
            print(f"| {method} | {p['count']} | {p['superpixels']:.0f} | "
                  f"{p['boundary recall']:.4f} | {p['undersegmentation error']:.4f} | "
                  f"{p['achievable segmentation accuracy']:.4f} | "
                  f"{p['explained variation']:.4f} | {p['ms per image']:.1f} |")
    draw(curves, photos, args.out)
    print(f"figure: {args.out}", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
