"""Superpixels of colour images.

Partitions an image into superpixels: connected groups of pixels that are compact in space and
uniform in colour. The labels are those the ``superpixels`` command-line tool writes in its label
files, bit for bit, and everything after segmentation works on numpy arrays too.

    segment(image, count, weight)          labels of an image array
    segment_file(path, count, weight)      labels of an image file, read as the tool reads it
    segment_files(paths, count, weight)    labels of many image files, segmented side by side
    read_labels(path), write_labels(...)   the tool's label files, as int32 arrays
    boundary_image(image, labels)          the image with the superpixel borders drawn
    partition_image(labels, colours)       every superpixel painted in one colour
    regions(labels, image)                 one row of figures per superpixel (a dict of columns)
    adjacency(labels)                      which superpixels touch, and along how many pixel edges
    evaluate(labels, ground_truth, image)  boundary recall, undersegmentation error and more
    ThreadPool(threads)                    threads that segment calls share (pool=)

Images are numpy arrays of shape (H, W), (H, W, 1), (H, W, 3) or (H, W, 4) (alpha is ignored), of
dtype uint8, uint16 (reduced to 8 bits as the tool reads a 16-bit PNG: the high byte; or its own
range stretched to 8 bits with ``uint16="full_range"``) or float32/float64 in [0, 1] (taken as
``rint(x * 255)``). Labels are (H, W) integer arrays.
Every function that works on pixels runs without the GIL: threads working on different images run
side by side.
"""

import collections
import concurrent.futures
import errno
import itertools
import math
import numbers
import operator
import os

import numpy as np

from . import _core

#: The package's version, a string such as "1.2.0".
__version__ = _core.__version__

__all__ = [
    "ThreadPool",
    "__version__",
    "adjacency",
    "boundary_image",
    "evaluate",
    "partition_image",
    "read_labels",
    "regions",
    "segment",
    "segment_file",
    "segment_files",
    "write_labels",
]

_INT32 = np.iinfo(np.int32)
_IMAGE_DTYPES = "uint8, uint16, float32 or float64"
# Float pixels this far outside [0, 1] are rounding noise of the computation that made them (a
# colour conversion, a sum of weights), clipped rather than refused.
_FLOAT_SLACK = 1e-6


def _short(value):
    """repr of a scalar argument, cut short, for error messages."""
    text = repr(value)
    return text if len(text) <= 40 else text[:37] + "..."


def _type_name(value):
    return type(value).__name__


# Argument checks. Each raises TypeError for a wrong type and ValueError for a wrong value, with a
# short message that names the argument and never shows an array's contents.


def _count(count):
    if isinstance(count, (bool, np.bool_)) or not hasattr(type(count), "__index__"):
        raise TypeError(f"count must be an integer, got {_type_name(count)}")
    value = operator.index(count)
    if value < 1:
        raise ValueError(f"count is {_short(value)}, must be at least 1")
    if value > _core.max_superpixel_count:
        raise ValueError(f"count is {_short(value)}, must be at most {_core.max_superpixel_count}")
    return value


def _weight(weight):
    if isinstance(weight, (bool, np.bool_)) or not isinstance(weight, numbers.Real):
        raise TypeError(f"weight must be a real number, got {_type_name(weight)}")
    value = float(weight)
    if not math.isfinite(value) or value < 0:
        raise ValueError(f"weight is {_short(value)}, must be finite and not negative")
    # Single precision, as the tool reads WEIGHT.
    with np.errstate(over="ignore"):
        single = np.float32(value)
    if not np.isfinite(single):
        raise ValueError(f"weight is {_short(value)}, too large for single precision")
    return float(single)


def _connectivity(connectivity):
    if isinstance(connectivity, (bool, np.bool_)) or not hasattr(type(connectivity), "__index__"):
        raise TypeError(f"connectivity must be 4 or 8, got {_type_name(connectivity)}")
    value = operator.index(connectivity)
    if value not in (4, 8):
        raise ValueError(f"connectivity must be 4 or 8, got {_short(value)}")
    return value


