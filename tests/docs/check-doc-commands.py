#!/usr/bin/env python3
"""Runs the commands the README and the pages in docs/ show, so that the
pages cannot drift from the program.

Every code block is a fenced block whose info string says how it is checked:

  sh run            run here, as one bash script, in a scratch folder that
                    holds the pictures, movie and parameter file the pages'
                    examples name (below); it must exit 0.
  console           each `$ ` line is run there too, and what it prints
                    (standard output and error together) must be the lines
                    that follow it, up to the next `$ ` line.
  text              no command: usage lines and grammar, shown as they are.
  LANG checked-by=FILE
                    run by another test or script, named by FILE. This
                    check holds the block to the tree: FILE, every file of
                    scripts/, bench/, tests/ or packaging/ the block names,
                    and every --preset and --target it names must exist.

Which tests run the blocks marked checked-by (they need root, a cluster,
Wine, a release or minutes of timing):
  - the Debian packages and `cmake --install`: install_and_package
    (tests/install/check-install.sh: installs into a moved prefix, makes
    the packages and unpacks them, as `apt install` would);
  - pip into a virtual environment: python_venv_install
    (tests/install/check-venv-install.sh);
  - the Python page's example: python_tests (tests/python/test_python_page.py
    runs it and compares what it writes with the command's files);
  - the farm on a local cluster: the farm.* tests
    (tests/farm/FarmCommandTest.cpp), on the cluster scripts/test.sh starts
    with scripts/local-slurm.sh;
  - the installer's silent install and uninstall: the windows preset's
    installer test (tests/installer/check-installer.sh); veldra-dialogs.exe:
    the dialog tests (tests/dialogs/);
  - the build and test commands: scripts/test.sh itself, and python_tests,
    which runs the pytest command the developers' page shows.
Not run by any test, only held to the tree: scripts/release.sh (it makes a
release from a committed tree; its parts are the deb target and the windows
preset, which the tests above run), scripts/screenshots.sh and
update_bitmaps (they write into the source tree; bitmaps_reproduce checks
the bitmaps they make), and the benchmarks in bench/ (minutes of timing on
a quiet machine; no test times anything).

An indented code block is refused, as nothing would check it, except the
README's first lines (scripts/demo.sh and scripts/test.sh), which CI and
new machines run as they are.

Usage: check-doc-commands.py SOURCE_FOLDER BUILD_FOLDER
"""

import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

import numpy as np
import OpenImageIO as oiio

SOURCE, BUILD = (os.path.abspath(folder) for folder in sys.argv[1:3])
FENCE = re.compile(r"^( *)(```+)(.*)$")
PATH_WORD = re.compile(r"(?<![\w./-])((?:scripts|bench|tests|packaging)/[\w./-]+)")


class Block:
    def __init__(self, page, line, info, lines):
        self.page, self.line, self.lines = page, line, lines
        words = info.split()
        self.language = words[0] if words else ""
        self.marks = words[1:]

    def where(self):
        return f"{os.path.relpath(self.page, SOURCE)}:{self.line}"

    def checked_by(self):
        for mark in self.marks:
            if mark.startswith("checked-by="):
                return mark.split("=", 1)[1]
        return None


def blocks_of(page, problems):
    """The page's fenced blocks; an indented code block is a problem, but
    for the README's first lines."""
    blocks = []
    lines = open(page, encoding="utf-8").read().split("\n")
    fence = None
    previous = ""
    for number, text in enumerate(lines, 1):
        match = FENCE.match(text)
        if fence is None and match:
            fence = (match.group(1), match.group(2), number, match.group(3).strip(), [])
        elif fence is not None and text == fence[0] + fence[1]:
            indent, _, start, info, body = fence
            blocks.append(Block(page, start, info, [line[len(indent):] for line in body]))
            fence = None
        elif fence is not None:
            fence[4].append(text)
        elif text.startswith("    ") and text.strip() and not previous.strip():
            readme_start = os.path.basename(page) == "README.md" and number <= 4
            if not readme_start:
                problems.append(f"{os.path.relpath(page, SOURCE)}:{number}: an indented code block: make it a "
                                "fenced block marked for tests/docs/check-doc-commands.py")
        previous = text
    if fence is not None:
        problems.append(f"{os.path.relpath(page, SOURCE)}:{fence[2]}: a fence that is never closed")
    return blocks


def cmake_targets():
    names = set()
    for folder, _, files in os.walk(SOURCE):
        if os.path.relpath(folder, SOURCE).split(os.sep)[0] in ("build", ".git"):
            continue
        for name in files:
            if name == "CMakeLists.txt":
                text = open(os.path.join(folder, name), encoding="utf-8").read()
                names.update(re.findall(r"add_(?:custom_target|executable|library)\(\s*([\w-]+)", text))
    return names


def hold_to_tree(block, targets, presets):
    """What a block run elsewhere names must exist: its checker, its
    scripts, its presets and its targets."""
    problems = []
    text = "\n".join(block.lines)
    named = [block.checked_by()] + PATH_WORD.findall(text)
    for path in named:
        if not os.path.exists(os.path.join(SOURCE, path)):
            problems.append(f"{block.where()}: {path} does not exist")
    for preset in re.findall(r"--preset[ =]([\w-]+)", text):
        if preset not in presets:
            problems.append(f"{block.where()}: no preset {preset} in CMakePresets.json")
    for target in re.findall(r"--target[ =]([\w-]+)", text):
        if target not in targets:
            problems.append(f"{block.where()}: no target {target} in the CMake files")
    return problems


