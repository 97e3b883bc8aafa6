"""Labels from the module equal the tool's label files, whatever the channel order or the memory
layout of the array."""

import numpy as np
import pytest

import superpixels
from support import (
    DATA_DIR,
    EXAMPLES_DIR,
    SHARED_DIR,
    assert_same,
    case_id,
    count_and_weight,
    golden_cases,
    input_path,
    png_golden_cases,
    read_labels,
    read_rgb,
)


@pytest.mark.parametrize("case", golden_cases(), ids=case_id)
def test_file_labels_equal_golden(case):
    count, weight = count_and_weight(case)
    labels = superpixels.segment_file(str(input_path(case)), count, weight)
    assert_same(read_labels(case / "labels.txt"), labels, case.name)


def test_bsds_cases_are_present():
    if not (SHARED_DIR / "golden").is_dir():
        pytest.skip(f"shared folder {SHARED_DIR / 'golden'} absent: BSDS500 cases not run")
    assert any(case.name.startswith("bsds-") for case in golden_cases())


def layouts(rgb):
    """The same RGB picture in every memory layout an array may have, with its channel order."""
    padded = np.zeros((rgb.shape[0], 2 * rgb.shape[1], 3), dtype=np.uint8)
    padded[:, ::2] = rgb
    read_only = rgb.copy()
    read_only.setflags(write=False)
    return {
        "rgb": (np.ascontiguousarray(rgb), "rgb"),
        "bgr": (np.ascontiguousarray(rgb[..., ::-1]), "bgr"),
        "bgr_reversed_view": (rgb[..., ::-1], "bgr"),
        "every_other_column": (padded[:, ::2], "rgb"),
        "fortran_order": (np.asfortranarray(rgb), "rgb"),
        "read_only": (read_only, "rgb"),
    }


@pytest.mark.parametrize("case", png_golden_cases(), ids=case_id)
def test_array_labels_equal_golden_in_every_layout(case):
    count, weight = count_and_weight(case)
    expected = read_labels(case / "labels.txt")
    for name, (image, order) in layouts(read_rgb(case / "input.png")).items():
        labels = superpixels.segment(image, count, weight, channel_order=order)
        assert_same(expected, labels, f"{case.name}, {name}")


@pytest.mark.parametrize("photo", ["chelsea.png", "coffee.png"])
def test_rgb_and_bgr_of_a_photo_give_the_tool_labels(photo):
    path = EXAMPLES_DIR / photo
    rgb = read_rgb(path)
    from_file = superpixels.segment_file(path, 200, 0.5)
    assert_same(from_file, superpixels.segment(rgb, 200, 0.5), f"{photo}, rgb")
    bgr = np.ascontiguousarray(rgb[..., ::-1])
    assert_same(from_file, superpixels.segment(bgr, 200, 0.5, channel_order="bgr"), f"{photo}, bgr")


def test_colours_come_with_the_same_labels_in_either_order():
    path = EXAMPLES_DIR / "chelsea.png"
    plain = superpixels.segment_file(path, 50, 0.5)
    labels, rgb_colours = superpixels.segment_file(path, 50, 0.5, return_colours=True)
    bgr_labels, bgr_colours = superpixels.segment(
        np.ascontiguousarray(read_rgb(path)[..., ::-1]),
        50,
        0.5,
        channel_order="bgr",
        return_colours=True,
    )
    assert_same(plain, labels, "labels with colours")
    assert_same(plain, bgr_labels, "labels with colours, bgr")
    assert rgb_colours.shape == (labels.max() + 1, 3)
    assert rgb_colours.dtype == np.uint8
    assert_same(rgb_colours, bgr_colours[:, ::-1], "colours, bgr reversed")


def test_numpy_scalars_and_path_objects_are_accepted():
    path = DATA_DIR / "golden" / "coffee-96x64-k20" / "input.png"
    expected = superpixels.segment_file(str(path), 30, 0.25)
    assert_same(expected, superpixels.segment_file(path, np.int64(30), np.float32(0.25)), "numpy")
    assert_same(expected, superpixels.segment_file(bytes(path), 30, 0.25), "bytes path")


def test_version_is_the_tools():
    assert superpixels.__version__.count(".") == 2
    assert all(part.isdigit() for part in superpixels.__version__.split("."))
