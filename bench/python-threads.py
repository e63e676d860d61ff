#!/usr/bin/env python3
"""Wall time of 16 frames of 1920 x 1080 (16-bit RGBA) turned by
veldra.turn() on one thread and on four threads of a ThreadPoolExecutor.

    PYTHONPATH=build/native/python /usr/bin/python3 bench/python-threads.py [--repeat N]

Each timing is the best of N runs (default 3). Other work on the machine
takes cores from the threads, so the load average is printed beside it, and
the processor time the process used: processor time over wall time is the
cores the frames actually had. With C free cores, the four threads ideally
take max(1/4, 1/C) of one thread's time: 0.5 on two cores.
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

    start, start_cpu = time.perf_counter(), time.process_time()
    if threads == 1:
        results = [turn(frame) for frame in range(FRAMES)]
    else:
        with ThreadPoolExecutor(threads) as pool:
            results = list(pool.map(turn, range(FRAMES)))
    return time.perf_counter() - start, time.process_time() - start_cpu, results


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
            seconds, cpu, results = turn_all(pictures, threads)
            times.append((seconds, cpu))
            if threads == 1:
                reference = results
            else:
                assert all(a.tobytes() == b.tobytes() for a, b in zip(results, reference)), "threads changed bytes"
        seconds, cpu = best[threads] = min(times)
        print(f"{threads} thread{'s' if threads > 1 else ''}: best {seconds:.2f} s ({cpu / seconds:.1f} cores busy) "
              f"of {', '.join(f'{t:.2f}' for t, _ in times)}; load average {os.getloadavg()[0]:.2f}")
    cores = os.cpu_count()
    print(f"4 threads / 1 thread: {best[4][0] / best[1][0]:.2f} (ideal on {cores} free cores: "
          f"{max(0.25, 1 / cores):.2f})")


if __name__ == "__main__":
    main()
