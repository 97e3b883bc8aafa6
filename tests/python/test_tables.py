"""The per-superpixel table and the adjacency, checked against figures computed here from the
label map with plain numpy."""

from collections import Counter

import numpy as np
import pytest

import superpixels
from support import DATA_DIR, EXAMPLES_DIR, assert_same, read_rgb

# The header of NAME_regions.csv.
COLUMNS = (
    "label,pixels,centroid_x,centroid_y,left,top,width,height,mean_red,mean_green,mean_blue,"
    "mean_l,mean_a,mean_b,cov_xx,cov_xy,cov_yy,cov_ll,cov_la,cov_lb,cov_aa,cov_ab,cov_bb"
).split(",")
COLOUR_COLUMNS = {"mean_red", "mean_green", "mean_blue", "mean_l", "mean_a", "mean_b"} | {
    c for c in COLUMNS if c.startswith("cov_") and c not in ("cov_xx", "cov_xy", "cov_yy")
}


def masked_photo():
    """A photo, its superpixels inside a mask with a hole (-1 outside), renumbered to sparse
    values so that nothing may rely on labels being 0 .. n - 1."""
    rgb = read_rgb(DATA_DIR / "golden" / "chelsea-120x80-k40" / "input.png")
    mask = np.ones(rgb.shape[:2], dtype=bool)
    mask[:, :10] = False
    mask[30:40, 50:70] = False
    labels = superpixels.segment(rgb, 40, 1.0, mask=mask)
    sparse = np.where(labels >= 0, labels * 7 + 3, -1).astype(np.int64)
    return rgb, sparse


def expected_rows(labels, rgb):
    rows = []
    for label in sorted(set(labels.ravel().tolist()) - {-1}):
        ys, xs = np.nonzero(labels == label)
        colour = rgb[ys, xs].astype(np.float64)
        cx, cy = xs.mean(), ys.mean()
        rows.append(
            {
                "label": label,
                "pixels": len(xs),
                "centroid_x": cx,
                "centroid_y": cy,
                "left": xs.min(),
                "top": ys.min(),
                "width": xs.max() - xs.min() + 1,
                "height": ys.max() - ys.min() + 1,
                "mean_red": colour[:, 0].mean(),
                "mean_green": colour[:, 1].mean(),
                "mean_blue": colour[:, 2].mean(),
                "cov_xx": np.mean((xs - cx) ** 2),
                "cov_xy": np.mean((xs - cx) * (ys - cy)),
                "cov_yy": np.mean((ys - cy) ** 2),
            }
        )
    return rows


def test_regions_match_figures_computed_from_the_label_map():
    rgb, labels = masked_photo()
    table = superpixels.regions(labels, rgb)
    assert list(table) == COLUMNS
    assert len({len(column) for column in table.values()}) == 1
    expected = expected_rows(labels, rgb)
    for name in expected[0]:
        want = np.array([row[name] for row in expected])
        if name in ("label", "pixels", "left", "top", "width", "height"):
            assert_same(want.astype(table[name].dtype), table[name], name)
        else:
            np.testing.assert_allclose(table[name], want, rtol=1e-12, atol=1e-9, err_msg=name)
    assert table["label"].dtype == np.int32 and table["pixels"].dtype == np.int64

    # Without an image: the same rows, no colour columns.
    plain = superpixels.regions(labels)
    assert list(plain) == [c for c in COLUMNS if c not in COLOUR_COLUMNS]
    for name, column in plain.items():
        assert_same(table[name], column, f"{name} without image")


def test_colour_columns_follow_the_channels_not_the_order():
    rgb, labels = masked_photo()
    from_rgb = superpixels.regions(labels, rgb)
    for image, order in (
        (np.ascontiguousarray(rgb[..., ::-1]), "bgr"),
        (rgb / 255.0, "rgb"),
        ((rgb.astype(np.uint16) << 8) | 0x7F, "rgb"),
    ):
        other = superpixels.regions(labels, image, channel_order=order)
        for name in COLUMNS:
            assert_same(from_rgb[name], other[name], f"{name}, {order}, {image.dtype}")
    grey = superpixels.regions(labels, rgb[..., 0])
    assert_same(grey["mean_red"], grey["mean_blue"], "grey")


def test_lab_columns_are_opencv_8_bit_lab():
    # Flat patches of known colours. Lab of sRGB red, blue, white and black (CIE, D65), as OpenCV
    # stores 8-bit Lab: L x 255 / 100, a + 128, b + 128.
    colours = {
        (255, 0, 0): (53.24, 80.09, 67.20),
        (0, 0, 255): (32.30, 79.19, -107.86),
        (255, 255, 255): (100.0, 0.0, 0.0),
        (0, 0, 0): (0.0, 0.0, 0.0),
    }
    image = np.zeros((4, 16, 3), dtype=np.uint8)
    labels = np.zeros((4, 16), dtype=np.int32)
    for k, rgb in enumerate(colours):
        image[:, 4 * k : 4 * k + 4] = rgb
        labels[:, 4 * k : 4 * k + 4] = k
    table = superpixels.regions(labels, image)
    for k, (lightness, a, b) in enumerate(colours.values()):
        expected = (lightness * 255 / 100, a + 128, b + 128)
        found = (table["mean_l"][k], table["mean_a"][k], table["mean_b"][k])
        np.testing.assert_allclose(found, expected, atol=1.0, err_msg=f"colour {k}")
    for name in ("cov_ll", "cov_la", "cov_lb", "cov_aa", "cov_ab", "cov_bb"):
        assert (table[name] == 0).all(), name


def expected_pairs(labels):
    counts = Counter()
    for a, b in (
        (labels[:, :-1], labels[:, 1:]),
        (labels[:-1, :], labels[1:, :]),
    ):
        for p, q in zip(a.ravel().tolist(), b.ravel().tolist()):
            if p != q and p != -1 and q != -1:
                counts[min(p, q), max(p, q)] += 1
    return np.array([(a, b, n) for (a, b), n in sorted(counts.items())], dtype=np.int64)


def test_adjacency_matches_pairs_counted_from_the_label_map():
    _, labels = masked_photo()
    assert_same(expected_pairs(labels), superpixels.adjacency(labels), "masked, sparse labels")
    photo = superpixels.segment_file(EXAMPLES_DIR / "coffee.png", 100)
    found = superpixels.adjacency(photo)
    assert_same(expected_pairs(photo), found, "photo")
    assert found.dtype == np.int64 and found.shape[1] == 3
    # One superpixel, or nothing but -1: no pair.
    assert superpixels.adjacency(np.zeros((3, 3), np.uint8)).shape == (0, 3)
    assert superpixels.adjacency(np.full((3, 3), -1)).shape == (0, 3)


def test_a_dataframe_is_one_call_away():
    pandas = pytest.importorskip("pandas")
    rgb, labels = masked_photo()
    frame = pandas.DataFrame(superpixels.regions(labels, rgb))
    assert list(frame.columns) == COLUMNS
    assert len(frame) == len(np.unique(labels)) - 1
