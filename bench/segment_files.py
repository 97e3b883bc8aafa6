"""segment_files(jobs=2) against a plain loop of segment_file(threads=1) and against two
independent processes that each segment half of the photos with such a loop.

    PYTHONPATH=build/python /usr/bin/python3 bench/segment_files.py [FOLDER COUNT ROUNDS]

Defaults: ../shared/data/bsds500-val/images (100 photos), count 200, 5 rounds. A round runs the
three ways one after another, in an order that turns from round to round, so that drift in the
machine's load touches each alike. The processes are started and import the package before the
clock starts: a release byte on their standard input starts both at once, and the time ends when
the later one has written back. Prints each round in images per second and the medians, with the
ratios segment_files / two processes (the target: at least 0.9) and segment_files / loop.
"""

import pathlib
import statistics
import subprocess
import sys
import time

import superpixels

HERE = pathlib.Path(__file__).resolve().parent

# One of the two processes: imports, says it is ready, waits for the release byte, segments its
# paths (one per line of argv[2]) and writes back when done.
CHILD = """
import sys
import superpixels
paths = sys.argv[2].split("\\n")
count = int(sys.argv[1])
print("ready", flush=True)
sys.stdin.read(1)
for path in paths:
    superpixels.segment_file(path, count, 0.5, threads=1)
print("done", flush=True)
"""


def loop(paths, count):
    start = time.perf_counter()
    for path in paths:
        superpixels.segment_file(path, count, 0.5, threads=1)
    return time.perf_counter() - start


def batch(paths, count):
    start = time.perf_counter()
    for _ in superpixels.segment_files(paths, count, 0.5, jobs=2):
        pass
    return time.perf_counter() - start


def two_processes(paths, count):
    halves = (paths[0::2], paths[1::2])
    children = [
        subprocess.Popen(
            [sys.executable, "-c", CHILD, str(count), "\n".join(map(str, half))],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
        )
        for half in halves
    ]
    for child in children:
        assert child.stdout.readline().strip() == "ready"
    start = time.perf_counter()
    for child in children:
        child.stdin.write("x")
        child.stdin.flush()
    for child in children:
        assert child.stdout.readline().strip() == "done"
    elapsed = time.perf_counter() - start
    for child in children:
        child.stdin.close()
        child.wait()
    return elapsed


def main():
    default = HERE.parent.parent / "shared" / "data" / "bsds500-val" / "images"
    folder = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else default
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 200
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    paths = sorted(p for p in folder.iterdir() if p.suffix.lower() in (".jpg", ".png"))
    for path, labels in zip(paths[:4], superpixels.segment_files(paths[:4], count, 0.5, jobs=2)):
        assert (labels == superpixels.segment_file(path, count, 0.5, threads=1)).all(), path
    ways = {"loop": loop, "segment_files": batch, "two processes": two_processes}
    rates = {name: [] for name in ways}
    against_processes, against_loop = [], []
    names = list(ways)
    for r in range(rounds):
        order = names[r % 3:] + names[:r % 3]
        for name in order:
            rates[name].append(len(paths) / ways[name](paths, count))
        against_processes.append(rates["segment_files"][-1] / rates["two processes"][-1])
        against_loop.append(rates["segment_files"][-1] / rates["loop"][-1])
        shown = ", ".join(f"{name} {rates[name][-1]:.2f}" for name in names)
        print(f"round {r + 1} ({' / '.join(order)}): {shown} images/s; "
              f"segment_files / two processes {against_processes[-1]:.3f}, "
              f"/ loop {against_loop[-1]:.3f}", flush=True)
    print(f"{len(paths)} images of {folder}, count {count}, {rounds} rounds, medians:")
    for name in names:
        print(f"  {name}: {statistics.median(rates[name]):.2f} images/s")
    print(f"  segment_files / two processes: {statistics.median(against_processes):.3f}")
    print(f"  segment_files / loop: {statistics.median(against_loop):.3f}")


if __name__ == "__main__":
    main()
