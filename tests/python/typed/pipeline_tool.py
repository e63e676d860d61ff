"""A small pipeline tool written against veldra's types: `mypy --strict`
must find nothing wrong in it (test_types.py)."""

from concurrent.futures import ThreadPoolExecutor
from pathlib import Path
from typing import Optional

import numpy as np
import numpy.typing as npt

import veldra


def turn_shot(frames: list[npt.NDArray[np.uint16]], params: veldra.Params) -> list[npt.NDArray[np.uint16]]:
    """Every frame of a shot, turned in parallel across the shot's range."""
    last = len(frames) - 1

    def one(frame: int) -> npt.NDArray[np.uint16]:
        return veldra.turn(frames[frame], params, frame=frame, range=(0, last))

    with ThreadPoolExecutor() as pool:
        return list(pool.map(one, range(len(frames))))


def matte(grey: npt.NDArray[np.float32], params: veldra.Params) -> npt.NDArray[np.float32]:
    return veldra.turn(grey, params, alpha="keep", premultiplied=True)


def report(done: int, total: int) -> None:
    print(f"{done}/{total}")


def render_shot(folder: Path, blk: Optional[Path]) -> list[str]:
    params: veldra.Params | Path = blk if blk else veldra.Params(axis="y", pivot="upper", start=0, end=90)
    return veldra.render(folder / "shot.####.exr", "out/shot.####.exr", frames=range(1, 101, 2), range="1-100",
                         params=params, depth="half", jobs=4, progress=report)


def describe() -> str:
    info = veldra.module_info()
    first, second = info["identifier"]
    return f"{info['filter_name']} {info['version']} {first:08X}{second:08X} (veldra {veldra.__version__})"


def store(path: Path) -> bytes:
    params = veldra.Params.load(path)
    params.axis = "z"
    params.pivot = "centre"
    params.end = params.start + 45.0
    params.save(path)
    return bytes(veldra.Params.from_bytes(bytes(params)))
