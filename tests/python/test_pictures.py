"""The boundary overlay and the partition picture equal the tool's, in either channel order."""

import json

import numpy as np
import pytest

import superpixels
from support import (
    EXAMPLES_DIR,
    assert_same,
    case_id,
    count_and_weight,
    png_golden_cases,
    read_rgb,
)


@pytest.mark.parametrize("case", png_golden_cases(), ids=case_id)
def test_pictures_equal_golden(case):
    count, weight = count_and_weight(case)
    rgb = read_rgb(case / "input.png")
    labels, colours = superpixels.segment(rgb, count, weight, return_colours=True)
    boundary = read_rgb(case / "boundary.png")
    partition = read_rgb(case / "partition.png")

    assert_same(boundary, superpixels.boundary_image(rgb, labels), f"{case.name} boundary")
    assert_same(partition, superpixels.partition_image(labels, colours), f"{case.name} partition")

    bgr = np.ascontiguousarray(rgb[..., ::-1])
    bgr_labels, bgr_colours = superpixels.segment(
        bgr, count, weight, channel_order="bgr", return_colours=True
    )
    assert_same(boundary[..., ::-1], superpixels.boundary_image(bgr, bgr_labels), "boundary, bgr")
    assert_same(
        partition[..., ::-1], superpixels.partition_image(bgr_labels, bgr_colours), "partition, bgr"
    )


@pytest.mark.parametrize("case", png_golden_cases(), ids=case_id)
def test_default_palette_is_the_tools_colour_of_each_grid_block(case):
    # Numbered by the grid block each superpixel grew from, the labels get the tool's colours.
    count, weight = count_and_weight(case)
    labels = superpixels.segment(read_rgb(case / "input.png"), count, weight)
    blocks = np.array(json.loads((case / "trace.json").read_text())["activeRegions"])
    by_block = blocks[labels]
    partition = read_rgb(case / "partition.png")
    assert_same(partition, superpixels.partition_image(by_block), f"{case.name} rgb")
    assert_same(
        partition[..., ::-1],
        superpixels.partition_image(by_block, channel_order="bgr"),
        f"{case.name} bgr",
    )


def test_labels_of_other_integer_types_and_layouts_paint_the_same():
    labels = np.array([[0, 0, 1, 1], [0, 2, 2, 1], [3, 3, 2, 1]], dtype=np.int32)
    image = np.arange(labels.size * 3, dtype=np.uint8).reshape(*labels.shape, 3)
    boundary = superpixels.boundary_image(image, labels)
    partition = superpixels.partition_image(labels)
    for other in (labels.astype(np.int64), labels.astype(np.uint16), np.asfortranarray(labels)):
        assert_same(boundary, superpixels.boundary_image(image, other), f"boundary {other.dtype}")
        assert_same(partition, superpixels.partition_image(other), f"partition {other.dtype}")


def test_boundary_blackens_borders_top_row_and_left_column_only():
    labels = np.array([[0, 0, 0], [0, 0, 1], [0, 0, 1]], dtype=np.int32)
    image = np.full((3, 3, 3), 200, dtype=np.uint8)
    kept = superpixels.boundary_image(image, labels)[..., 0] == 200
    expected = np.array([[False, False, False], [False, True, False], [False, True, False]])
    assert_same(expected, kept, "kept pixels")


def test_given_colours_are_painted_as_they_are():
    labels = np.array([[1, 0], [2, 1]], dtype=np.int32)
    colours = np.array([[1, 2, 3], [4, 5, 6], [7, 8, 9]], dtype=np.uint8)
    assert_same(colours[labels], superpixels.partition_image(labels, colours), "partition")
    assert_same(colours[labels], superpixels.partition_image(labels, colours.T.copy().T), "strided")


def test_coloured_borders_are_where_the_black_ones_are():
    rgb = read_rgb(EXAMPLES_DIR / "coffee.png")[:90, :120]
    labels = superpixels.segment(rgb, 30, 0.5)
    black = superpixels.boundary_image(np.full_like(rgb, 255), labels)[..., 0] == 0
    red = superpixels.boundary_image(rgb, labels, colour=(255, 0, 0))
    assert_same(np.broadcast_to(np.uint8([255, 0, 0]), red[black].shape), red[black], "borders")
    assert_same(rgb[~black], red[~black], "inside")
    # Float and grey pictures are drawn on as their 8-bit form.
    assert_same(
        superpixels.boundary_image(rgb, labels),
        superpixels.boundary_image(rgb / 255.0, labels),
        "float",
    )
    grey = superpixels.boundary_image(rgb[..., 1], labels)
    assert grey.shape == rgb.shape and (grey == grey[..., :1]).all()


def test_a_masked_partition_is_black_outside_with_its_edge_drawn():
    rgb = read_rgb(EXAMPLES_DIR / "coffee.png")[:90, :120]
    mask = np.zeros(rgb.shape[:2], dtype=bool)
    mask[10:80, 20:100] = True
    labels, colours = superpixels.segment(rgb, 20, 0.5, mask=mask, return_colours=True)
    partition = superpixels.partition_image(labels, colours)
    assert (partition[~mask] == 0).all()
    assert_same(colours[labels[mask]], partition[mask], "inside")
    assert (superpixels.partition_image(labels)[~mask] == 0).all()
    # The overlay draws the mask's edge as a border: the row above the mask's first row stays
    # as it is, its first row turns black.
    boundary = superpixels.boundary_image(np.full_like(rgb, 255), labels)
    assert (boundary[10, 21:100] == 0).all()
    assert (boundary[9, 21:100] == 255).all()
