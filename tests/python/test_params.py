"""veldra.Params is the filter's stored block: the same bytes veldra stores,
read back whole, and refused with a reason when it is not one."""

import copy
import pickle

import pytest

import veldra
from conftest import coordinate_picture, run_veldra, write_pixels


# The block a Params stores is the command's --save-params block, and each
# way back (file, bytes, pickle, copy, repr) gives an equal Params.
def test_block_round_trips_with_the_command(in_tmp):
    params = veldra.Params(axis="z", pivot="upper", start=-12.5, end=0.1)
    params.save("py.blk")
    assert "axis:         z (1012)" in run_veldra("params", "py.blk").stdout
    write_pixels("frame.png", coordinate_picture(8, 6, 3, "uint8"))
    run_veldra("render", "frame.png", "out.png", "-q", "-a", "z", "-p", "upper", "-s", "-12.5", "-e", "0.1",
               "--save-params", "cli.blk")
    assert (in_tmp / "cli.blk").read_bytes() == bytes(params) == (in_tmp / "py.blk").read_bytes()
    for back in (veldra.Params.load("cli.blk"), veldra.Params.from_bytes(bytearray(bytes(params))),
                 pickle.loads(pickle.dumps(params)), copy.copy(params), eval(repr(params), {"veldra": veldra})):
        assert back == params and back is not params
    assert repr(params) == "veldra.Params(axis='z', pivot='upper', start=-12.5, end=0.1)"


# Attributes are checked as the constructor checks them, angles are stored
# in single precision, and Params are equal only when their blocks are.
def test_attributes_and_equality():
    params = veldra.Params()
    assert (params.axis, params.pivot, params.start, params.end) == ("x", "center", 0.0, 0.0)
    params.pivot = "centre"
    params.axis = "y"
    params.end = 0.1
    assert params.pivot == "center" and params.axis == "y"
    assert params.end == pytest.approx(0.1, abs=1e-8) and params.end != 0.1  # a float, as stored
    assert params == veldra.Params(axis="y", end=0.1)
    assert params != veldra.Params(axis="y", end=0.2) and params != "params"
    with pytest.raises(TypeError):
        hash(params)  # mutable: no hash that could change
    with pytest.raises(ValueError, match=r"axis: bad value 'w' \(expected x, y or z\)"):
        params.axis = "w"
    with pytest.raises(ValueError, match="end: bad value 'inf'"):
        params.end = float("inf")
    with pytest.raises(TypeError, match="start: expected an angle in degrees"):
        params.start = "10"
    assert params == veldra.Params(axis="y", end=0.1)  # refused values change nothing


GOOD = bytes(veldra.Params())


# Blocks that are not the filter's or are damaged say why, as bytes and as
# files; a file of the wrong size is no parameter file at all.
@pytest.mark.parametrize("block,why", [
    (b"\0" * 20, r"not a parameter block of this filter \(tag 0x00000000\)"),
    (GOOD[:4] + (7).to_bytes(4, "little") + GOOD[8:], "damaged: its axis code 7 is none of x, y, z"),
    (GOOD[:8] + (7).to_bytes(4, "little") + GOOD[12:], "damaged: its pivot code 7"),
    (GOOD[:12] + b"\0\0\xc0\x7f" + GOOD[16:], "damaged: an angle is not a finite number"),
])
def test_foreign_or_damaged_blocks(in_tmp, block, why):
    with pytest.raises(ValueError, match="^block: " + why):
        veldra.Params.from_bytes(block)
    (in_tmp / "bad.blk").write_bytes(block)
    with pytest.raises(ValueError, match="^bad.blk: " + why):
        veldra.Params.load("bad.blk")


def test_blocks_of_the_wrong_size(in_tmp):
    with pytest.raises(ValueError, match="^block: not a parameter block: 19 bytes, not 20$"):
        veldra.Params.from_bytes(GOOD[:19])
    (in_tmp / "short.blk").write_bytes(GOOD[:19])
    message = run_veldra("params", "short.blk", check=False).stderr.strip().removeprefix("veldra: ")
    with pytest.raises(OSError) as raised:
        veldra.Params.load("short.blk")
    error = raised.value
    assert f"{error.filename}: {error.strerror}" == message == "short.blk: not a parameter file: 19 bytes, not 20 bytes"
