"""Shared helpers: the veldra program built beside the package, and pictures
read and written with OpenImageIO exactly as stored (alpha never applied)."""

import os
import subprocess

import numpy as np
import OpenImageIO as oiio
import pytest

VELDRA = os.environ.get("VELDRA", os.path.join(os.path.dirname(__file__), "../../build/native/bin/veldra"))


def run_veldra(*words, check=True):
    """Runs `veldra` with `words`; returns what it did (stdout, stderr,
    returncode)."""
    done = subprocess.run([VELDRA, *map(str, words)], capture_output=True, text=True)
    if check and done.returncode != 0:
        raise AssertionError(f"veldra {' '.join(map(str, words))} failed: {done.stderr}")
    return done


def read_pixels(path):
    """The file's pixels in its own channel type, colour as stored."""
    hint = oiio.ImageSpec()
    hint.attribute("oiio:UnassociatedAlpha", 1)
    source = oiio.ImageInput.open(str(path), hint)
    assert source, oiio.geterror()
    pixels = source.read_image(source.spec().format)
    source.close()
    return pixels


def write_pixels(path, pixels, associated=False):
    """Writes `pixels` in their own type, alpha straight unless `associated`."""
    height, width, channels = pixels.shape
    header = oiio.ImageSpec(width, height, channels, str(pixels.dtype).replace("float16", "half"))
    header.attribute("oiio:UnassociatedAlpha", 0 if associated else 1)
    if channels <= 2:
        header.channelnames = ("Y", "A")[:channels]
        header.alpha_channel = channels - 1 if channels == 2 else -1
    output = oiio.ImageOutput.create(str(path))
    assert output.open(str(path), header), output.geterror()
    assert output.write_image(pixels), output.geterror()
    output.close()


def coordinate_picture(width, height, channels, dtype, seed=1):
    """A picture whose values encode their coordinates, with transparent and
    half-transparent pixels that still carry colour."""
    y, x = np.mgrid[0:height, 0:width]
    rng = np.random.default_rng(seed)
    values = np.stack([x / max(width - 1, 1), y / max(height - 1, 1), rng.random((height, width)),
                       rng.choice([0.0, 0.5, 1.0, 1.0], (height, width))], axis=-1)[..., :channels]
    if np.dtype(dtype).kind == "f":
        return values.astype(dtype)
    top = np.iinfo(dtype).max
    return np.round(values * top).astype(dtype)


@pytest.fixture
def in_tmp(tmp_path, monkeypatch):
    """Runs the test in its own empty folder."""
    monkeypatch.chdir(tmp_path)
    return tmp_path
