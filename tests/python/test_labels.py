"""Labels from the package equal the tool's label files, whatever the array's dtype, channel
layout, channel order or memory layout, as long as it holds the same 8-bit picture; masks and
4-connectivity as the engine defines them."""

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
    write_png,
)


@pytest.mark.parametrize("case", golden_cases(), ids=case_id)
def test_file_labels_equal_golden(case):
    count, weight = count_and_weight(case)
    labels = superpixels.segment_file(str(input_path(case)), count, weight)
    assert_same(read_labels(case / "labels.txt"), labels, case.name)


@pytest.mark.parametrize("case", golden_cases()[:3], ids=case_id)
def test_label_files_read_and_write_as_the_tool_writes_them(case, tmp_path):
    golden = case / "labels.txt"
    labels = superpixels.read_labels(golden)
    assert_same(read_labels(golden), labels, case.name)
    superpixels.write_labels(tmp_path / "labels.txt", labels.astype(np.int64))
    assert (tmp_path / "labels.txt").read_bytes() == golden.read_bytes()


def test_bsds_cases_are_present():
    if not (SHARED_DIR / "golden").is_dir():
        pytest.skip(f"shared folder {SHARED_DIR / 'golden'} absent: BSDS500 cases not run")
    assert any(case.name.startswith("bsds-") for case in golden_cases())


def same_picture(rgb, seed):
    """The RGB picture in every form the package takes, each with its channel order: memory
    layouts, BGR, alpha, 16 bits (any low byte: only the high one counts), floats."""
    rng = np.random.default_rng(seed)
    bgr = np.ascontiguousarray(rgb[..., ::-1])
    alpha = rng.integers(0, 256, rgb.shape[:2] + (1,), dtype=np.uint8)
    wide = (rgb.astype(np.uint16) << 8) | rng.integers(0, 256, rgb.shape, dtype=np.uint16)
    padded = np.zeros((rgb.shape[0], 2 * rgb.shape[1], 3), dtype=np.uint8)
    padded[:, ::2] = rgb
    read_only = rgb.copy()
    read_only.setflags(write=False)
    forms = {
        "rgb": (np.ascontiguousarray(rgb), "rgb"),
        "bgr": (bgr, "bgr"),
        "bgr_reversed_view": (rgb[..., ::-1], "bgr"),
        "every_other_column": (padded[:, ::2], "rgb"),
        "fortran_order": (np.asfortranarray(rgb), "rgb"),
        "read_only": (read_only, "rgb"),
        "rgba": (np.concatenate([rgb, alpha], axis=2), "rgb"),
        "bgra": (np.concatenate([bgr, alpha], axis=2), "bgr"),
        "uint16": (wide, "rgb"),
        "uint16_big_endian": (wide.astype(">u2"), "rgb"),
        "uint16_bgra": (np.concatenate([wide[..., ::-1], wide[..., :1]], axis=2), "bgr"),
        "float32": ((rgb / np.float32(255)).astype(np.float32), "rgb"),
        "float64": (rgb / 255.0, "rgb"),
        "float64_bgr": (bgr / 255.0, "bgr"),
    }
    if (rgb == rgb[..., :1]).all():
        grey = np.ascontiguousarray(rgb[..., 0])
        forms.update(
            {
                "grey": (grey, "rgb"),
                "grey_hw1": (grey[..., np.newaxis], "bgr"),
                "grey_uint16": (grey.astype(np.uint16) * 257, "rgb"),
                "grey_float32": (grey.astype(np.float32) / 255, "rgb"),
            }
        )
    return forms


@pytest.mark.parametrize("case", png_golden_cases(), ids=case_id)
def test_every_form_of_a_picture_gives_the_golden_labels(case):
    count, weight = count_and_weight(case)
    expected = read_labels(case / "labels.txt")
    for name, (image, order) in same_picture(read_rgb(case / "input.png"), 7).items():
        labels = superpixels.segment(image, count, weight, channel_order=order)
        assert_same(expected, labels, f"{case.name}, {name}")


def test_pixel_conversions_of_the_package_alone():
    """uint16 stretched on request; float rounding noise just outside [0, 1] clipped."""
    rgb = read_rgb(EXAMPLES_DIR / "coffee.png")[:80, :120].copy()
    rgb[0, 0] = (0, 0, 0)
    rgb[0, 1] = (255, 255, 255)
    noisy = rgb / 255.0
    noisy[rgb == 0] -= 5e-7
    noisy[rgb == 255] += 5e-7
    cases = {
        "12 bits in 16, stretched": (rgb.astype(np.uint16) * 16 + 3, {"uint16": "full_range"}),
        "16 bits, high byte": (rgb.astype(np.uint16) << 8 | 0xFF, {}),
        "uint8, full_range ignored": (rgb, {"uint16": "full_range"}),
        "floats a hair outside": (noisy, {}),
        "float32 a hair outside": (noisy.astype(np.float32), {}),
    }
    expected = superpixels.segment(rgb, 30)
    for name, (pixels, keywords) in cases.items():
        assert_same(expected, superpixels.segment(pixels, 30, **keywords), name)


