"""Bad arguments raise TypeError or ValueError with a short message naming the problem and never
showing an array's contents; files that cannot be read raise the OSError of their errno; the
interpreter never crashes."""

import errno
import math
import os

import numpy as np
import pytest

import superpixels

IMAGE = np.zeros((6, 8, 3), dtype=np.uint8)
LABELS = np.zeros((6, 8), dtype=np.int32)


@pytest.mark.parametrize(
    "image, error, message",
    [
        (IMAGE.astype(np.int64), TypeError, "dtype uint8, uint16, float32 or float64, got int64"),
        (IMAGE.astype(bool), TypeError, "got bool"),
        (IMAGE.astype(np.float16), TypeError, "got float16"),
        ([[[1, 2, 3]]], TypeError, "got int64"),
        (None, TypeError, "got object"),
        ("photo.png", TypeError, "got a path: read files with segment_file"),
        (np.zeros((6, 8, 2), np.uint8), ValueError, "(H, W, 3) or (H, W, 4), got (6, 8, 2)"),
        (np.zeros((2, 6, 8, 3), np.uint8), ValueError, "got (2, 6, 8, 3)"),
        (np.zeros((0, 8, 3), np.uint8), ValueError, "image is empty"),
        (np.zeros((6, 0), np.uint16), ValueError, "image is empty"),
        (np.full((6, 8), np.nan), ValueError, "image holds NaN values"),
        (np.full((6, 8, 3), 255.0), ValueError, "must lie in [0, 1], found values from 255 to 255"),
        (np.full((6, 8), np.inf), ValueError, "must lie in [0, 1]"),
        (np.full((6, 8), 1.0000012, np.float32), ValueError, "from 1.0000012 to 1.0000012"),
        (np.full((6, 8), -2e-6), ValueError, "found values from -0.000002 to -0.000002"),
    ],
)
def test_bad_images(image, error, message):
    with pytest.raises(error) as raised:
        superpixels.segment(image, 4, 0.5)
    assert message in str(raised.value)
    with pytest.raises(error):
        superpixels.boundary_image(image, LABELS)
    if image is not None:  # no image, no colour columns: not an error
        for call in (
            lambda: superpixels.regions(LABELS, image),
            lambda: superpixels.evaluate(LABELS, LABELS, image),
        ):
            with pytest.raises(error):
                call()


@pytest.mark.parametrize(
    "arguments, error, message",
    [
        ({"count": 0}, ValueError, "count is 0, must be at least 1"),
        ({"count": -3}, ValueError, "count is -3, must be at least 1"),
        ({"count": 10**30}, ValueError, "must be at most 85899345"),
        ({"count": 85899346}, ValueError, "must be at most 85899345"),
        ({"count": 2.5}, TypeError, "count must be an integer, got float"),
        ({"count": "10"}, TypeError, "count must be an integer, got str"),
        ({"count": True}, TypeError, "count must be an integer, got bool"),
        ({"count": None}, TypeError, "got NoneType"),
        ({"weight": -0.25}, ValueError, "weight is -0.25, must be finite and not negative"),
        ({"weight": math.nan}, ValueError, "weight is nan"),
        ({"weight": math.inf}, ValueError, "weight is inf"),
        ({"weight": 1e300}, ValueError, "too large for single precision"),
        ({"weight": "0.5"}, TypeError, "weight must be a real number, got str"),
        ({"weight": None}, TypeError, "weight must be a real number, got NoneType"),
        ({"weight": np.array([0.5])}, TypeError, "got ndarray"),
        ({"connectivity": 6}, ValueError, "connectivity must be 4 or 8, got 6"),
        ({"connectivity": "8"}, TypeError, "connectivity must be 4 or 8, got str"),
        ({"return_colours": 1}, TypeError, "return_colours must be True or False, got int"),
        ({"mask": LABELS.astype(np.float32)}, TypeError, "dtype bool or an integer dtype"),
        ({"mask": IMAGE}, ValueError, "mask must have shape (H, W), got (6, 8, 3)"),
        ({"uint16": "stretch"}, ValueError, 'uint16 must be "high_byte" or "full_range"'),
    ],
)
def test_bad_arguments(arguments, error, message, tmp_path):
    with pytest.raises(error) as raised:
        superpixels.segment(IMAGE, **arguments)
    assert message in str(raised.value)
    if "uint16" in arguments:
        return  # files are decoded as the tool decodes them: no such choice
    # Checked before the file is touched.
    with pytest.raises(error):
        superpixels.segment_file(tmp_path / "absent.png", **arguments)
    with pytest.raises(error):
        superpixels.segment_files([tmp_path / "absent.png"], **arguments)


