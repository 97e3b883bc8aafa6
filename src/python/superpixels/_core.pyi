# Type stubs of the extension superpixels._core, private: use the functions of the package.

import numpy as np
import numpy.typing as npt

__version__: str
max_superpixel_count: int
max_threads: int
max_tolerance: int

_Bytes = npt.NDArray[np.uint8]
_Labels = npt.NDArray[np.int32]

def segment(
    image: _Bytes,
    is_bgr: bool,
    count: int,
    weight: float,
    connectivity: int,
    mask: _Bytes | None,
    return_colours: bool,
    rgb_colours: bool,
    threads: int,
    pool: ThreadPool | None,
) -> _Labels | tuple[_Labels, _Bytes]: ...

class ThreadPool:
    def __init__(self, threads: int) -> None: ...
    @property
    def threads(self) -> int: ...
    @property
    def closed(self) -> bool: ...
    def close(self) -> None: ...
def read_image(path: bytes) -> tuple[_Bytes | None, str, int]: ...
def read_labels(path: bytes) -> tuple[_Labels | None, str, int]: ...
def write_labels(path: bytes, labels: _Labels) -> str: ...
def threads_for(threads: int) -> int: ...
def boundary_image(
    image: _Bytes, labels: _Labels, colour: tuple[int, int, int] | None
) -> _Bytes: ...
def partition_image(labels: _Labels, colours: _Bytes) -> _Bytes: ...
def display_colours(count: int, rgb: bool) -> _Bytes: ...
def regions(labels: _Labels, image: _Bytes | None, is_bgr: bool) -> dict[str, np.ndarray]: ...
def adjacency(labels: _Labels) -> npt.NDArray[np.int64]: ...
def evaluate(
    labels: _Labels,
    ground_truths: list[_Labels],
    image: _Bytes | None,
    is_bgr: bool,
    tolerance: int,
    square: bool,
) -> dict[str, float | int]: ...
