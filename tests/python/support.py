"""Helpers of the Python module's tests: golden cases, label files, decoded pictures."""

import json
import os
import pathlib
import struct
import zlib

import numpy as np
import pytest

DATA_DIR = pathlib.Path(os.environ["SUPERPIXELS_TEST_DATA_DIR"])
SHARED_DIR = pathlib.Path(os.environ["SUPERPIXELS_SHARED_DIR"])
EXAMPLES_DIR = pathlib.Path(os.environ["SUPERPIXELS_EXAMPLES_DIR"])


def golden_cases():
    """The vendored golden cases, then those made from BSDS500 photos when the shared folder is
    there (their photos stay in it)."""
    cases = sorted(p for p in (DATA_DIR / "golden").iterdir() if p.is_dir())
    shared = SHARED_DIR / "golden"
    if shared.is_dir():
        cases += sorted(p for p in shared.glob("bsds-*") if p.is_dir())
    return cases


def png_golden_cases():
    """Golden cases whose input is a PNG: lossless, so any decoder gives the tool's pixels."""
    return [case for case in golden_cases() if (case / "input.png").exists()]


def case_id(case):
    return case.name


def input_path(case):
    png = case / "input.png"
    return png if png.exists() else case / "input.jpg"


def count_and_weight(case):
    """The case's count and weight; the weight text is read as the tool reads it."""
    job = json.loads((case / "case.json").read_text())
    return job["count"], float(job["weight"])


def read_labels(path):
    """A label file (rows ended by CR LF, every label followed by a tab) as an int32 array."""
    rows = path.read_bytes().decode("ascii").split("\r\n")
    assert rows[-1] == "", f"{path}: last row not ended by CR LF"
    return np.array([[int(v) for v in row.split("\t")[:-1]] for row in rows[:-1]], dtype=np.int32)


def read_rgb(path):
    """An 8-bit RGB picture as an H x W x 3 uint8 array (Pillow, skipped without it)."""
    image_module = pytest.importorskip("PIL.Image")
    with image_module.open(path) as picture:
        return np.asarray(picture.convert("RGB"))


def assert_same(expected, actual, what):
    """Equal shapes and values; on a mismatch names the first differing pixel."""
    assert actual.shape == expected.shape, f"{what}: shape {actual.shape} not {expected.shape}"
    assert actual.dtype == expected.dtype, f"{what}: dtype {actual.dtype} not {expected.dtype}"
    differs = np.argwhere(actual != expected)
    if differs.size:
        y, x = differs[0][:2]
        raise AssertionError(
            f"{what}: first difference at row {y}, column {x}: "
            f"{actual[y, x].tolist()} instead of {expected[y, x].tolist()}"
        )


def write_png(path, pixels):
    """Writes an H x W (grey), H x W x 3 (RGB) or H x W x 4 (RGBA) uint8 or uint16 array as a PNG
    of that bit depth, unfiltered: enough of an encoder to make 16-bit and alpha files without
    depending on one."""
    pixels = np.asarray(pixels)
    channels = 1 if pixels.ndim == 2 else pixels.shape[2]
    colour_type = {1: 0, 3: 2, 4: 6}[channels]
    depth = {np.dtype(np.uint8): 8, np.dtype(np.uint16): 16}[pixels.dtype]
    rows = pixels.astype(pixels.dtype.newbyteorder(">")).reshape(pixels.shape[0], -1)
    raw = b"".join(b"\0" + row.tobytes() for row in rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", pixels.shape[1], pixels.shape[0], depth, colour_type, 0, 0, 0)
    path.write_bytes(
        b"\x89PNG\r\n\x1a\n"
        + chunk(b"IHDR", header)
        + chunk(b"IDAT", zlib.compress(raw))
        + chunk(b"IEND", b"")
    )