@pytest.mark.parametrize(
    "arguments, error, message",
    [
        ({"jobs": -1}, ValueError, "jobs is -1, must be 0 (every core)"),
        ({"jobs": 1.5}, TypeError, "jobs must be an integer"),
        ({"errors": "ignore"}, ValueError, 'errors must be "raise" or "return"'),
        ({"threads": 10**6}, ValueError, "threads is 1000000"),
        ({"compactness": 10}, TypeError, "unexpected keyword argument 'compactness'"),
        ({"paths": "photo.png"}, TypeError, "paths must be an iterable of paths, got a single"),
    ],
)
def test_bad_batch_arguments(arguments, error, message):
    arguments = {"paths": ["absent.png"], **arguments}
    with pytest.raises(error) as raised:
        superpixels.segment_files(arguments.pop("paths"), **arguments)
    assert message in str(raised.value)


def test_masks_must_match_the_image():
    with pytest.raises(ValueError, match=r"mask has shape \(6, 7\), the image \(6, 8\)"):
        superpixels.segment(IMAGE, 4, mask=LABELS[:, :7])
    path = os.path.join(os.environ["SUPERPIXELS_EXAMPLES_DIR"], "coffee.png")
    with pytest.raises(ValueError, match=r"mask has shape \(6, 8\), the image file \(400, 600\)"):
        superpixels.segment_file(path, 4, mask=LABELS)


def test_wrong_keywords_and_positions_name_the_argument():
    with pytest.raises(TypeError, match="unexpected keyword argument 'n_segments'"):
        superpixels.segment(IMAGE, n_segments=4)
    with pytest.raises(TypeError, match="unexpected keyword argument 'compactness'"):
        superpixels.segment_file("x.png", compactness=10)
    with pytest.raises(TypeError, match="unexpected keyword argument 'color'"):
        superpixels.boundary_image(IMAGE, LABELS, color=(1, 2, 3))
    with pytest.raises(TypeError, match="takes from 1 to 3 positional arguments but 4"):
        superpixels.segment(IMAGE, 4, 0.5, LABELS)
    with pytest.raises(TypeError, match="missing 1 required positional argument: 'ground_truth'"):
        superpixels.evaluate(LABELS)


@pytest.mark.parametrize("order", ["RGB", "hsv", "", 3])
def test_bad_channel_order(order):
    with pytest.raises(ValueError, match='channel_order must be "rgb" or "bgr"'):
        superpixels.segment(IMAGE, 4, 0.5, channel_order=order)
    for call in (
        lambda: superpixels.partition_image(LABELS, channel_order=order),
        lambda: superpixels.regions(LABELS, IMAGE, channel_order=order),
        lambda: superpixels.segment_file("x.png", channel_order=order),
    ):
        with pytest.raises(ValueError, match="channel_order"):
            call()


