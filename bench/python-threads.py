#!/usr/bin/env python3
"""Wall time of 16 frames of 1920 x 1080 (16-bit RGBA) turned by
veldra.turn() on one thread and on four threads of a ThreadPoolExecutor.

    PYTHONPATH=build/native/python /usr/bin/python3 bench/python-threads.py [--repeat N]

Each timing is the best of N runs (default 3); the load average is printed
beside it, as other work on the machine slows the threads down. With C
cores and at least four frames in flight, the four threads ideally take
max(1/4, 1/C) of one thread's time: 0.5 on two cores.
"""

import argparse
import os
import time
from concurrent.futures import ThreadPoolExecutor

import numpy as np

import veldra

FRAMES = 16
PARAMS = veldra.Params(axis="y", pivot="center", start=0, end=90)


def turn_all(pictures, threads):
    def turn(frame):
        return veldra.turn(pictures[frame], PARAMS, frame=frame, range=(0, FRAMES - 1))

    start = time.perf_counter()
    if threads == 1:
        results = [turn(frame) for frame in range(FRAMES)]
    else:
        with ThreadPoolExecutor(threads) as pool:
            results = list(pool.map(turn, range(FRAMES)))
    return time.perf_counter() - start, results


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--repeat", type=int, default=3)
    repeat = parser.parse_args().repeat
    rng = np.random.default_rng(0)
    pictures = [rng.integers(0, 65536, (1080, 1920, 4), dtype=np.uint16) for _ in range(FRAMES)]
    for picture in pictures:
        picture[..., 3] = 65535

    turn_all(pictures, 1)  # the module loaded, the caches warm
    best = {}
    for threads in (1, 4):
        times = []
        for _ in range(repeat):
            seconds, results = turn_all(pictures, threads)
            times.append(seconds)
            if threads == 1:
                reference = results
            else:
                assert all(a.tobytes() == b.tobytes() for a, b in zip(results, reference)), "threads changed bytes"
        best[threads] = min(times)
        print(f"{threads} thread{'s' if threads > 1 else ''}: best {best[threads]:.2f} s of "
              f"{', '.join(f'{t:.2f}' for t in times)}; load average {os.getloadavg()[0]:.2f}")
    cores = os.cpu_count()
    print(f"4 threads / 1 thread: {best[4] / best[1]:.2f} (ideal on {cores} cores: {max(0.25, 1 / cores):.2f})")


if __name__ == "__main__":
    main()
