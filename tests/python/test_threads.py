"""Several threads segmenting different images at once get what one thread gets, and segmenting
leaves the GIL to other threads."""

import os
import signal
import sys
import threading
import time
from concurrent.futures import ThreadPoolExecutor

import numpy as np
import pytest

import superpixels
from support import EXAMPLES_DIR, assert_same, count_and_weight, png_golden_cases, read_rgb


def test_concurrent_calls_equal_sequential_ones():
    jobs = []
    for case in png_golden_cases():
        count, weight = count_and_weight(case)
        jobs.append((case.name, read_rgb(case / "input.png"), count, weight))

    def run(job):
        _, image, count, weight = job
        labels, colours = superpixels.segment(image, count, weight, return_colours=True)
        return (
            labels,
            superpixels.boundary_image(image, labels),
            superpixels.partition_image(labels, colours),
        )

    sequential = [run(job) for job in jobs]
    # Every image three times over, the copies interleaved so that different images run side by
    # side on the four threads.
    with ThreadPoolExecutor(max_workers=4) as pool:
        concurrent = list(pool.map(run, jobs * 3))
    for i, outputs in enumerate(concurrent):
        name = jobs[i % len(jobs)][0]
        kinds = ("labels", "boundary", "partition")
        for expected, actual, kind in zip(sequential[i % len(jobs)], outputs, kinds):
            assert_same(expected, actual, f"{name} {kind}")


@pytest.mark.parametrize("jobs", [1, 2, 0])
def test_batches_of_files_give_the_labels_of_one_file_at_a_time(jobs, tmp_path):
    cases = png_golden_cases()
    paths = [case / "input.png" for case in cases] * 2
    paths.insert(1, tmp_path / "absent.png")
    (tmp_path / "broken.png").write_bytes(b"\x89PNG\r\n\x1a\n")
    paths.insert(3, tmp_path / "broken.png")
    expected = [superpixels.segment_file(path, 30, 0.5, threads=1) for path in paths[:1]]
    returned = list(superpixels.segment_files(iter(paths), 30, jobs=jobs, errors="return"))
    assert len(returned) == len(paths)
    for path, result in zip(paths, returned):
        if path.parent == tmp_path:
            error = FileNotFoundError if path.name == "absent.png" else ValueError
            assert isinstance(result, error), (path, result)
        else:
            assert_same(superpixels.segment_file(path, 30, 0.5, threads=1), result, str(path))
    # Raised in its turn: the files before it come first.
    batch = superpixels.segment_files(paths, 30, jobs=jobs)
    assert_same(expected[0], next(batch), str(paths[0]))
    with pytest.raises(FileNotFoundError):
        next(batch)
    # Options apply to every file.
    labels, colours = next(
        superpixels.segment_files(paths[:1], 30, jobs=jobs, return_colours=True, connectivity=4)
    )
    assert_same(superpixels.segment_file(paths[0], 30, connectivity=4), labels, "options")


def test_segmenting_leaves_the_gil_to_other_threads():
    # While another thread segments a photo (a few hundred milliseconds), this one keeps running
    # Python. Were the GIL held, this thread would stand still for about the whole call.
    photo = np.tile(read_rgb(EXAMPLES_DIR / "chelsea.png"), (2, 2, 1))
    for what, work in (
        ("segment", lambda: superpixels.segment(photo, 300, 0.5)),
        ("segment_file", lambda: superpixels.segment_file(EXAMPLES_DIR / "astronaut.png", 300)),
    ):
        done = threading.Event()

        def run(work=work):
            work()
            done.set()

        worker = threading.Thread(target=run)
        start = last = time.perf_counter()
        longest_pause = 0.0
        worker.start()
        while not done.is_set():
            now = time.perf_counter()
            longest_pause = max(longest_pause, now - last)
            last = now
        worker.join()
        assert longest_pause < (time.perf_counter() - start) / 2, what


def test_threads_inside_one_image_change_nothing():
    image = read_rgb(EXAMPLES_DIR / "chelsea.png")
    mask = np.zeros(image.shape[:2], bool)
    mask[40:260, 60:400] = True
    for options in ({"count": 200}, {"count": 900, "connectivity": 4}, {"count": 80, "mask": mask}):
        one = superpixels.segment(image, threads=1, **options)
        for threads in (0, 2, 3):
            assert_same(one, superpixels.segment(image, threads=threads, **options), f"{threads}")


def test_bad_thread_counts():
    image = np.zeros((8, 8, 3), np.uint8)
    # 4096 is the library's cap, the same as the tool's --threads.
    for bad, error in (
        (-1, ValueError),
        (4097, ValueError),
        (1.5, TypeError),
        (True, TypeError),
        ("2", TypeError),
    ):
        try:
            superpixels.segment(image, threads=bad)
        except error as e:
            assert "threads" in str(e)
        else:
            raise AssertionError(f"threads={bad!r} was accepted")


def test_ctrl_c_ends_a_long_call_and_the_module_works_afterwards():
    # Seconds of work on one thread. SIGINT is sent once the extension has been entered (the
    # profiler's c_call event); the call must end by raising, not return and leave the interrupt
    # to the next line.
    image = np.random.default_rng(5).integers(0, 256, (2000, 2000, 3), np.uint8)
    entered = threading.Event()
    ends = []

    def profile(frame, event, arg):
        if arg is superpixels._core.segment:
            if event == "c_call":
                entered.set()
            else:
                ends.append(event)

    def interrupt():
        entered.wait()
        os.kill(os.getpid(), signal.SIGINT)

    sender = threading.Thread(target=interrupt)
    sender.start()
    sys.setprofile(profile)
    try:
        with pytest.raises(KeyboardInterrupt):
            superpixels.segment(image, 3000, threads=1)
    finally:
        sys.setprofile(None)
        sender.join()
    assert ends == ["c_exception"], "the call ran to its end"
    small = image[:40, :60]
    one, two = (superpixels.segment(small, 12, threads=n) for n in (1, 2))
    assert_same(one, two, "after the interrupted call")


def test_calls_on_a_pool_of_ones_own_give_the_same_labels():
    image = read_rgb(EXAMPLES_DIR / "chelsea.png")[:120, :160]
    one = superpixels.segment(image, 60, threads=1)
    path = EXAMPLES_DIR / "astronaut.png"
    one_file = superpixels.segment_file(path, 60, threads=1)
    with superpixels.ThreadPool(3) as pool:
        assert pool.threads in (1, 2, 3)  # 3 unless the system had no threads to give
        with ThreadPoolExecutor(max_workers=2) as callers:
            side_by_side = list(
                callers.map(lambda t: superpixels.segment(image, 60, threads=t, pool=pool), (0, 2))
            )
        for labels in side_by_side:
            assert_same(one, labels, "on the pool")
        assert_same(one_file, superpixels.segment_file(path, 60, pool=pool), "a file on the pool")
    assert pool.closed and pool.threads == 0
    for bad, error in ((pool, ValueError), (3, TypeError)):
        with pytest.raises(error, match="pool"):
            superpixels.segment(image, pool=bad)
    with pytest.raises(ValueError, match="threads"):
        superpixels.ThreadPool(-1)