def _threads(threads, name="threads"):
    if isinstance(threads, (bool, np.bool_)) or not hasattr(type(threads), "__index__"):
        raise TypeError(f"{name} must be an integer, got {_type_name(threads)}")
    value = operator.index(threads)
    most = _core.max_threads
    if value < 0 or value > most:
        raise ValueError(f"{name} is {_short(value)}, must be 0 (every core) to {most}")
    return value


def _choice(value, name, choices):
    if not isinstance(value, str) or value not in choices:
        allowed = " or ".join(f'"{c}"' for c in choices)
        shown = _short(value) if isinstance(value, str) else _type_name(value)
        raise ValueError(f"{name} must be {allowed}, got {shown}")
    return value


def _flag(value, name):
    if not isinstance(value, (bool, np.bool_)):
        raise TypeError(f"{name} must be True or False, got {_type_name(value)}")
    return bool(value)


def _array(value, name):
    try:
        return np.asarray(value)
    except (TypeError, ValueError) as error:
        raise TypeError(f"{name} must be a numpy array, got {_type_name(value)}") from error


def _float_text(value):
    """The shortest digits that tell `value` apart in its own precision: 1.0000001, not 1."""
    return np.format_float_positional(value, trim="-")


def _pixels(image, name="image", uint16="high_byte"):
    """image as a C-contiguous H x W x 3 uint8 array in its own channel order: alpha dropped, grey
    repeated in three channels, 16 bits reduced to their high byte (or, with "full_range", their
    lowest to highest value stretched over 0 to 255), floats x to rint(x * 255)."""
    if isinstance(image, (str, bytes, os.PathLike)):
        raise TypeError(f"{name} must be an array, got a path: read files with segment_file")
    array = _array(image, name)
    if array.dtype.kind not in "uif":
        raise TypeError(f"{name} must have dtype {_IMAGE_DTYPES}, got {array.dtype}")
    if not (array.ndim == 2 or (array.ndim == 3 and array.shape[2] in (1, 3, 4))):
        raise ValueError(
            f"{name} must have shape (H, W), (H, W, 1), (H, W, 3) or (H, W, 4), got {array.shape}"
        )
    if array.shape[0] == 0 or array.shape[1] == 0:
        raise ValueError(f"{name} is empty: shape {array.shape}")
    if array.ndim == 3 and array.shape[2] == 4:
        array = array[..., :3]
    if not array.dtype.isnative:
        array = array.astype(array.dtype.newbyteorder("="))
    if array.dtype == np.uint16 and uint16 == "full_range":
        # A camera's 10 or 12 bits in 16 would keep 4 levels or 16 in the high byte alone.
        low, high = int(array.min()), int(array.max())
        scale = 255.0 / (high - low) if high > low else 0.0
        array = np.rint((array.astype(np.float64) - low) * scale).astype(np.uint8)
    elif array.dtype == np.uint16:
        # What OpenCV's imread gives for a 16-bit PNG read as 8-bit colour, as the tool reads it.
        array = (array >> 8).astype(np.uint8)
    elif array.dtype in (np.float32, np.float64):
        if np.isnan(array).any():
            raise ValueError(f"{name} holds NaN values")
        low, high = array.min(), array.max()
        if low < -_FLOAT_SLACK or high > 1 + _FLOAT_SLACK:
            raise ValueError(
                f"{name} of dtype {array.dtype} must lie in [0, 1], "
                f"found values from {_float_text(low)} to {_float_text(high)}"
            )
        if low < 0 or high > 1:
            array = np.clip(array, 0, 1)
        array = np.rint(array * 255).astype(np.uint8)
    elif array.dtype != np.uint8:
        raise TypeError(f"{name} must have dtype {_IMAGE_DTYPES}, got {array.dtype}")
    if array.ndim == 2:
        array = array[..., np.newaxis]
    if array.shape[2] == 1:
        array = np.repeat(array, 3, axis=2)
    return np.ascontiguousarray(array)


def _is_grey(image):
    shape = np.shape(image)
    return len(shape) == 2 or (len(shape) == 3 and shape[2] == 1)


