"""evaluate() gives the numbers of superpixels-eval: worked out by hand on tiny maps, and compared
with the command itself on label maps saved as numpy saves them."""

import csv
import math
import os
import subprocess

import numpy as np
import pytest

import superpixels
from support import DATA_DIR, read_labels, read_rgb, write_png

# Two superpixels, the left and right halves; an annotation that splits off the top row instead.
HALVES = np.array([[0, 0, 1, 1]] * 4)
TOP_ROW = np.array([[0, 0, 0, 0]] + [[1, 1, 1, 1]] * 3)


def test_hand_worked_scores_one_annotation_and_the_mean_of_two():
    # Disk, r = 1 for 4 x 4: recall 3/4, precision 1/2, UE 8/16, ASA 12/16; against itself perfect.
    scores = superpixels.evaluate(HALVES, TOP_ROW)
    assert scores == {
        "boundary_recall": 0.75,
        "boundary_precision": 0.5,
        "undersegmentation_error": 0.5,
        "achievable_segmentation_accuracy": 0.75,
        "compactness": pytest.approx(2 * math.pi / 9, rel=1e-15),
        "superpixels": 2,
        "not_connected": 0,
    }
    both = superpixels.evaluate(HALVES, [TOP_ROW, HALVES])
    assert both["boundary_recall"] == 0.875
    assert both["undersegmentation_error"] == 0.25
    assert superpixels.evaluate(HALVES, np.stack([TOP_ROW, HALVES])) == both
    # A photo flat on every superpixel is fully explained.
    photo = np.where(HALVES[..., np.newaxis] == 0, [10, 20, 30], [200, 100, 0]).astype(np.uint8)
    assert superpixels.evaluate(HALVES, TOP_ROW, photo)["explained_variation"] == 1.0


def test_square_window_counts_both_sides_of_an_edge():
    # Superpixels: a 5 x 5 checkerboard; annotation: the pixel (0, 0) alone.
    checker = np.indices((5, 5)).sum(axis=0) % 2
    cell = np.zeros((5, 5), dtype=np.int32)
    cell[0, 0] = 1
    # Disk: the board's boundary pixels are all but the last corner (24), the cell's is (0, 0);
    # within 1: (0,0) (1,0) (0,1).
    disk = superpixels.evaluate(checker, cell, tolerance=1)
    assert (disk["boundary_recall"], disk["boundary_precision"]) == (1.0, 3 / 24)
    # Square: all 25 board pixels are boundary pixels, and so are (0,0) (1,0) (0,1) of the
    # annotation; the board pixels within the 3 x 3 squares around those: x <= 2 and y <= 1, or
    # x <= 1 and y <= 2: 8.
    square = superpixels.evaluate(checker, cell, tolerance=1, window="square")
    assert (square["boundary_recall"], square["boundary_precision"]) == (1.0, 8 / 25)


def test_default_tolerance_depends_on_the_window():
    # 481 x 321, as the BSDS500 photos: ceil(0.0025 x 578.3) = 2 for the disk, round() = 1 for
    # the square. Superpixels change at column 100, the annotation at column 102.
    labels = np.zeros((321, 481), dtype=np.int32)
    labels[:, 100:] = 1
    truth = np.zeros_like(labels)
    truth[:, 102:] = 1
    # Disk: boundary columns 99 and 101, 2 apart.
    assert superpixels.evaluate(labels, truth)["boundary_recall"] == 1.0
    assert superpixels.evaluate(labels, truth, tolerance=1)["boundary_recall"] == 0.0
    # Square: boundary columns 99, 100 and 101, 102; 101 is within 1 of 100, 102 is not.
    assert superpixels.evaluate(labels, truth, window="square")["boundary_recall"] == 0.5
    assert superpixels.evaluate(labels, truth, window="square", tolerance=2)["boundary_recall"] == 1


def run_eval(*arguments):
    command = [os.environ["SUPERPIXELS_EVAL_EXECUTABLE"], *map(str, arguments)]
    return subprocess.run(command, capture_output=True, text=True, check=False)


@pytest.mark.parametrize("window", ["disk", "square"])
def test_scores_equal_the_commands_on_numpy_files(tmp_path, window):
    """Label maps as numpy.save and numpy.savetxt write them, scored by the command and by
    evaluate(): the same numbers, to the command's six decimals."""
    case = DATA_DIR / "golden" / "chelsea-120x80-k40"
    rgb = read_rgb(case / "input.png")
    labels = {
        "golden": read_labels(case / "labels.txt"),
        "coarse": superpixels.segment(rgb, 12, 0.5).astype(np.int64),
        "stripes": np.repeat(np.arange(120) // 15, 80).reshape(120, 80).T.astype(np.uint8),
    }
    truths = [superpixels.segment(rgb, 6, 0.0), superpixels.segment(rgb, 9, 2.0) + 1000]
    for folder in ("labels", "gt", "photos"):
        (tmp_path / folder).mkdir()
    for name, label_map in labels.items():
        if name == "stripes":
            np.savetxt(tmp_path / "labels" / f"{name}.txt", label_map)  # default: %.18e
        else:
            np.save(tmp_path / "labels" / f"{name}.npy", label_map)
        np.save(tmp_path / "gt" / f"{name}-0.npy", truths[0])
        np.savetxt(tmp_path / "gt" / f"{name}-1.txt", truths[1], fmt="%d")
        write_png(tmp_path / "photos" / f"{name}.png", rgb)
    run = run_eval(
        "--window", window, "--images", tmp_path / "photos", "--csv", tmp_path / "scores.csv",
        tmp_path / "labels", tmp_path / "gt",
    )
    assert run.returncode == 0, run.stderr
    with open(tmp_path / "scores.csv", newline="") as table:
        rows = {row["image"]: row for row in csv.DictReader(table)}
    assert set(rows) == set(labels) | {"average"}
    for name, label_map in labels.items():
        scores = superpixels.evaluate(label_map, truths, rgb, window=window)
        for column, value in scores.items():
            assert float(rows[name][column]) == pytest.approx(value, abs=5e-7), (name, column)
