"""Builds the Python package superpixels: the Python files of src/python/superpixels, the
extension superpixels._core and the tools `superpixels` and `superpixels-eval` (in
superpixels/_bin, run by the commands of the same names), compiled by the project's own CMake
build (these targets and the libraries they link, Release, no tests).

Used through pyproject.toml: `pip install .` or `pip wheel .` in a checkout. Needs CMake, a C++20
compiler, OpenCV and Eigen's development files and pybind11 (Debian 12: cmake g++ libopencv-dev
libeigen3-dev pybind11-dev python3-dev). Extra CMake arguments may be given in the environment
variable SUPERPIXELS_CMAKE_ARGS; CMAKE_BUILD_PARALLEL_LEVEL sets the number of compile jobs.
"""

import os
import pathlib
import re
import shlex
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).resolve().parent
# The command-line tools shipped in the package, CMake targets of these names.
TOOLS = ("superpixels", "superpixels-eval")


def project_version():
    """The version in CMakeLists.txt: the tool's, the library's and the package's."""
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    match = re.search(r"project\(superpixels\s+VERSION\s+([0-9.]+)", text)
    if not match:
        raise RuntimeError("CMakeLists.txt: no project(superpixels VERSION ...)")
    return match.group(1)


class CMakeExtension(Extension):
    """An extension that CMake builds: no sources of its own for setuptools."""

    def __init__(self, name):
        super().__init__(name, sources=[])


class CMakeBuild(build_ext):
    """Configures the project's CMake build in the build's temporary folder and builds the
    extension straight into the place setuptools packs it from."""

    def build_extension(self, ext):
        target = pathlib.Path(self.get_ext_fullpath(ext.name)).resolve()
        build_dir = pathlib.Path(self.build_temp).resolve() / "cmake"
        configure = [
            "cmake",
            "-S",
            str(ROOT),
            "-B",
            str(build_dir),
            "-DCMAKE_BUILD_TYPE=Release",
            "-DSUPERPIXELS_BUILD_TESTS=OFF",
            "-DSUPERPIXELS_BUILD_PYTHON=ON",
            "-DSUPERPIXELS_PYTHON_PACKAGE_BUILD=ON",
            f"-DPython3_EXECUTABLE={sys.executable}",
            f"-DSUPERPIXELS_PYTHON_PACKAGE_DIR={target.parent}",
        ]
        try:
            import pybind11  # the package index's pybind11, in an isolated build
        except ImportError:
            pass  # the system's CMake package (Debian: pybind11-dev)
        else:
            configure.append(f"-Dpybind11_DIR={pybind11.get_cmake_dir()}")
        configure += shlex.split(os.environ.get("SUPERPIXELS_CMAKE_ARGS", ""))
        subprocess.run(configure, check=True)

        build = ["cmake", "--build", str(build_dir), "--target", "superpixels_python", *TOOLS]
        if "CMAKE_BUILD_PARALLEL_LEVEL" not in os.environ:
            build += ["--parallel", str(self.parallel or os.cpu_count() or 1)]
        subprocess.run(build, check=True)
        if not target.is_file():
            raise RuntimeError(f"CMake built no {target.name} in {target.parent}")
        # The tools go into the package beside the extension; the commands of the same names
        # (pyproject.toml: _superpixels_commands) run them.
        tools = target.parent / "_bin"
        tools.mkdir(exist_ok=True)
        for name in TOOLS:
            shutil.copy2(build_dir / name, tools / name)


setup(
    version=project_version(),
    # setuptools' own build folder (its CMake build, the wheel's staging area) is kept apart from
    # the CMake builds a checkout makes in build/.
    options={"build": {"build_base": "build-pip"}},
    ext_modules=[CMakeExtension("superpixels._core")],
    cmdclass={"build_ext": CMakeBuild},
)