def _mask(mask):
    """mask as a C-contiguous uint8 array, 1 inside (non-zero) and 0 outside; shape unchecked."""
    array = _array(mask, "mask")
    if array.dtype != np.bool_ and array.dtype.kind not in "iu":
        raise TypeError(f"mask must have dtype bool or an integer dtype, got {array.dtype}")
    if array.ndim != 2:
        raise ValueError(f"mask must have shape (H, W), got {array.shape}")
    inside = array if array.dtype == np.bool_ else array != 0
    return np.ascontiguousarray(inside).view(np.uint8)


def _require_shape(array, name, shape, other):
    if array.shape[:2] != shape:
        raise ValueError(
            f"{name} has shape {array.shape[:2]}, {other} {shape}: height and width must match"
        )


def _labels(labels, name="labels"):
    """labels as a C-contiguous H x W int32 array."""
    array = _array(labels, name)
    if array.dtype.kind not in "iu":
        raise TypeError(f"{name} must have an integer dtype, got {array.dtype}")
    if array.ndim != 2:
        raise ValueError(f"{name} must have shape (H, W), got {array.shape}")
    if array.size == 0:
        raise ValueError(f"{name} is empty: shape {array.shape}")
    if array.dtype != np.int32:
        if array.min() < _INT32.min or array.max() > _INT32.max:
            raise ValueError(f"{name} of dtype {array.dtype} hold values that do not fit in int32")
        array = array.astype(np.int32)
    return np.ascontiguousarray(array)


class ThreadPool:
    """Threads that segment calls share: ``segment(..., pool=pool)``.

    Calls without a pool already share one pool of the process, made on first use, so a loop of
    many calls starts no threads per call. A pool of one's own sets how many threads work, or keeps
    a group of calls apart from the others. Calls on one pool from several Python threads run side
    by side; the labels never depend on the pool.

    Use it as a context manager, or call `close` when done. Closing releases the threads once the
    calls still running on the pool have ended; later calls on it raise ValueError.

    Parameters
    ----------
    threads : int, optional
        0 (the default) for one per CPU the process may use, else 1 (the calling thread alone) to
        4096.
    """

    def __init__(self, threads=0):
        self._pool = _core.ThreadPool(_threads(threads))

    @property
    def threads(self):
        """Most threads a call on the pool uses, the calling one included; 0 once closed."""
        return self._pool.threads

    @property
    def closed(self):
        """True once `close` was called."""
        return self._pool.closed

    def close(self):
        """Releases the pool's threads (once calls still running on it have ended)."""
        self._pool.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc_info):
        self.close()

    def __repr__(self):
        state = "closed" if self.closed else f"threads={self.threads}"
        return f"superpixels.ThreadPool({state})"


def _pool(pool):
    if pool is None:
        return None
    if not isinstance(pool, ThreadPool):
        raise TypeError(f"pool must be a superpixels.ThreadPool or None, got {_type_name(pool)}")
    if pool.closed:
        raise ValueError("pool is closed")
    return pool._pool


