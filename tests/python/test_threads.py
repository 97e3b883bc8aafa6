"""Several threads segmenting different images at once get what one thread gets."""

from concurrent.futures import ThreadPoolExecutor

import numpy as np

import superpixels
from support import assert_same, count_and_weight, png_golden_cases, read_rgb


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
