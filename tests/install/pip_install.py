"""The Python package installed the way Python users install it, offline:

    pip_install.py SOURCE WORK TESTS

Copies the checkout SOURCE (without .git and build trees) to WORK/source, makes a virtual
environment WORK/venv that sees the system's packages (numpy, pytest, setuptools: nothing is
downloaded), runs `pip install --no-build-isolation --no-deps` on the copy, then, from a folder
of its own, imports the package, checks what was installed, runs the commands `superpixels`,
`superpixels-eval` and `python -m superpixels` and runs the pytest suites in the folder TESTS
against it. Setuptools' build folder in WORK/source is kept between runs, so that a
second run compiles only what changed.
"""

import os
import pathlib
import shutil
import signal
import subprocess
import sys

source, work, tests = (pathlib.Path(a).resolve() for a in sys.argv[1:4])
copy, venv, elsewhere = work / "source", work / "venv", work / "elsewhere"


def skip_build_trees(folder, names):
    """Leaves out version control, build trees (any folder holding a CMakeCache.txt, and
    /build*), what pip and setuptools leave behind, and the work folder itself."""
    here = pathlib.Path(folder)
    skipped = set()
    for name in names:
        path = here / name
        if (
            name in (".git", "__pycache__", "dist")
            or name.endswith(".egg-info")
            or (here == source and name.startswith("build"))
            or (path.is_dir() and (path / "CMakeCache.txt").exists())
            or path == work
        ):
            skipped.add(name)
    return skipped


def run(command, **options):
    print("+", " ".join(map(str, command)), flush=True)
    subprocess.run(command, check=True, **options)


# A fresh copy of the sources, keeping setuptools' build folder build-pip (setup.py names it; the
# CMake build in it compiles only what changed).
copy.mkdir(parents=True, exist_ok=True)
for entry in copy.iterdir():
    if entry.name != "build-pip":
        shutil.rmtree(entry) if entry.is_dir() and not entry.is_symlink() else entry.unlink()
shutil.copytree(source, copy, ignore=skip_build_trees, dirs_exist_ok=True, symlinks=True)

environment = {
    key: value
    for key, value in os.environ.items()
    if key not in ("PYTHONPATH", "PYTHONHOME")
}
environment.update(PIP_NO_INDEX="1", PIP_DISABLE_PIP_VERSION_CHECK="1", PIP_NO_CACHE_DIR="1")
try:
    run([sys.executable, "-m", "venv", "--clear", "--system-site-packages", venv], env=environment)
except subprocess.CalledProcessError:
    sys.exit(f"{sys.executable} -m venv failed: is the venv module there (Debian: python3-venv)?")
python = venv / "bin" / "python"
run([python, "-m", "pip", "install", "--no-build-isolation", "--no-deps", copy], env=environment)

# From another folder: the installed package, whole, with its metadata.
elsewhere.mkdir(exist_ok=True)
check = """
import importlib.metadata, pathlib, sys
import superpixels
package = pathlib.Path(superpixels.__file__).resolve().parent
assert pathlib.Path(sys.prefix).resolve() in package.parents, f"imported from {package}"
assert importlib.metadata.version("superpixels") == superpixels.__version__
for name in ("py.typed", "__init__.pyi", "_core.pyi"):
    assert (package / name).is_file(), f"{name} not installed"
print("installed", superpixels.__version__, "in", package)
"""
run([python, "-c", check], cwd=elsewhere, env=environment)

# The commands pip put in the environment's bin/, and `python -m superpixels`, behave as the tools
# themselves: their version lines, the exit code 2 of a bad argument, and death by SIGPIPE when
# the output's reader is gone (Python ignores SIGPIPE; the tool must not inherit that).
version = subprocess.run(
    [python, "-c", "import superpixels; print(superpixels.__version__)"],
    cwd=elsewhere, env=environment, check=True, capture_output=True, text=True,
).stdout.strip()
commands = (
    ("superpixels", [venv / "bin" / "superpixels"]),
    ("superpixels-eval", [venv / "bin" / "superpixels-eval"]),
    ("superpixels", [python, "-m", "superpixels"]),
)
cases = (
    (["--version"], False, 0, "{tool} " + version + "\n"),
    (["--no-such-option"], False, 2, ""),
    (["--version"], True, -signal.SIGPIPE, ""),
)
for tool, command in commands:
    for arguments, reader_gone, code, line in cases:
        reader, writer = os.pipe()
        if reader_gone:
            os.close(reader)
        result = subprocess.run(command + arguments, cwd=elsewhere, env=environment, stdout=writer,
                                stderr=subprocess.PIPE, text=True)
        os.close(writer)
        printed = "" if reader_gone else os.fdopen(reader).read()
        if result.returncode != code or printed != line.format(tool=tool):
            sys.exit(f"{' '.join(map(str, command + arguments))}: exit {result.returncode} (wanted "
                     f"{code}), printed {printed!r}, {result.stderr!r}")
    print("ran", " ".join(map(str, command)), flush=True)
run(
    [python, "-m", "pytest", "-q", "-p", "no:cacheprovider", tests],
    cwd=elsewhere,
    env=environment,
)