def segment(
    image,
    count=200,
    weight=0.5,
    *,
    mask=None,
    connectivity=8,
    channel_order="rgb",
    return_colours=False,
    threads=0,
    pool=None,
    uint16="high_byte",
):
    """Segment an image into superpixels.

    Parameters
    ----------
    image : (H, W[, C]) array_like
        The image: grey (H x W or H x W x 1), colour (H x W x 3) or colour with alpha
        (H x W x 4, alpha ignored). dtype uint8; uint16, reduced to its high byte as the tool
        reduces a 16-bit PNG it reads (see `uint16`); or float32/float64 in [0, 1], taken as
        ``rint(x * 255)`` (values within 1e-6 outside [0, 1] are clipped, rounding noise).
        An array and the same picture saved as a PNG (8 or 16 bits) give the same labels.
    count : int, optional
        Number of superpixels wanted, at least 1; the result may hold fewer. Inside the mask when
        one is given. A count of 2 to 7 can give a single superpixel: the last pass
        dissolves every superpixel that borders fewer than three others into a neighbour, and
        among a handful of superpixels most border only one or two, so they fold into one
        another. Within a mask
        of separate pieces every piece holds at least one superpixel of its own, since none can
        span the gap: such a mask can give more than `count`.
    weight : float, optional
        Compactness against colour uniformity, finite and not negative (rounded to single
        precision, as the tool reads it). 0 lets superpixels follow colour alone; larger values
        give rounder superpixels.
    mask : (H, W) array_like of bool or integers, optional
        Region of interest: non-zero inside. Pixels outside take no part and are labelled -1.
    connectivity : {8, 4}, optional
        Every superpixel is one piece through the 8 neighbours of its pixels (corners count), or
        through the 4 horizontal and vertical ones only.
    channel_order : {"rgb", "bgr"}, optional
        Order of the image's colour channels: "rgb" as scikit-image and Pillow give images,
        "bgr" as OpenCV does. Both give the same labels for the same picture.
    return_colours : bool, optional
        Also return the superpixels' display colours.
    threads : int, optional
        Threads working on the image: 0 (the default) for every core, 1 for the calling thread
        alone. The labels are the same for every number. The GIL is released meanwhile, so
        Python threads segmenting images side by side run at once. With `pool`, the most threads
        of the pool the call uses (0: all of them).
    pool : ThreadPool, optional
        The threads to work on: by default a pool of the process shared by every call, made on
        first use.
    uint16 : {"high_byte", "full_range"}, optional
        How a uint16 image becomes 8 bits: "high_byte" (the default) as the tool reads a 16-bit
        PNG, so that both give the same labels; "full_range" stretches the image's own lowest to
        highest value over 0 to 255, for 10- or 12-bit camera data that the high byte would
        leave nearly black. Ignored for other dtypes.

    Returns
    -------
    labels : (H, W) ndarray of int32
        The superpixel of every pixel, 0 .. n - 1 for n superpixels, numbered in the order of the
        grid block each grew from; -1 outside the mask. Equal to the tool's label file.
    colours : (n, 3) ndarray of uint8
        Only with ``return_colours=True``: the colour of every superpixel in the tool's partition
        picture, in `channel_order`. ``partition_image(labels, colours)`` paints that picture.

    Raises
    ------
    TypeError
        An argument of the wrong type or dtype.
    ValueError
        A wrong shape or value: `count` below 1, a negative or non-finite `weight`, float pixels
        outside [0, 1] or NaN, a mask of another height and width.
    """
    count = _count(count)
    weight = _weight(weight)
    connectivity = _connectivity(connectivity)
    channel_order = _choice(channel_order, "channel_order", ("rgb", "bgr"))
    return_colours = _flag(return_colours, "return_colours")
    uint16 = _choice(uint16, "uint16", ("high_byte", "full_range"))
    pixels = _pixels(image, uint16=uint16)
    if mask is not None:
        mask = _mask(mask)
        _require_shape(mask, "mask", pixels.shape[:2], "the image")
    # Grey pixels are the same in either order: no conversion needed.
    is_bgr = channel_order == "bgr" or _is_grey(image)
    threads = _threads(threads)
    pool = _pool(pool)
    return _core.segment(
        pixels,
        is_bgr,
        count,
        weight,
        connectivity,
        mask,
        return_colours,
        channel_order == "rgb",
        threads,
        pool,
    )


def _path(path):
    """(path as given, as bytes for the C library)."""
    name = os.fspath(path)
    encoded = os.fsencode(name)
    if b"\0" in encoded:
        # The C library would stop at it and read another file.
        raise ValueError("path holds a NUL character")
    return name, encoded


def _read(reader, name, encoded):
    """What `reader` (_core.read_image, read_labels) read, or its failure raised: OSError (its
    subclass for the errno) when the file cannot be opened, ValueError when it cannot be used."""
    value, reason, error = reader(encoded)
    if value is None:
        if error:
            raise OSError(error, os.strerror(error), name)
        raise ValueError(f"{os.fsdecode(name)}: {reason}")
    return value