def test_files_that_cannot_be_read(tmp_path):
    with pytest.raises(FileNotFoundError) as raised:
        superpixels.segment_file(tmp_path / "absent.png", 4, 0.5)
    assert raised.value.errno == errno.ENOENT
    assert raised.value.filename == str(tmp_path / "absent.png")
    with pytest.raises(IsADirectoryError) as raised:
        superpixels.segment_file(tmp_path)
    assert raised.value.errno == errno.EISDIR
    not_an_image = tmp_path / "text.png"
    not_an_image.write_text("not a picture")
    with pytest.raises(ValueError) as raised:
        superpixels.segment_file(not_an_image)
    reason = "cannot decode image: not a PNG, JPEG, BMP, PNM, TIFF or WebP image"
    assert str(raised.value) == f"{not_an_image}: {reason}"
    # A FIFO would block the read for ever: refused unread.
    fifo = tmp_path / "fifo.png"
    os.mkfifo(fifo)
    with pytest.raises(ValueError) as raised:
        superpixels.segment_file(fifo)
    assert str(raised.value) == f"{fifo}: not a regular file (a FIFO)"
    with pytest.raises(TypeError, match="expected str, bytes or os.PathLike object, not int"):
        superpixels.segment_file(42, 4, 0.5)
    # Label files: the same errors, and a malformed file named with its first bad line.
    with pytest.raises(FileNotFoundError):
        superpixels.read_labels(tmp_path / "absent.txt")
    with pytest.raises(IsADirectoryError):
        superpixels.read_labels(tmp_path)
    with pytest.raises(ValueError, match="fifo.png: not a regular file"):
        superpixels.read_labels(fifo)
    malformed = tmp_path / "malformed.txt"
    malformed.write_bytes(b"0\t1\t\r\n0\t\r\n")
    with pytest.raises(ValueError, match="malformed.txt: line 2: "):
        superpixels.read_labels(malformed)
    with pytest.raises(FileNotFoundError):
        superpixels.write_labels(tmp_path / "absent" / "labels.txt", LABELS)
    # Never cut short at a NUL, which would name another file.
    real = os.path.join(os.environ["SUPERPIXELS_EXAMPLES_DIR"], "coffee.png")
    for path in (real + "\0.jpg", os.fsencode(real) + b"\0"):
        with pytest.raises(ValueError, match="path holds a NUL character"):
            superpixels.segment_file(path)
    if os.geteuid() == 0:
        pytest.skip("root reads any file: no PermissionError to provoke")
    locked = tmp_path / "locked.png"
    locked.write_bytes(b"")
    locked.chmod(0)
    with pytest.raises(PermissionError) as raised:
        superpixels.segment_file(locked)
    assert raised.value.errno == errno.EACCES


@pytest.mark.parametrize(
    "labels, error, message",
    [
        (LABELS.astype(np.float32), TypeError, "integer dtype, got float32"),
        (LABELS.astype(bool), TypeError, "integer dtype, got bool"),
        (LABELS[0], ValueError, "shape (H, W), got (8,)"),
        (np.zeros((0, 8), np.int32), ValueError, "labels is empty"),
        (LABELS + 2**40, ValueError, "labels of dtype int64 hold values that do not fit in int32"),
        (LABELS.astype(np.uint64) + 2**63, ValueError, "do not fit in int32"),
    ],
)
def test_bad_labels(labels, error, message):
    with pytest.raises(error) as raised:
        superpixels.partition_image(labels)
    assert message in str(raised.value)
    for call in (
        lambda: superpixels.boundary_image(IMAGE, labels),
        lambda: superpixels.regions(labels),
        lambda: superpixels.adjacency(labels),
        lambda: superpixels.evaluate(labels, LABELS),
        lambda: superpixels.evaluate(LABELS, [LABELS, labels]),
    ):
        with pytest.raises(error):
            call()


def test_shapes_must_match():
    for call in (
        lambda: superpixels.boundary_image(IMAGE, LABELS[:, :5]),
        lambda: superpixels.boundary_image(IMAGE, LABELS.T),
        lambda: superpixels.regions(LABELS, IMAGE[:5]),
        lambda: superpixels.evaluate(LABELS, LABELS, IMAGE[:, :3]),
    ):
        with pytest.raises(ValueError, match="height and width must match"):
            call()
    with pytest.raises(ValueError, match=r"ground_truth\[1\] has shape \(6, 7\), the labels"):
        superpixels.evaluate(LABELS, [LABELS, LABELS[:, :7]])


