"""Segment a folder of photos on a Dask cluster, one image per task, each label array saved as .npy.

    python3 examples/dask_folder.py INPUT OUTPUT [COUNT [WEIGHT [SCHEDULER]]]

INPUT is searched for PNG, JPEG, TIFF, BMP, PNM and WebP files (sub-folders included); the labels of
INPUT/sub/name.ext go to OUTPUT/sub/name.npy (int32, -1 outside a mask), written whole or not at
all. COUNT defaults to 200, WEIGHT to 0.5. SCHEDULER is the address of a running
`dask.distributed` scheduler (tcp://host:8786); without it, a local cluster of one worker process
per core is started. The workers must see INPUT and OUTPUT at the same paths (a shared file
system) and have `superpixels` installed. The arrays equal those of a plain loop of
`superpixels.segment_file(path, COUNT, WEIGHT)`, byte for byte: results never depend on the
machine, the worker or the number of threads.
"""

import os
import pathlib
import sys
import tempfile

import numpy as np

SUFFIXES = {".png", ".jpg", ".jpeg", ".tif", ".tiff", ".bmp", ".pbm", ".pgm", ".ppm", ".pnm",
            ".webp"}


def photos(folder):
    """The image files under `folder`, in name order."""
    root = pathlib.Path(folder)
    return sorted(p for p in root.rglob("*") if p.is_file() and p.suffix.lower() in SUFFIXES)


def segment_to_npy(photo, target, count, weight):
    """Runs on a worker: segments `photo` and saves its labels at `target`, through a temporary file
    renamed into place, so that a task killed midway leaves no half-written array."""
    import superpixels

    # One thread per task: the cluster runs tasks side by side on its cores already.
    labels = superpixels.segment_file(photo, count, weight, threads=1)
    target = pathlib.Path(target)
    target.parent.mkdir(parents=True, exist_ok=True)
    with tempfile.NamedTemporaryFile(dir=target.parent, prefix="." + target.name, suffix=".tmp",
                                     delete=False) as temporary:
        np.save(temporary, labels)
    os.replace(temporary.name, target)
    return str(target)


def segment_folder(client, input_folder, output_folder, count=200, weight=0.5):
    """Segments every photo under `input_folder` on the cluster of `client`; returns the .npy paths
    written, in the order of the photos. A task that fails raises its error here."""
    sources = photos(input_folder)
    targets = [pathlib.Path(output_folder) / p.relative_to(input_folder).with_suffix(".npy")
               for p in sources]
    futures = client.map(segment_to_npy, [str(p) for p in sources], [str(t) for t in targets],
                         count=count, weight=weight, pure=False)
    return client.gather(futures)


def main(argv):
    if len(argv) < 3:
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    from dask.distributed import Client, LocalCluster

    count = int(argv[3]) if len(argv) > 3 else 200
    weight = float(argv[4]) if len(argv) > 4 else 0.5
    if len(argv) > 5:
        client = Client(argv[5])
    else:
        client = Client(LocalCluster(threads_per_worker=1, processes=True))
    with client:
        written = segment_folder(client, argv[1], argv[2], count, weight)
    print(f"{len(written)} label arrays in {argv[2]}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