def segment_file(
    path,
    count=200,
    weight=0.5,
    *,
    mask=None,
    connectivity=8,
    return_colours=False,
    channel_order="rgb",
    threads=0,
    pool=None,
):
    """Segment an image file into superpixels, reading it exactly as the tool reads it.

    The tool reads PNG, JPEG, BMP, PNM (PBM, PGM, PPM), TIFF and WebP (not animated) files,
    recognised by their contents whatever their name, of at most 100,000,000 pixels; no other
    format. It decodes them with
    OpenCV to 8-bit colour: grey becomes three equal channels, alpha is ignored, 16-bit PNGs keep
    their high byte, and a JPEG's EXIF orientation is applied. The labels equal the tool's label
    file for that file.

    Parameters
    ----------
    path : str, bytes or os.PathLike
        The image file.
    count, weight, mask, connectivity, return_colours, threads, pool
        As for `segment`.
    channel_order : {"rgb", "bgr"}, optional
        Channel order of the returned colours.

    Returns
    -------
    labels : (H, W) ndarray of int32
        As for `segment`.
    colours : (n, 3) ndarray of uint8
        Only with ``return_colours=True``, as for `segment`.

    Raises
    ------
    FileNotFoundError, IsADirectoryError, PermissionError, OSError
        The file cannot be opened; ``errno`` and ``filename`` are set.
    ValueError
        The file cannot be decoded (not one of the formats above, damaged, cut short, too many
        pixels) or is no regular file (a FIFO, a device): the message names the file and the
        reason. Or a bad argument, as for `segment`.
    TypeError
        An argument of the wrong type.
    """
    count = _count(count)
    weight = _weight(weight)
    connectivity = _connectivity(connectivity)
    channel_order = _choice(channel_order, "channel_order", ("rgb", "bgr"))
    return_colours = _flag(return_colours, "return_colours")
    threads = _threads(threads)
    pool = _pool(pool)
    if mask is not None:
        mask = _mask(mask)
    name, encoded = _path(path)
    pixels = _read(_core.read_image, name, encoded)
    if mask is not None:
        _require_shape(mask, "mask", pixels.shape[:2], "the image file")
    return _core.segment(
        pixels, True, count, weight, connectivity, mask, return_colours, channel_order == "rgb", threads,
        pool,
    )


def boundary_image(image, labels, *, colour=(0, 0, 0)):
    """The image with its superpixel borders drawn.

    A pixel becomes a border pixel when its left, upper or upper-left neighbour has another label,
    so borders are one pixel wide; the top row and the left column are always border pixels (a
    mask's edge too, labels being -1 outside). Every other pixel keeps its colour. Channels are
    copied as they are: the result has the channel order of `image`, and with the default black
    borders it is the tool's ``_KVR.png`` of a BGR image.

    Parameters
    ----------
    image : (H, W[, C]) array_like
        As for `segment` (any dtype it takes, converted to 8 bits the same way).
    labels : (H, W) array_like of integers
        Such as `segment` returns, or any other label map.
    colour : sequence of 3 ints, optional
        Border colour, 0 to 255 each, in the channel order of `image`.

    Returns
    -------
    (H, W, 3) ndarray of uint8
    """
    pixels = _pixels(image)
    ids = _labels(labels)
    _require_shape(ids, "labels", pixels.shape[:2], "the image")
    try:
        paint = tuple(operator.index(c) for c in colour)
    except TypeError:
        raise TypeError("colour must be a sequence of 3 integers") from None
    if len(paint) != 3 or not all(0 <= c <= 255 for c in paint):
        raise ValueError("colour must be 3 integers from 0 to 255")
    return _core.boundary_image(pixels, ids, None if paint == (0, 0, 0) else paint)


def partition_image(labels, colours=None, *, channel_order="rgb"):
    """Every superpixel painted in one colour; black outside a mask (label -1).

    Parameters
    ----------
    labels : (H, W) array_like of integers
        -1 or more, such as `segment` returns.
    colours : (n, 3) array_like of uint8, optional
        One row per label (n above the largest label), painted as it is. Pass the colours from
        ``segment(..., return_colours=True)`` to get the tool's ``_partition.png`` (in the channel
        order asked of `segment`). Without it, label j gets the display colour of the j-th grid
        block: a fixed palette of 21 levels per channel, which also suits labels from other
        programs.
    channel_order : {"rgb", "bgr"}, optional
        Channel order of the default palette; ignored when `colours` are given.

    Returns
    -------
    (H, W, 3) ndarray of uint8
    """
    channel_order = _choice(channel_order, "channel_order", ("rgb", "bgr"))
    ids = _labels(labels)
    if colours is None:
        highest = int(ids.max())
        if highest >= ids.size:
            raise ValueError(
                f"labels go up to {highest}; the default palette serves labels below the pixel "
                f"count ({ids.size}): pass colours"
            )
        table = _core.display_colours(max(highest + 1, 0), channel_order == "rgb")
    else:
        table = _array(colours, "colours")
        if table.dtype != np.uint8:
            raise TypeError(f"colours must have dtype uint8, got {table.dtype}")
        if table.ndim != 2 or table.shape[1] != 3:
            raise ValueError(f"colours must have shape (n, 3), got {table.shape}")
        table = np.ascontiguousarray(table)
    return _core.partition_image(ids, table)