def test_bad_evaluation_settings():
    bad = ((-1, ValueError), (10**7, ValueError), (1.5, TypeError), (True, TypeError))
    for tolerance, error in bad:
        with pytest.raises(error, match="tolerance"):
            superpixels.evaluate(LABELS, LABELS, tolerance=tolerance)
    with pytest.raises(ValueError, match='window must be "disk" or "square", got \'circle\''):
        superpixels.evaluate(LABELS, LABELS, window="circle")
    with pytest.raises(ValueError, match="ground_truth holds no annotation"):
        superpixels.evaluate(LABELS, [])


def test_partition_needs_a_colour_for_every_label(tmp_path):
    labels = LABELS.copy()
    labels[2, 3] = -2
    # Only -1 means "outside a mask": no table, picture or label file has room for -2.
    for call in (superpixels.partition_image, superpixels.regions, superpixels.adjacency):
        with pytest.raises(ValueError, match=r"label -2 at row 2, column 3: labels must be -1"):
            call(labels)
    with pytest.raises(ValueError, match="labels hold -2: a label file holds -1"):
        superpixels.write_labels(tmp_path / "labels.txt", labels)
    with pytest.raises(TypeError, match="integer dtype, got float64"):
        superpixels.write_labels(tmp_path / "labels.txt", LABELS.astype(np.float64))
    with pytest.raises(ValueError, match="do not fit in int32"):
        superpixels.write_labels(tmp_path / "labels.txt", LABELS + 2**31)
    assert not (tmp_path / "labels.txt").exists()
    labels[2, 3] = 5
    colours = np.zeros((5, 3), np.uint8)
    with pytest.raises(ValueError, match="label 5 at row 2, column 3 has no colour: colours has 5"):
        superpixels.partition_image(labels, colours)
    with pytest.raises(TypeError, match="colours must have dtype uint8, got float64"):
        superpixels.partition_image(labels, colours.astype(np.float64))
    with pytest.raises(ValueError, match=r"colours must have shape \(n, 3\), got \(6, 4\)"):
        superpixels.partition_image(labels, np.zeros((6, 4), np.uint8))
    labels[2, 3] = 2**31 - 1
    with pytest.raises(ValueError, match="default palette serves labels below the pixel count"):
        superpixels.partition_image(labels)


def test_bad_border_colours():
    with pytest.raises(ValueError, match="colour must be 3 integers from 0 to 255"):
        superpixels.boundary_image(IMAGE, LABELS, colour=(0, 0, 256))
    with pytest.raises(TypeError, match="colour must be a sequence of 3 integers"):
        superpixels.boundary_image(IMAGE, LABELS, colour=(0, 0, 0.5))


def test_messages_are_short_and_show_no_pixels():
    rng = np.random.default_rng(1)
    big = rng.integers(0, 2**31 - 1, (300, 400), dtype=np.int64)
    float_image = rng.random((300, 400, 3)) * 255
    calls = [
        lambda: superpixels.segment(big),
        lambda: superpixels.segment(float_image),
        lambda: superpixels.segment(big.astype(np.uint8), mask=big.astype(np.float32)),
        lambda: superpixels.segment(big.astype(np.uint8), weight=big),
        lambda: superpixels.boundary_image(float_image / 255, big[:, :5]),
        lambda: superpixels.partition_image(big),
        lambda: superpixels.evaluate(big, big.astype(np.float64)),
        lambda: superpixels.segment_file("absent.png", channel_order="x" * 10000),
    ]
    for call in calls:
        with pytest.raises((TypeError, ValueError)) as raised:
            call()
        text = str(raised.value)
        assert len(text) < 300, text[:400]
        assert str(big.ravel()[0]) not in text, text
