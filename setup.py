"""The veldra Python package, made by the project's CMake build.

setuptools asks for one extension, veldra/__init__; CMake builds it with the
filter module and host libraries it loads, and installs them together (the
install component `wheel`) into the folder the wheel is made from, so that
an install in a virtual environment needs nothing else of veldra. The
version is the project version in CMakeLists.txt.
"""

import re
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

SOURCE = Path(__file__).resolve().parent


def project_version():
    text = (SOURCE / "CMakeLists.txt").read_text(encoding="utf-8")
    return re.search(r"^project\(\w+ VERSION ([0-9.]+)", text, re.MULTILINE).group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = Path(self.build_temp).resolve() / "cmake"
        package_root = Path(self.get_ext_fullpath(ext.name)).resolve().parent.parent
        configure = [
            "cmake", "-S", str(SOURCE), "-B", str(build), "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
            "-DBUILD_TESTING=OFF", f"-DPython_EXECUTABLE={sys.executable}",
        ]
        subprocess.run(configure, check=True)
        subprocess.run(["cmake", "--build", str(build), "--target", "veldra_python"], check=True)
        subprocess.run(["cmake", "--install", str(build), "--component", "wheel", "--prefix", str(package_root)],
                       check=True)


setup(
    version=project_version(),
    # Everything in the wheel comes from CMake's install; the project's
    # folders are no Python packages.
    packages=[],
    py_modules=[],
    ext_modules=[Extension("veldra.__init__", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    zip_safe=False,
)