def regions(labels, image=None, *, channel_order="rgb"):
    """One row of figures per superpixel: the columns of the tool's ``NAME_regions.csv``.

    x is the column and y the row of a pixel. Computed in double precision in one pass over the
    pixels; labels of -1 (outside a mask) are left out. ``pandas.DataFrame(regions(...))`` makes
    the table.

    Parameters
    ----------
    labels : (H, W) array_like of integers
        Such as `segment` returns, or any other label map.
    image : (H, W[, C]) array_like, optional
        The segmented image, as for `segment`: gives the colour columns.
    channel_order : {"rgb", "bgr"}, optional
        Order of the image's channels; ``mean_red`` is the mean of the red channel either way.

    Returns
    -------
    dict of str to (n,) ndarray
        One entry per column, rows in ascending order of label:

        - ``label`` (int32), ``pixels`` (int64)
        - ``centroid_x``, ``centroid_y``: mean position
        - ``left``, ``top``, ``width``, ``height`` (int32): bounding box, inclusive
          (width = right - left + 1)
        - ``mean_red``, ``mean_green``, ``mean_blue``: mean of the 8-bit image (with an image)
        - ``mean_l``, ``mean_a``, ``mean_b``: mean of OpenCV's 8-bit Lab (L scaled to 0..255, a
          and b offset by 128), as the engine sees the image (with an image)
        - ``cov_xx``, ``cov_xy``, ``cov_yy``: covariance of the position
        - ``cov_ll``, ``cov_la``, ``cov_lb``, ``cov_aa``, ``cov_ab``, ``cov_bb``: covariance of
          the Lab values (with an image)

        Covariances divide by the pixel count. The columns come in that order, the colour ones
        only with an image.
    """
    channel_order = _choice(channel_order, "channel_order", ("rgb", "bgr"))
    ids = _labels(labels)
    pixels = None
    if image is not None:
        pixels = _pixels(image)
        _require_shape(pixels, "image", ids.shape, "the labels")
    is_bgr = channel_order == "bgr" or (image is not None and _is_grey(image))
    return _core.regions(ids, pixels, is_bgr)


def adjacency(labels):
    """Which superpixels touch: the tool's ``NAME_adjacency.csv``.

    Two superpixels touch when a pixel of one is the left, right, upper or lower neighbour of a
    pixel of the other; -1 (outside a mask) touches nothing.

    Parameters
    ----------
    labels : (H, W) array_like of integers
        Such as `segment` returns, or any other label map.

    Returns
    -------
    (E, 3) ndarray of int64
        One row ``label_a, label_b, shared_edges`` per touching pair, ``label_a < label_b``,
        sorted by ``label_a`` then ``label_b``; ``shared_edges`` counts the horizontal and vertical
        pixel pairs, one pixel in each, along which they touch. Columns 0 and 1 are the edges of
        the region adjacency graph, column 2 a weight.
    """
    return _core.adjacency(_labels(labels))


