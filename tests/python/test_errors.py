"""Every bad argument raises TypeError (a value of the wrong kind) or
ValueError or OSError with the message `veldra render` gives for the same
mistake, and leaves the interpreter working. An OSError names its file in
`filename`, and the system's code for the cause in `errno`."""

import errno
import os
import subprocess
import sys
import warnings

import numpy as np
import pytest

import veldra
from conftest import coordinate_picture, run_veldra, write_pixels

P = veldra.Params(axis="y", end=30)
RGB = np.zeros((6, 8, 3), np.uint8)


@pytest.fixture
def files(in_tmp):
    write_pixels("good.png", coordinate_picture(8, 6, 4, "uint16"))
    write_pixels("wide.png", np.zeros((1, 70000, 3), np.uint8))
    (in_tmp / "cut.png").write_bytes((in_tmp / "good.png").read_bytes()[:100])
    (in_tmp / "s.0001.png").write_bytes((in_tmp / "good.png").read_bytes())
    (in_tmp / "s.0002.png").write_bytes((in_tmp / "cut.png").read_bytes())
    (in_tmp / "foreign.blk").write_bytes(b"\1" * 20)
    return in_tmp


def problem(message):
    """What a message says after its subject (an option is named --frames
    on the command line and frames here)."""
    return message.strip().removeprefix("veldra: ").split(": ", 1)[1]


def message_of(error):
    """The command's message for the error: an OSError keeps the file apart
    from the problem, as Python's own do."""
    if isinstance(error, OSError):
        return f"{error.filename}: {error.strerror}"
    return str(error)


# Each call, the exception it raises, and the command line that makes the
# same mistake (None where the command has no such argument).
CASES = [
    (lambda: veldra.turn([[1, 2]], P), TypeError, None),
    (lambda: veldra.turn(RGB.astype(np.int32), P), TypeError, None),
    (lambda: veldra.turn(np.zeros((6, 8, 5), np.uint8), P), ValueError, None),
    (lambda: veldra.turn(np.zeros((2, 6, 8, 3), np.uint8), P), ValueError, None),
    (lambda: veldra.turn(np.zeros((0, 8, 3), np.uint8), P), ValueError, None),
    (lambda: veldra.turn(np.zeros((1, 70000, 3), np.uint8), P), ValueError, ["wide.png", "o.png"]),
    (lambda: veldra.turn(RGB, "params"), TypeError, None),
    (lambda: veldra.turn(RGB, P, frame=1.0), TypeError, None),
    (lambda: veldra.turn(RGB, P, frame=2**40), ValueError, ["good.png", "o.png", "--frame", str(2**40)]),
    (lambda: veldra.turn(RGB, P, frame=30, range=(0, 20)), ValueError, None),
    (lambda: veldra.turn(RGB, P, range=(5, 3)), ValueError, ["good.png", "o.png", "--range", "5-3"]),
    (lambda: veldra.turn(RGB, P, range=(1, 2, 3)), TypeError, None),
    (lambda: veldra.turn(RGB, P, alpha="kep"), ValueError, ["good.png", "o.png", "--alpha", "kep"]),
    (lambda: veldra.turn(RGB, P, premultiplied="yes"), TypeError, None),
    (lambda: veldra.render("missing.png", "o.png"), OSError, ["missing.png", "o.png"]),
    (lambda: veldra.render("cut.png", "o.png"), OSError, ["cut.png", "o.png"]),
    (lambda: veldra.render("good.png", "o.jp2"), ValueError, ["good.png", "o.jp2"]),
    (lambda: veldra.render("good.png", "no/o.png"), OSError, ["good.png", "no/o.png"]),
    (lambda: veldra.render("good.png", "o.png", params="foreign.blk"), ValueError,
     ["good.png", "o.png", "--params", "foreign.blk"]),
    (lambda: veldra.render("good.png", "o.png", params=3), TypeError, None),
    (lambda: veldra.render("g.####.png", "o.####.png", frames="1-2"), OSError, ["g.####.png", "o.####.png", "-f", "1-2"]),
    # A damaged file met while a sequence runs is still a file's fault.
    (lambda: veldra.render("s.####.png", "o.####.png", frames="1-2", jobs=1), OSError,
     ["s.####.png", "o.####.png", "-f", "1-2", "-j", "1"]),
    (lambda: veldra.render("g.####.png", "o.####.png", frames="2-1x"), ValueError,
     ["g.####.png", "o.####.png", "-f", "2-1x"]),
    (lambda: veldra.render("g.####.png", "o.####.png", frames=[3, 1]), ValueError,
     ["g.####.png", "o.####.png", "-f", "3,1"]),
    (lambda: veldra.render("good.png", "o.png", frames=[1, 2]), ValueError, None),
    (lambda: veldra.render("good.png", "o.png", jobs=0), ValueError, ["good.png", "o.png", "-j", "0"]),
    (lambda: veldra.render("good.png", "o.png", depth="int8"), ValueError, ["good.png", "o.png", "-d", "int8"]),
    (lambda: veldra.render("good.png", "o.png", progress=1), TypeError, None),
    (lambda: veldra.render(b"good.png", "o.png"), TypeError, None),
]


