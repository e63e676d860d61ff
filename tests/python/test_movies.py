"""render() takes movies in and writes them out as `veldra render` does."""

from fractions import Fraction
import subprocess

import pytest

import veldra
from conftest import run_veldra


def make_movie(name, seconds="0.5", *codec):
    subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                    f"testsrc2=size=64x48:rate=24:duration={seconds}",
                    *(codec or ("-c:v", "libx264", "-pix_fmt", "yuv420p")), name], check=True)


# A movie's frames, all or some, into pictures and into a movie: the files
# the command writes, byte for byte; a movie output is one file.
@pytest.mark.filterwarnings("ignore:.*colour matrix")
@pytest.mark.filterwarnings("ignore:.*holds no alpha")
def test_movies_equal_the_command(in_tmp):
    make_movie("in.mp4")
    params = veldra.Params(axis="y", pivot="upper", end=60)
    turn = ["-a", "y", "-p", "upper", "-e", "60", "-q"]
    run_veldra("render", "in.mp4", "cli.####.png", "-f", "2-5", *turn)
    written = veldra.render("in.mp4", "py.####.png", frames=range(2, 6), params=params, jobs=2)
    assert written == [f"py.{frame:04d}.png" for frame in range(2, 6)]
    for frame in range(2, 6):
        assert (in_tmp / f"py.{frame:04d}.png").read_bytes() == (in_tmp / f"cli.{frame:04d}.png").read_bytes()

    run_veldra("render", "in.mp4", "cli.mov", "--codec", "prores422hq", "--fps", "24000/1001", "--timecode",
               "01:02:03:04", *turn)
    done = []
    written = veldra.render("in.mp4", "py.mov", params=params, codec="prores422hq", fps=Fraction(24000, 1001),
                            timecode="01:02:03:04", progress=lambda n, total: done.append((n, total)))
    assert written == ["py.mov"]
    assert done[-1] == (12, 12)
    assert (in_tmp / "py.mov").read_bytes() == (in_tmp / "cli.mov").read_bytes()

    run_veldra("render", "in.mp4", "cli.mp4", "--quality", "30", "--colorconvert", "sRGB", "linear", *turn)
    veldra.render("in.mp4", "py.mp4", params=params, quality=30, colorconvert=("sRGB", "linear"))
    assert (in_tmp / "py.mp4").read_bytes() == (in_tmp / "cli.mp4").read_bytes()


# Movie settings are checked as the command checks them, naming the keyword.
@pytest.mark.filterwarnings("ignore:.*colour matrix")
def test_movie_settings_are_checked(in_tmp):
    make_movie("in.mp4")
    with pytest.raises(ValueError, match="codec: bad value 'prores'"):
        veldra.render("in.mp4", "out.mov", codec="prores")
    with pytest.raises(ValueError, match="fps: bad value '0'"):
        veldra.render("in.mp4", "out.mov", fps=0)
    with pytest.raises(ValueError, match="timecode: bad value '1:2:3'"):
        veldra.render("in.mp4", "out.mov", timecode="1:2:3")
    with pytest.raises(TypeError, match="quality: applies to h264 only"):
        veldra.render("in.mp4", "out.mov", quality=20)
    with pytest.raises(ValueError, match="is a movie of 12 frames"):
        veldra.render("in.mp4", "out.png")
    with pytest.raises(TypeError, match="colorconvert: expected a pair"):
        veldra.render("in.mp4", "out.####.png", colorconvert="sRGB")
    whole = (in_tmp / "in.mp4").read_bytes()
    (in_tmp / "cut.mp4").write_bytes(whole[:len(whole) // 2])
    with pytest.raises(OSError, match="not a movie that can be read") as raised:
        veldra.render("cut.mp4", "out.####.png")
    assert (raised.value.filename, raised.value.errno) == ("cut.mp4", None)
    assert not list(in_tmp.glob("out*"))