def evaluate(labels, ground_truth, image=None, *, tolerance=None, window="disk"):
    """Score a segmentation against human annotations, as ``superpixels-eval`` does.

    The same code as the command computes every number, so the labels of any method can be
    scored from numpy and set beside the command's tables.

    Parameters
    ----------
    labels : (H, W) array_like of integers
        The superpixels: any label values (-1 counts as one more label).
    ground_truth : (H, W) array_like of integers, or a sequence of them
        One annotation, or several (a list, or a (K, H, W) array): recall, precision, UE and ASA
        are averaged over them, as the command does.
    image : (H, W[, C]) array_like, optional
        The photo, as for `segment` (RGB order): gives the explained variation.
    tolerance : int, optional
        Distance in pixels within which boundary pixels match, 0 or more. Default: for the disk
        ceil(0.0025 x diagonal), for the square round(0.0025 x diagonal).
    window : {"disk", "square"}, optional
        "disk": boundary pixels are those whose right or lower neighbour differs, and match
        within Euclidean distance `tolerance`. "square": the definition of the superpixel
        benchmark of Stutz et al. (CVIU 2018), boundary pixels on both sides of an edge matched
        within a (2 tolerance + 1)-pixel square; with the default tolerance, numbers comparable to
        published ones.

    Returns
    -------
    dict
        ``boundary_recall``, ``boundary_precision``, ``undersegmentation_error`` (corrected
        form), ``achievable_segmentation_accuracy``, ``explained_variation`` (only with an image),
        ``compactness`` (floats); ``superpixels`` (distinct labels) and ``not_connected``
        (superpixels not one 8-connected piece) (ints).
    """
    window = _choice(window, "window", ("disk", "square"))
    if tolerance is None:
        radius = -1
    else:
        if isinstance(tolerance, (bool, np.bool_)) or not hasattr(type(tolerance), "__index__"):
            raise TypeError(f"tolerance must be an integer or None, got {_type_name(tolerance)}")
        radius = operator.index(tolerance)
        if not 0 <= radius <= _core.max_tolerance:
            raise ValueError(
                f"tolerance is {_short(radius)}, must be from 0 to {_core.max_tolerance}"
            )
    ids = _labels(labels)
    if isinstance(ground_truth, (list, tuple)):
        annotations = list(ground_truth)
    else:
        stack = _array(ground_truth, "ground_truth")
        annotations = list(stack) if stack.ndim == 3 else [stack]
    if not annotations:
        raise ValueError("ground_truth holds no annotation")
    truths = []
    for k, annotation in enumerate(annotations):
        name = "ground_truth" if len(annotations) == 1 else f"ground_truth[{k}]"
        truth = _labels(annotation, name)
        _require_shape(truth, name, ids.shape, "the labels")
        truths.append(truth)
    pixels = None
    if image is not None:
        pixels = _pixels(image)
        _require_shape(pixels, "image", ids.shape, "the labels")
    is_bgr = image is None or _is_grey(image)
    return _core.evaluate(ids, truths, pixels, is_bgr, radius, window == "square")


_FILE_OPTIONS = ("mask", "connectivity", "return_colours", "channel_order", "threads", "pool")


