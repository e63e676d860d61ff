"""The Python page's example runs as written, and writes what the command
writes."""

import os
import re
import shutil

import numpy as np

from conftest import coordinate_picture, read_pixels, run_veldra, write_pixels

PAGE = os.path.join(os.path.dirname(__file__), "../../docs/python.md")


def test_the_example_runs_and_equals_the_command(in_tmp, capsys):
    with open(PAGE) as page:
        text = page.read()
    found = re.search(r"```python[^\n]*\n(.*?)```", text, re.S)
    # Blank lines before the example, so that its warnings and errors name
    # the page's own lines.
    example = "\n" * text.count("\n", 0, found.start(1)) + found.group(1)
    write_pixels("shot.0001.png", coordinate_picture(40, 30, 4, np.uint16))
    for frame in range(2, 25):
        shutil.copy("shot.0001.png", f"shot.{frame:04d}.png")

    exec(compile(example, "docs/python.md", "exec"), {})

    assert "24 frames, the first out/shot.0001.png" in capsys.readouterr().out
    turn = ["-a", "y", "-p", "center", "-s", "0", "-e", "90"]
    run_veldra("render", "shot.0012.png", "cli.png", "-q", "--frame", "12", "--range", "1-24", *turn)
    assert read_pixels("turned.0012.png").tobytes() == read_pixels("cli.png").tobytes()
    os.mkdir("cli")
    run_veldra("render", "shot.####.png", "cli/shot.####.png", "-q", "--range", "1-24", *turn)
    for frame in range(1, 25):
        assert (in_tmp / f"out/shot.{frame:04d}.png").read_bytes() == (in_tmp / f"cli/shot.{frame:04d}.png").read_bytes()