def test_arrays_equal_the_png_files_the_tool_reads(tmp_path):
    """16-bit, grey and alpha PNGs: the array gives the labels the tool gives the file."""
    rng = np.random.default_rng(3)
    rgb = read_rgb(EXAMPLES_DIR / "coffee.png")[:120, :160]
    wide = (rgb.astype(np.uint16) << 8) | rng.integers(0, 256, rgb.shape, dtype=np.uint16)
    grey = np.ascontiguousarray(rgb[..., 1])
    alpha = rng.integers(0, 256, rgb.shape[:2] + (1,), dtype=np.uint8)
    pictures = {
        "rgb16": wide,
        "grey8": grey,
        "grey16": wide[..., 1],
        "rgba8": np.concatenate([rgb, alpha], axis=2),
        "rgba16": np.concatenate([wide, alpha.astype(np.uint16) * 300], axis=2),
    }
    for name, pixels in pictures.items():
        path = tmp_path / f"{name}.png"
        write_png(path, pixels)
        from_file = superpixels.segment_file(path, 60, 0.5)
        assert_same(from_file, superpixels.segment(pixels, 60, 0.5), name)
    # The 8-bit picture those files hold is the one the conversion makes.
    assert_same(
        superpixels.segment_file(tmp_path / "rgb16.png", 60, 0.5),
        superpixels.segment(rgb, 60, 0.5),
        "rgb16 against its high bytes",
    )


@pytest.mark.parametrize("photo", ["chelsea.png", "coffee.png"])
def test_rgb_and_bgr_of_a_photo_give_the_tool_labels(photo):
    path = EXAMPLES_DIR / photo
    rgb = read_rgb(path)
    from_file = superpixels.segment_file(path)
    assert_same(from_file, superpixels.segment(rgb), f"{photo}, rgb")
    bgr = np.ascontiguousarray(rgb[..., ::-1])
    assert_same(from_file, superpixels.segment(bgr, channel_order="bgr"), f"{photo}, bgr")


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
    _, file_bgr = superpixels.segment_file(path, 50, 0.5, return_colours=True, channel_order="bgr")
    assert_same(bgr_colours, file_bgr, "file colours, bgr")


def test_numpy_scalars_and_path_objects_are_accepted():
    path = DATA_DIR / "golden" / "coffee-96x64-k20" / "input.png"
    expected = superpixels.segment_file(str(path), 30, 0.25)
    assert_same(expected, superpixels.segment_file(path, np.int64(30), np.float32(0.25)), "numpy")
    assert_same(expected, superpixels.segment_file(bytes(path), 30, 0.25), "bytes path")
    assert_same(expected, superpixels.segment_file(path, count=30, weight=0.25), "keywords")


@pytest.mark.parametrize("case", png_golden_cases(), ids=case_id)
def test_an_all_inside_mask_changes_nothing(case):
    count, weight = count_and_weight(case)
    expected = read_labels(case / "labels.txt")
    rgb = read_rgb(case / "input.png")
    everywhere = np.ones(rgb.shape[:2], dtype=bool)
    assert_same(expected, superpixels.segment(rgb, count, weight, mask=everywhere), "bool")
    from_file = superpixels.segment_file(case / "input.png", count, weight, mask=everywhere * 7)
    assert_same(expected, from_file, "int mask, file")


def test_masked_pixels_are_labelled_minus_one_and_count_counts_inside():
    rgb = read_rgb(EXAMPLES_DIR / "chelsea.png")
    mask = np.zeros(rgb.shape[:2], dtype=np.uint8)
    mask[40:200, 60:300] = 255
    mask[100:120, 100:260] = 0  # a hole
    labels = superpixels.segment(rgb, 50, 0.5, mask=mask)
    assert (labels[mask == 0] == -1).all()
    inside = labels[mask != 0]
    assert inside.min() == 0
    assert 40 <= inside.max() + 1 <= 50
    # The file path and the array path agree on the mask too; an empty mask gives no superpixel.
    from_file = superpixels.segment_file(EXAMPLES_DIR / "chelsea.png", 50, mask=mask)
    assert_same(labels, from_file, "file")
    empty = superpixels.segment(rgb, 50, 0.5, mask=np.zeros(rgb.shape[:2], dtype=bool))
    assert (empty == -1).all()


def pieces(labels, label, connectivity):
    """Number of pieces of one label through 4 or 8 neighbours: a flood fill of its own."""
    todo = set(zip(*np.nonzero(labels == label)))
    steps = [(0, 1), (1, 0), (0, -1), (-1, 0)]
    if connectivity == 8:
        steps += [(1, 1), (1, -1), (-1, 1), (-1, -1)]
    count = 0
    while todo:
        count += 1
        stack = [todo.pop()]
        while stack:
            y, x = stack.pop()
            for dy, dx in steps:
                if (y + dy, x + dx) in todo:
                    todo.remove((y + dy, x + dx))
                    stack.append((y + dy, x + dx))
    return count


@pytest.mark.parametrize("case_name", ["chelsea-120x80-k40", "noise-32x32-k16", "discs-70x50-k12"])
def test_connectivity_4_gives_4_connected_superpixels(case_name):
    case = DATA_DIR / "golden" / case_name
    count, weight = count_and_weight(case)
    labels = superpixels.segment_file(case / "input.png", count, weight, connectivity=4)
    assert labels.min() == 0
    assert all(pieces(labels, s, 4) == 1 for s in range(labels.max() + 1))
    # The default is the tool's 8-connectivity.
    eight = superpixels.segment_file(case / "input.png", count, weight, connectivity=8)
    assert_same(read_labels(case / "labels.txt"), eight, "8")


def test_version_is_the_tools():
    assert superpixels.__version__.count(".") == 2
    assert all(part.isdigit() for part in superpixels.__version__.split("."))
