"""Runs of `veldra farm` made without a cluster, for the report page's tests:
the stand-ins for sbatch and squeue (tests/farm/fake-slurm) first on PATH,
and each task run here with the variables Slurm would set on its node; and
headless Chromium, driven by Selenium, to open the pages."""

import os
import subprocess
import tempfile

import numpy as np
import OpenImageIO as oiio
import pytest
from selenium import webdriver
from selenium.webdriver.chrome.service import Service

VELDRA = os.environ.get("VELDRA", os.path.join(os.path.dirname(__file__), "../../../build/native/bin/veldra"))
FAKE_SLURM = os.environ.get("FAKE_SLURM", os.path.join(os.path.dirname(__file__), "../fake-slurm"))


class Run:
    """A shot of `frames` 16-bit RGBA frames in `folder`/in, submitted to the
    stand-ins in chunks of `chunk` into `folder`/out (array job 100, report
    job 101)."""

    def __init__(self, folder, frames, chunk, broken=()):
        self.folder = folder
        self.env = dict(os.environ, PATH=FAKE_SLURM + ":" + os.environ["PATH"], FAKE_SLURM_DIR=str(folder / "slurm"))
        for name in ("in", "out", "slurm"):
            (folder / name).mkdir()
        for frame in range(1, frames + 1):
            path = folder / "in" / f"shot.{frame:04d}.png"
            if frame in broken:
                path.write_bytes(b"not a picture")
            else:
                write_frame(path, frame)
        self.farm("submit", "in/shot.####.png", "out/shot.####.png", "--axis", "z", "--start", "0", "--end", "90",
                  "--chunk", chunk, "--retries", 0)
        runs = sorted((folder / "out" / ".veldra-farm").iterdir())
        self.path = runs[-1]

    def farm(self, *words, check=True):
        done = subprocess.run([VELDRA, "farm", *map(str, words)], cwd=self.folder, env=self.env,
                              capture_output=True, text=True)
        if check and done.returncode != 0:
            raise AssertionError(f"veldra farm {' '.join(map(str, words))}: {done.stdout}{done.stderr}")
        return done

    def task(self, task, node):
        """Runs array task `task` as Slurm would on node `node`."""
        env = dict(self.env, SLURM_ARRAY_JOB_ID="100", SLURM_ARRAY_TASK_ID=str(task), SLURMD_NODENAME=node)
        subprocess.run([VELDRA, "farm", "task", str(self.path), "0"], cwd=self.folder, env=env,
                       capture_output=True, check=False)

    def slurm_says(self, lines):
        """What squeue answers from now on: lines of JOB|TASK|STATE|REASON|EXIT."""
        (self.folder / "slurm" / "queue").write_text("".join(line + "|\n" for line in lines))

    def page(self):
        """Writes the report page with `status --html`; returns its path."""
        said = self.farm("status", "out", "--html")
        assert f"report page: {self.path}/report.html" in said.stdout, said.stdout
        return self.path / "report.html"


def write_frame(path, frame):
    """A 48 x 32 picture that differs from frame to frame: colour ramps, and
    a transparent band whose colour is kept under alpha 0."""
    y, x = np.mgrid[0:32, 0:48]
    pixels = np.zeros((32, 48, 4), np.uint16)
    pixels[..., 0] = x * 1365
    pixels[..., 1] = y * 2047
    pixels[..., 2] = (frame * 9000) % 65536
    pixels[..., 3] = np.where((x + frame) % 16 < 4, 0, 65535)
    header = oiio.ImageSpec(48, 32, 4, "uint16")
    header.attribute("oiio:UnassociatedAlpha", 1)
    output = oiio.ImageOutput.create(str(path))
    assert output.open(str(path), header), output.geterror()
    assert output.write_image(pixels), output.geterror()
    output.close()


@pytest.fixture
def make_run(tmp_path):
    count = [0]

    def make(frames, chunk, broken=()):
        count[0] += 1
        folder = tmp_path / f"run{count[0]}"
        folder.mkdir()
        return Run(folder, frames, chunk, broken)

    return make


@pytest.fixture(scope="session")
def browser():
    """Headless Chromium as root on a closed network: no sandbox, nothing
    fetched in the background, a profile of its own."""
    profile = tempfile.TemporaryDirectory(prefix="veldra-chromium-")
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                     "--disable-background-networking", "--disable-component-update", "--disable-sync",
                     "--disable-dev-shm-usage", "--window-size=1200,900", f"--user-data-dir={profile.name}"):
        options.add_argument(argument)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    yield driver
    driver.quit()
    profile.cleanup()
