"""Bad arguments raise TypeError or ValueError with a message naming the problem; the interpreter
never crashes."""

import math

import numpy as np
import pytest

import superpixels

IMAGE = np.zeros((6, 8, 3), dtype=np.uint8)
LABELS = np.zeros((6, 8), dtype=np.int32)


@pytest.mark.parametrize(
    "image, error, message",
    [
        (IMAGE.astype(np.float64), TypeError, "dtype uint8, got float64"),
        (IMAGE.astype(np.int8), TypeError, "dtype uint8, got int8"),
        ([[[1, 2, 3]]], TypeError, "dtype uint8, got int64"),
        (None, TypeError, "dtype uint8"),
        (IMAGE[..., 0], ValueError, "shape (height, width, 3), got (6, 8)"),
        (np.zeros((6, 8, 4), np.uint8), ValueError, "got (6, 8, 4)"),
        (np.zeros((2, 6, 8, 3), np.uint8), ValueError, "got (2, 6, 8, 3)"),
        (np.zeros((0, 8, 3), np.uint8), ValueError, "image is empty"),
        (np.zeros((6, 0, 3), np.uint8), ValueError, "image is empty"),
    ],
)
def test_bad_images(image, error, message):
    with pytest.raises(error) as raised:
        superpixels.segment(image, 4, 0.5)
    assert message in str(raised.value)
    with pytest.raises(error):
        superpixels.boundary_image(image, LABELS)


@pytest.mark.parametrize(
    "count, weight, error, message",
    [
        (0, 0.5, ValueError, "count is 0, must be at least 1"),
        (-3, 0.5, ValueError, "count is -3, must be at least 1"),
        (10**30, 0.5, ValueError, "must be at most 85899345"),
        (85899346, 0.5, ValueError, "must be at most 85899345"),
        (2.5, 0.5, TypeError, "count must be an integer, got float"),
        ("10", 0.5, TypeError, "count must be an integer, got str"),
        (True, 0.5, TypeError, "count must be an integer, got bool"),
        (None, 0.5, TypeError, "got NoneType"),
        (4, -0.25, ValueError, "weight is -0.25, must be finite and not negative"),
        (4, math.nan, ValueError, "weight is nan"),
        (4, math.inf, ValueError, "weight is inf"),
        (4, 1e300, ValueError, "too large for single precision"),
        (4, "0.5", TypeError, "weight must be a real number, got str"),
        (4, None, TypeError, "weight must be a real number, got NoneType"),
    ],
)
def test_bad_count_or_weight(count, weight, error, message, tmp_path):
    with pytest.raises(error) as raised:
        superpixels.segment(IMAGE, count, weight)
    assert message in str(raised.value)
    # Checked before the file is touched.
    with pytest.raises(error):
        superpixels.segment_file(tmp_path / "absent.png", count, weight)


@pytest.mark.parametrize("order", ["RGB", "hsv", ""])
def test_bad_channel_order(order):
    with pytest.raises(ValueError, match='channel_order must be "rgb" or "bgr"'):
        superpixels.segment(IMAGE, 4, 0.5, channel_order=order)
    with pytest.raises(ValueError, match="channel_order"):
        superpixels.partition_image(LABELS, channel_order=order)


def test_unreadable_files(tmp_path):
    with pytest.raises(OSError, match="absent.png: cannot open file: No such file"):
        superpixels.segment_file(tmp_path / "absent.png", 4, 0.5)
    not_an_image = tmp_path / "text.png"
    not_an_image.write_text("not a picture")
    with pytest.raises(OSError, match="text.png: cannot decode image"):
        superpixels.segment_file(not_an_image, 4, 0.5)
    with pytest.raises(TypeError):
        superpixels.segment_file(42, 4, 0.5)


@pytest.mark.parametrize(
    "labels, error, message",
    [
        (LABELS.astype(np.float32), TypeError, "integer dtype, got float32"),
        (LABELS.astype(bool), TypeError, "integer dtype, got bool"),
        (LABELS[0], ValueError, "shape (height, width), got (8,)"),
        (np.zeros((0, 8), np.int32), ValueError, "labels are empty"),
        (LABELS + 2**40, ValueError, "labels of dtype int64 do not fit in int32"),
        (LABELS.astype(np.uint64) + 2**63, ValueError, "do not fit in int32"),
    ],
)
def test_bad_labels(labels, error, message):
    with pytest.raises(error) as raised:
        superpixels.partition_image(labels)
    assert message in str(raised.value)
    with pytest.raises(error):
        superpixels.boundary_image(IMAGE, labels)


def test_labels_and_image_must_match():
    with pytest.raises(ValueError, match="height and width must match"):
        superpixels.boundary_image(IMAGE, LABELS[:, :5])
    with pytest.raises(ValueError, match="height and width must match"):
        superpixels.boundary_image(IMAGE, LABELS.T)


def test_partition_needs_a_colour_for_every_label():
    labels = LABELS.copy()
    labels[2, 3] = -1
    with pytest.raises(ValueError, match="must not be negative: -1 at row 2, column 3"):
        superpixels.partition_image(labels)
    labels[2, 3] = 5
    colours = np.zeros((5, 3), np.uint8)
    with pytest.raises(ValueError, match="label 5 at row 2, column 3 has no colour: colours has 5"):
        superpixels.partition_image(labels, colours)
    with pytest.raises(TypeError, match="colours must be a uint8"):
        superpixels.partition_image(labels, colours.astype(np.float64))
    with pytest.raises(ValueError, match=r"colours must have shape \(n, 3\), got \(6, 4\)"):
        superpixels.partition_image(labels, np.zeros((6, 4), np.uint8))
    labels[2, 3] = 2**31 - 1
    with pytest.raises(ValueError, match="default palette serves labels below the pixel count"):
        superpixels.partition_image(labels)
