"""Threads, long runs and Ctrl-C: the same bytes from any number of threads,
memory that stays flat, and an interrupted render that leaves only whole
frames."""

import os
import shutil
import signal
import threading
from concurrent.futures import ThreadPoolExecutor

import numpy as np
import pytest

import veldra
from conftest import coordinate_picture, read_pixels, write_pixels

PARAMS = veldra.Params(axis="x", pivot="lower", start=-40, end=70)


# Frames turned by four threads at once equal those turned one by one, and
# two renders at once (one module, a filter each) write what one alone does,
# which reports each frame's progress once.
def test_threads_give_the_same_bytes(in_tmp):
    pictures = [coordinate_picture(96, 64, 4, np.uint16, seed=f) for f in range(8)]
    one_by_one = [veldra.turn(p, PARAMS, frame=f, range=(0, 7), alpha="keep") for f, p in enumerate(pictures)]
    with ThreadPoolExecutor(4) as pool:
        together = list(pool.map(lambda f: veldra.turn(pictures[f], PARAMS, frame=f, range=(0, 7), alpha="keep"),
                                 range(8)))
    assert all(a.tobytes() == b.tobytes() for a, b in zip(one_by_one, together))

    for f, picture in enumerate(pictures):
        write_pixels(f"in.{f:04d}.png", picture)
    progress = []
    veldra.render("in.####.png", "alone.####.png", params=PARAMS, alpha="keep", jobs=3,
                  progress=lambda done, total: progress.append((done, total)))
    assert progress == [(done, 8) for done in range(1, 9)]
    with ThreadPoolExecutor(2) as pool:
        runs = [pool.submit(veldra.render, "in.####.png", f"run{n}.####.png", params=PARAMS, alpha="keep", jobs=2)
                for n in range(2)]
        assert [len(run.result()) for run in runs] == [8, 8]
    for f in range(8):
        alone = (in_tmp / f"alone.{f:04d}.png").read_bytes()
        assert (in_tmp / f"run0.{f:04d}.png").read_bytes() == alone == (in_tmp / f"run1.{f:04d}.png").read_bytes()


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


# A thousand turns, a thousand refused calls and a hundred renders leave
# resident memory where it was: a frame kept per call would add 100 MB.
@pytest.mark.skipif("VELDRA_SANITIZED" in os.environ, reason="the sanitizer keeps freed memory in quarantine")
def test_many_calls_leave_memory_flat(in_tmp):
    picture = coordinate_picture(128, 96, 4, np.uint16)
    write_pixels("in.png", picture)

    def calls(count):
        for frame in range(count):
            veldra.turn(picture, PARAMS, frame=frame % 10, range=(0, 9), alpha="keep")
            with pytest.raises(ValueError):
                veldra.turn(picture, PARAMS, frame=11, range=(0, 9))
        for frame in range(count // 10):
            veldra.render("in.png", "out.png", frames=frame % 10, range=(0, 9), params=PARAMS, alpha="keep")

    calls(100)
    before = resident_bytes()
    calls(1000)
    assert resident_bytes() - before < 8 << 20


# Ctrl-C while frames render (no Python code running) starts no new frame,
# lets the frame in flight finish, and raises KeyboardInterrupt saying how
# far the run got; the output folder holds whole frames and nothing else.
def test_ctrl_c_leaves_only_whole_frames(in_tmp):
    count = 60
    write_pixels("in.0000.png", coordinate_picture(320, 240, 3, np.uint16))
    for f in range(1, count):
        shutil.copy("in.0000.png", f"in.{f:04d}.png")
    os.mkdir("out")

    def interrupt_after_two(done, total):
        if done == 2:
            threading.Thread(target=os.kill, args=(os.getpid(), signal.SIGINT)).start()

    with pytest.raises(KeyboardInterrupt) as raised:
        veldra.render("in.####.png", "out/f.####.png", params=PARAMS, jobs=1, progress=interrupt_after_two)
    assert "frames written" in "".join(getattr(raised.value, "__notes__", []))
    names = sorted(os.listdir("out"))
    assert 2 <= len(names) < count
    assert names == [f"f.{f:04d}.png" for f in range(len(names))]
    for name in names:
        assert read_pixels(f"out/{name}").shape == (240, 320, 4)  # RGB in, alpha where the turn left none