def segment_files(paths, count=200, weight=0.5, *, jobs=0, errors="raise", **options):
    """Segment many image files side by side: an iterator of their labels, in the order of `paths`.

    Each file is read and segmented as `segment_file` does, on `jobs` threads at once that run
    without the GIL, so the images keep every core busy while the loop over the results runs. At
    most `jobs` images are in memory (being read or segmented) at a time, and at most `jobs`
    finished label arrays wait for the caller ahead of the one it waits for; a file is started
    only as the caller takes a result, so the memory stays bounded however many files there are,
    and `paths` may be a generator.

    Parameters
    ----------
    paths : iterable of str, bytes or os.PathLike
        The image files.
    count, weight
        As for `segment`, for every file.
    jobs : int, optional
        Images segmented at once: 0 (the default) for one per CPU the process may use, else 1 to
        4096.
    errors : {"raise", "return"}, optional
        A file that fails (cannot be opened or decoded, a mask of another size) raises its
        exception when its turn comes, which ends the iteration ("raise"); or its exception
        object takes the place of its labels and the files after it go on ("return").
    **options
        `mask`, `connectivity`, `return_colours`, `channel_order`, `threads`, `pool`: as for
        `segment_file`, the same for every file. `threads` (threads per image) defaults to the
        cores shared out among the jobs: 1 with one job per core.

    Returns
    -------
    iterator
        Of what `segment_file` returns for each path (or, with ``errors="return"``, the exception
        it raised). Closing it (or dropping it) stops starting new files and waits for those
        being segmented.

    Raises
    ------
    TypeError, ValueError
        A bad argument, at once; a file's failure when its turn comes, as for `segment_file`.
    """
    count = _count(count)
    weight = _weight(weight)
    workers = _core.threads_for(_threads(jobs, "jobs"))
    errors = _choice(errors, "errors", ("raise", "return"))
    for key in options:
        if key not in _FILE_OPTIONS:
            raise TypeError(f"segment_files() got an unexpected keyword argument {key!r}")
    if isinstance(paths, (str, bytes, os.PathLike)):
        raise TypeError("paths must be an iterable of paths, got a single path")
    # The checks segment_file makes again for every file, made once here so that a bad option is
    # told before any file is read; the mask is converted once.
    if options.get("mask") is not None:
        options["mask"] = _mask(options["mask"])
    _connectivity(options.get("connectivity", 8))
    _flag(options.get("return_colours", False), "return_colours")
    _choice(options.get("channel_order", "rgb"), "channel_order", ("rgb", "bgr"))
    options["threads"] = _threads(
        options.get("threads", max(1, _core.threads_for(0) // workers))
    )
    _pool(options.get("pool"))
    return _segmented_files(iter(paths), count, weight, workers, errors, options)


def _segmented_files(paths, count, weight, workers, errors, options):
    def one(path):
        return segment_file(path, count, weight, **options)

    executor = concurrent.futures.ThreadPoolExecutor(workers, thread_name_prefix="superpixels")
    running = collections.deque()
    try:
        # Twice as many files as threads in the queue: a thread that finishes a file before the
        # one the caller waits for goes on with the next instead of idling (two processes, each
        # with its half, never wait for each other); the executor still works on only `workers`
        # images at once, and the files ahead hold their labels alone.
        running.extend(executor.submit(one, path) for path in itertools.islice(paths, 2 * workers))
        while running:
            try:
                result = running.popleft().result()
            except Exception as error:  # noqa: BLE001 - handed on as asked
                if errors == "raise":
                    raise
                result = error
            # The next file starts now, while the caller works on this one.
            running.extend(executor.submit(one, path) for path in itertools.islice(paths, 1))
            yield result
    finally:
        for future in running:
            future.cancel()
        executor.shutdown(wait=True)


def read_labels(path):
    """Read one of the tool's label files (``NAME.txt``) as an (H, W) int32 array.

    The file holds one line per row, every label followed by a tab and every line ended by CR LF,
    which ``np.loadtxt`` and pandas read as an extra empty column; -1 marks pixels outside a mask.

    Parameters
    ----------
    path : str, bytes or os.PathLike
        The label file.

    Returns
    -------
    (H, W) ndarray of int32

    Raises
    ------
    FileNotFoundError, IsADirectoryError, PermissionError, OSError
        The file cannot be opened; ``errno`` and ``filename`` are set.
    ValueError
        The file is not such a label file (the message names the first line that is not).
    """
    name, encoded = _path(path)
    return _read(_core.read_labels, name, encoded)


def write_labels(path, labels):
    """Write labels as the tool's label file: what `read_labels` and ``superpixels-eval`` read.

    The file is replaced whole or not at all (written beside it, then renamed into place).

    Parameters
    ----------
    path : str, bytes or os.PathLike
        The label file to write.
    labels : (H, W) array_like of integers
        -1 (outside a mask) or more, up to the int32 maximum.

    Returns
    -------
    None

    Raises
    ------
    TypeError
        Labels of a dtype other than an integer one.
    ValueError
        Labels below -1 or above the int32 maximum, or not of shape (H, W).
    FileNotFoundError, OSError
        The file cannot be written (a missing folder, no permission, a full disk).
    """
    name, encoded = _path(path)
    ids = _labels(labels)
    if ids.min() < -1:
        raise ValueError(f"labels hold {int(ids.min())}: a label file holds -1 (outside a mask) or more")
    reason = _core.write_labels(encoded, ids)
    if reason:
        folder = os.path.dirname(os.fsdecode(name)) or "."
        if not os.path.isdir(folder):
            raise FileNotFoundError(errno.ENOENT, f"no folder {folder}: {reason}", name)
        raise OSError(f"{os.fsdecode(name)}: {reason}")