def write_picture(path, pixels, associated=False):
    height, width, channels = pixels.shape
    header = oiio.ImageSpec(width, height, channels, str(pixels.dtype).replace("float16", "half"))
    header.attribute("oiio:UnassociatedAlpha", 0 if associated else 1)
    output = oiio.ImageOutput.create(path)
    if not output or not output.open(path, header) or not output.write_image(pixels):
        raise RuntimeError(f"cannot write {path}: {oiio.geterror()}")
    output.close()


def make_examples_folder(folder, environment):
    """The files the pages' examples read: sequences of PNG and EXR frames,
    a TIFF, a stored parameter block and a short movie with sound."""
    y, x = np.mgrid[0:36, 0:64]
    colour = np.stack([x / 63, y / 35, (x + y) / 98, np.ones_like(x, dtype=float)], axis=-1)
    write_picture(os.path.join(folder, "shot.0001.png"), np.round(colour * 65535).astype(np.uint16))
    for frame in range(2, 101):
        shutil.copy(os.path.join(folder, "shot.0001.png"), os.path.join(folder, f"shot.{frame:04d}.png"))
    write_picture(os.path.join(folder, "shot.0001.exr"), colour.astype(np.float16), associated=True)
    for frame in range(2, 6):
        shutil.copy(os.path.join(folder, "shot.0001.exr"), os.path.join(folder, f"shot.{frame:04d}.exr"))
    for frame in range(1, 6):
        shutil.copy(os.path.join(folder, "shot.0001.exr"), os.path.join(folder, f"plate.{frame:04d}.exr"))
    write_picture(os.path.join(folder, "frame.tif"), np.round(colour[..., :3] * 65535).astype(np.uint16))
    commands = [
        ["veldra", "render", "frame.tif", "scene.png", "-q", "-a", "y", "--save-params", "scene.blk"],
        ["ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc2=size=64x36:rate=24:duration=0.25",
         "-f", "lavfi", "-i", "sine=duration=0.25", "-c:v", "prores_ks", "-profile:v", "4444",
         "-pix_fmt", "yuva444p10le", "-c:a", "pcm_s16le", "plate.mov"],
    ]
    for command in commands:
        subprocess.run(command, cwd=folder, env=environment, check=True, capture_output=True)
    os.remove(os.path.join(folder, "scene.png"))


def run_block(block, folder, environment):
    if block.language == "sh":
        done = subprocess.run(["bash", "-euo", "pipefail", "-c", "\n".join(block.lines)], cwd=folder,
                              env=environment, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        if done.returncode != 0:
            return [f"{block.where()}: exited {done.returncode}:\n" + done.stdout]
        return []
    problems = []
    steps = []  # (command, expected lines)
    for text in block.lines:
        if text.startswith("$ "):
            steps.append((text[2:], []))
        elif steps:
            steps[-1][1].append(text.rstrip())
        elif text.strip():
            problems.append(f"{block.where()}: output before the first `$ ` command")
    for command, expected in steps:
        done = subprocess.run(["bash", "-c", command], cwd=folder, env=environment, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, text=True)
        printed = [line.rstrip() for line in done.stdout.rstrip("\n").split("\n")] if done.stdout else []
        while expected and not expected[-1]:
            expected.pop()
        if printed != expected:
            problems.append(f"{block.where()}: `{command}` printed\n" + "\n".join(printed) +
                            "\nwhere the page shows\n" + "\n".join(expected))
    return problems


def main():
    pages = [os.path.join(SOURCE, "README.md")]
    docs = os.path.join(SOURCE, "docs")
    pages += sorted(os.path.join(docs, name) for name in os.listdir(docs) if name.endswith(".md"))
    with open(os.path.join(SOURCE, "CMakePresets.json"), encoding="utf-8") as file:
        presets = {preset["name"] for preset in json.load(file)["configurePresets"]}
    targets = cmake_targets()
    problems = []
    ran = 0
    with tempfile.TemporaryDirectory() as scratch:
        environment = dict(os.environ, PATH=os.path.join(BUILD, "bin") + os.pathsep + os.environ["PATH"],
                           HOME=os.path.join(scratch, "home"), PYTHONDONTWRITEBYTECODE="1")
        environment.pop("OCIO", None)
        os.mkdir(environment["HOME"])
        for page in pages:
            blocks = blocks_of(page, problems)
            folder = None
            for block in blocks:
                if block.language == "text" and not block.marks:
                    continue
                if block.checked_by():
                    problems += hold_to_tree(block, targets, presets)
                elif block.language == "console" or (block.language == "sh" and block.marks == ["run"]):
                    if folder is None:
                        folder = os.path.join(scratch, os.path.basename(page)[:-3])
                        os.makedirs(os.path.join(folder, "build"))
                        os.symlink(BUILD, os.path.join(folder, "build", "native"))
                        make_examples_folder(folder, environment)
                    problems += run_block(block, folder, environment)
                    ran += 1
                else:
                    problems.append(f"{block.where()}: a ```{block.language} {' '.join(block.marks)}``` block: "
                                    "mark it `sh run`, `console`, `checked-by=FILE` or `text`")
    for problem in problems:
        print(problem, file=sys.stderr)
    print(f"{ran} blocks run, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
