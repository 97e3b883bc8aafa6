# Type stubs of the package superpixels: the signatures of superpixels/__init__.py.

import os
from typing import Any, Iterable, Iterator, Literal, Sequence, overload

import numpy as np
import numpy.typing as npt

__version__: str
__all__: list[str]

_Path = str | bytes | os.PathLike[str] | os.PathLike[bytes]
_Labels = npt.NDArray[np.int32]
_Colours = npt.NDArray[np.uint8]
_Order = Literal["rgb", "bgr"]
_Uint16 = Literal["high_byte", "full_range"]

class ThreadPool:
    def __init__(self, threads: int = 0) -> None: ...
    @property
    def threads(self) -> int: ...
    @property
    def closed(self) -> bool: ...
    def close(self) -> None: ...
    def __enter__(self) -> ThreadPool: ...
    def __exit__(self, *exc_info: object) -> None: ...

@overload
def segment(
    image: npt.ArrayLike,
    count: int = 200,
    weight: float = 0.5,
    *,
    mask: npt.ArrayLike | None = None,
    connectivity: Literal[4, 8] = 8,
    channel_order: _Order = "rgb",
    return_colours: Literal[False] = False,
    threads: int = 0,
    pool: ThreadPool | None = None,
    uint16: _Uint16 = "high_byte",
) -> _Labels: ...
@overload
def segment(
    image: npt.ArrayLike,
    count: int = 200,
    weight: float = 0.5,
    *,
    mask: npt.ArrayLike | None = None,
    connectivity: Literal[4, 8] = 8,
    channel_order: _Order = "rgb",
    return_colours: Literal[True],
    threads: int = 0,
    pool: ThreadPool | None = None,
    uint16: _Uint16 = "high_byte",
) -> tuple[_Labels, _Colours]: ...
@overload
def segment_file(
    path: _Path,
    count: int = 200,
    weight: float = 0.5,
    *,
    mask: npt.ArrayLike | None = None,
    connectivity: Literal[4, 8] = 8,
    return_colours: Literal[False] = False,
    channel_order: _Order = "rgb",
    threads: int = 0,
    pool: ThreadPool | None = None,
) -> _Labels: ...
@overload
def segment_file(
    path: _Path,
    count: int = 200,
    weight: float = 0.5,
    *,
    mask: npt.ArrayLike | None = None,
    connectivity: Literal[4, 8] = 8,
    return_colours: Literal[True],
    channel_order: _Order = "rgb",
    threads: int = 0,
    pool: ThreadPool | None = None,
) -> tuple[_Labels, _Colours]: ...
def segment_files(
    paths: Iterable[_Path],
    count: int = 200,
    weight: float = 0.5,
    *,
    jobs: int = 0,
    errors: Literal["raise", "return"] = "raise",
    **options: Any,
) -> Iterator[Any]: ...
def read_labels(path: _Path) -> _Labels: ...
def write_labels(path: _Path, labels: npt.ArrayLike) -> None: ...
def boundary_image(
    image: npt.ArrayLike,
    labels: npt.ArrayLike,
    *,
    colour: Sequence[int] = (0, 0, 0),
) -> npt.NDArray[np.uint8]: ...
def partition_image(
    labels: npt.ArrayLike,
    colours: npt.ArrayLike | None = None,
    *,
    channel_order: _Order = "rgb",
) -> npt.NDArray[np.uint8]: ...
def regions(
    labels: npt.ArrayLike,
    image: npt.ArrayLike | None = None,
    *,
    channel_order: _Order = "rgb",
) -> dict[str, npt.NDArray[np.int32] | npt.NDArray[np.int64] | npt.NDArray[np.float64]]: ...
def adjacency(labels: npt.ArrayLike) -> npt.NDArray[np.int64]: ...
def evaluate(
    labels: npt.ArrayLike,
    ground_truth: npt.ArrayLike | Sequence[npt.ArrayLike],
    image: npt.ArrayLike | None = None,
    *,
    tolerance: int | None = None,
    window: Literal["disk", "square"] = "disk",
) -> dict[str, float | int]: ...
