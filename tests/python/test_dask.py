"""The Dask recipe (examples/dask_folder.py) on a local cluster of two worker processes: the arrays
it saves equal those of a plain loop, byte for byte."""

import shutil
import types

import numpy as np
import pytest

import superpixels
from support import EXAMPLES_DIR

distributed = pytest.importorskip("distributed", reason="Debian: python3-distributed")


def load_recipe():
    path = EXAMPLES_DIR / "dask_folder.py"
    recipe = types.ModuleType("dask_folder")
    exec(compile(path.read_text(), str(path), "exec"), recipe.__dict__)
    return recipe


def test_a_folder_on_two_worker_processes_equals_a_plain_loop(tmp_path):
    recipe = load_recipe()
    photos = tmp_path / "in"
    (photos / "sub").mkdir(parents=True)
    for index, photo in enumerate(sorted(EXAMPLES_DIR.glob("*.png"))):
        shutil.copy(photo, photos / ("sub" if index % 2 else ".") / photo.name)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster:
        with distributed.Client(cluster) as client:
            written = recipe.segment_folder(client, photos, tmp_path / "out", 150, 0.5)
    sources = recipe.photos(photos)
    assert len(written) == len(sources) >= 3
    for photo, saved in zip(sources, written):
        expected = tmp_path / "loop.npy"
        np.save(expected, superpixels.segment_file(photo, 150, 0.5))
        assert expected.read_bytes() == open(saved, "rb").read(), photo
    assert not list((tmp_path / "out").rglob(".*.tmp")), "no temporary left"