@pytest.mark.parametrize("call,kind,command", CASES)
def test_bad_arguments_raise_the_commands_message(files, call, kind, command):
    with warnings.catch_warnings(record=True) as warned:
        warnings.simplefilter("always")
        with pytest.raises(Exception) as raised:
            call()
    assert isinstance(raised.value, kind), raised.value
    if command:
        # The error is the last line, after any warnings, which the failing
        # call issues as the command says them.
        said = run_veldra("render", *command, check=False).stderr.strip().splitlines()
        assert problem(message_of(raised.value)) == problem(said[-1])
        assert len(warned) == len(said) - 1, ([str(w.message) for w in warned], said)
    assert not (files / "o.png").exists()
    # The interpreter and the module still work, and no warning of the
    # failed call is left for the next call to issue.
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        assert veldra.turn(RGB, P, frame=1, range=(0, 2)).shape == RGB.shape


# Each file error's class, file and code: Python picks the class by the
# code, as for its own files; a damaged picture has no code.
FILE_ERRORS = [
    (lambda: veldra.render("missing.png", "o.png"), FileNotFoundError, "missing.png", errno.ENOENT),
    (lambda: veldra.render("good.png", "no/o.png"), FileNotFoundError, "no/", errno.ENOENT),
    (lambda: veldra.render(".", "o.png"), IsADirectoryError, ".", errno.EISDIR),
    (lambda: veldra.render("g.####.png", "o.####.png", frames="1-2"), FileNotFoundError, "g.0001.png", errno.ENOENT),
    (lambda: veldra.render("cut.png", "o.png"), OSError, "cut.png", None),
    (lambda: veldra.render("s.####.png", "o.####.png", frames="1-2", jobs=1), OSError, "s.0002.png", None),
    (lambda: veldra.Params.load("good.png"), OSError, "good.png", None),
]


@pytest.mark.parametrize("call,kind,filename,code", FILE_ERRORS)
def test_file_errors_name_the_file_and_the_cause(files, call, kind, filename, code):
    with pytest.raises(OSError) as raised:
        call()
    assert type(raised.value) is kind
    assert (raised.value.filename, raised.value.errno) == (filename, code)
    assert str(raised.value).endswith(f": {filename!r}")


def package_folder():
    """The folder this veldra was imported from, for a Python started from
    elsewhere."""
    return os.path.dirname(os.path.dirname(os.path.abspath(veldra.__file__)))


def test_a_full_disk_is_enospc_naming_the_output(files):
    # The write path's own fault injection, read once per process.
    script = """import veldra
try:
    veldra.render("good.png", "o.png")
except OSError as error:
    print(type(error).__name__, error.errno, error.filename, error.strerror)
"""
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, cwd=files,
                          env={**os.environ, "VELDRA_TEST_DISK_BYTES": "100", "PYTHONPATH": package_folder()})
    assert done.returncode == 0, done.stderr
    assert done.stdout.split(" ", 3)[:3] == ["OSError", str(errno.ENOSPC), "o.png"], done.stdout
    assert "No space left on device" in done.stdout
    assert not (files / "o.png").exists()
