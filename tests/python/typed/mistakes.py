"""Mistakes veldra's types catch: `mypy --strict` must report each line
marked `# mistake`, and no other (test_types.py)."""

import numpy as np
import numpy.typing as npt

import veldra

picture: npt.NDArray[np.uint8] = np.zeros((4, 6, 3), np.uint8)
params = veldra.Params(axis="y")

veldra.Params(axis="w")  # mistake
veldra.Params(pivot="middle")  # mistake
veldra.turn(picture, params, alpha="kep")  # mistake
veldra.turn(picture, "params")  # mistake
veldra.turn(picture, params, range=(1, 2, 3))  # mistake
veldra.turn([[0, 1]], params)  # mistake
wrong: npt.NDArray[np.uint16] = veldra.turn(picture, params)  # mistake
veldra.turn(picture.astype(np.int32), params)  # mistake
veldra.render("a.png", "b.png", depth="int12")  # mistake
veldra.render("a.png", "b.png", progress=lambda done: None)  # mistake
veldra.render(b"a.png", "b.png")  # mistake
count: int = veldra.render("a.png", "b.png")  # mistake
params.pivot = "middle"  # mistake
