"""turn() and render() give the values and files `veldra render` writes."""

import itertools

import numpy as np
import pytest

import veldra
from conftest import coordinate_picture, read_pixels, run_veldra, write_pixels

PAIRS = list(itertools.product("xyz", ["lower", "center", "upper"]))
FRAMES = [1, 2, 3]


def same(a, b):
    return a.dtype == b.dtype and a.shape == b.shape and a.tobytes() == b.tobytes()


# Every turn of 16-bit and 8-bit frames, placed in a range of ten, against
# the command; render() must write the very same files.
@pytest.mark.filterwarnings("ignore:the filter makes every pixel it covers opaque")
@pytest.mark.parametrize("dtype", [np.uint16, np.uint8])
@pytest.mark.parametrize("axis,pivot", PAIRS)
def test_png_sequence_equals_the_command(in_tmp, dtype, axis, pivot):
    for frame in FRAMES:
        write_pixels(f"in.{frame:04d}.png", coordinate_picture(23, 17, 4, dtype, seed=frame))
    turn = ["-a", axis, "-p", pivot, "-s", "-35", "-e", "80.5", "-f", "1-3", "--range", "0-9"]
    run_veldra("render", "in.####.png", "cli.####.png", "-q", *turn)
    params = veldra.Params(axis=axis, pivot=pivot, start=-35, end=80.5)
    written = veldra.render("in.####.png", "py.####.png", frames="1-3", range=(0, 9), params=params, jobs=2)
    assert written == [f"py.{frame:04d}.png" for frame in FRAMES]
    for frame in FRAMES:
        turned = veldra.turn(read_pixels(f"in.{frame:04d}.png"), params, frame=frame, range=(0, 9))
        assert same(turned, read_pixels(f"cli.{frame:04d}.png")), f"frame {frame}"
        assert (in_tmp / f"py.{frame:04d}.png").read_bytes() == (in_tmp / f"cli.{frame:04d}.png").read_bytes()


# The two-pass alpha, on straight alpha (PNG) and on premultiplied colour
# (EXR), where the command keeps the file's meaning of alpha.
@pytest.mark.parametrize("name,dtype,premultiplied", [("in.png", np.uint16, False), ("in.exr", np.float32, True),
                                                      ("in8.png", np.uint8, False)])
def test_alpha_keep_equals_the_command(in_tmp, name, dtype, premultiplied):
    picture = coordinate_picture(31, 20, 4, dtype, seed=7)
    if premultiplied:
        picture[..., :3] *= picture[..., 3:]
    write_pixels(name, picture, associated=premultiplied)
    out = "out" + name[name.index("."):]
    run_veldra("render", name, out, "-q", "-a", "y", "-p", "upper", "-e", "50", "--frame", "4", "--range", "0-8",
               "--alpha", "keep")
    params = veldra.Params(axis="y", pivot="upper", end=50)
    turned = veldra.turn(read_pixels(name), params, frame=4, range=(0, 8), alpha="keep", premultiplied=premultiplied)
    assert same(turned, read_pixels(out))
    veldra.render(name, "py" + out, frames=4, range="0-8", params=params, alpha="keep")
    assert (in_tmp / ("py" + out)).read_bytes() == (in_tmp / out).read_bytes()


# Float pictures, with values the 16-bit filter must clamp, and half RGB:
# the same floats as the command writes to EXR. Halves are converted a band
# of rows at a time, so one picture is taller than a band.
@pytest.mark.parametrize("dtype,channels,height", [(np.float32, 4, 18), (np.float16, 3, 18), (np.float16, 4, 150)])
def test_float_exr_equals_the_command(in_tmp, dtype, channels, height):
    picture = (coordinate_picture(29, height, channels, np.float32, seed=3) * 1.3 - 0.1).astype(dtype)
    write_pixels("in.exr", picture, associated=True)
    run_veldra("render", "in.exr", "out.exr", "-q", "-a", "z", "-p", "lower", "-s", "10", "-e", "10")
    with pytest.warns(UserWarning, match="clamped"):
        turned = veldra.turn(read_pixels("in.exr"), veldra.Params(axis="z", pivot="lower", start=10, end=10))
    expected = read_pixels("out.exr")
    assert same(turned, expected[..., :channels])


# Grey and grey with alpha, turned as the command turns grey files: the
# grey it writes, and its alpha where the array has one. (height, width)
# is (height, width, 1). Pictures taller than a band of rows cross from one
# band to the next.
@pytest.mark.filterwarnings("ignore:the filter makes every pixel it covers opaque")
@pytest.mark.parametrize("name,dtype,height", [("in.png", np.uint16, 20), ("in.png", np.uint8, 150),
                                               ("in.exr", np.float16, 150), ("in.exr", np.float32, 20)])
@pytest.mark.parametrize("channels", [1, 2])
@pytest.mark.parametrize("alpha", ["filter", "keep"])
def test_grey_equals_the_command(in_tmp, name, dtype, height, channels, alpha):
    # Grey from the picture's blue noise, so that neighbours differ.
    picture = coordinate_picture(33, height, 4, dtype, seed=5)[..., 2:][..., :channels]
    write_pixels(name, picture, associated=name.endswith(".exr"))
    out = "out" + name[name.index("."):]
    run_veldra("render", name, out, "-q", "-a", "x", "-p", "lower", "-e", "70", "--frame", "5", "--range", "0-9",
               "--alpha", alpha)
    expected = read_pixels(out)[..., :channels]
    params = veldra.Params(axis="x", pivot="lower", end=70)
    premultiplied = name.endswith(".exr")
    source = read_pixels(name)
    turned = veldra.turn(source, params, frame=5, range=(0, 9), alpha=alpha, premultiplied=premultiplied)
    assert same(turned, expected)
    if channels == 1:
        flat = veldra.turn(source[..., 0], params, frame=5, range=(0, 9), alpha=alpha, premultiplied=premultiplied)
        assert same(flat, expected[..., 0])


# Strided views and read-only arrays are read as their values, not their
# memory.
@pytest.mark.filterwarnings("ignore:the filter makes every pixel it covers opaque")
def test_views_and_read_only_arrays():
    base = coordinate_picture(40, 30, 4, np.uint16)
    params = veldra.Params(axis="x", start=40, end=40)
    flipped = base[::-1, ::2]
    read_only = base.copy()
    read_only.flags.writeable = False
    assert same(veldra.turn(flipped, params), veldra.turn(np.ascontiguousarray(flipped), params))
    assert same(veldra.turn(read_only, params), veldra.turn(base, params))
    rgb = base[..., :3]  # not contiguous: every fourth value skipped
    assert same(veldra.turn(rgb, params), veldra.turn(rgb.copy(), params))
    assert base.flags.writeable and np.array_equal(base, coordinate_picture(40, 30, 4, np.uint16))
