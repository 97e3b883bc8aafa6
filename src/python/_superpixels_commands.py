"""The commands `superpixels` and `superpixels-eval` of a pip-installed package: the compiled tools
shipped in the package's _bin folder, run in place of the Python process (os.execv), so that
their exit codes, signals and console lines are the tools' own.

A module of its own, outside the package: importing the package superpixels loads numpy and the
extension, which would make every start of a command some 0.4 s slower."""

import os
import pathlib
import signal
import sys


def _exec(name):
    # The package lies beside this module (both installed into one site-packages folder); it is
    # not imported.
    program = pathlib.Path(__file__).resolve().parent / "superpixels" / "_bin" / name
    # Python ignores SIGPIPE and SIGXFSZ for itself; the tool must start with the default
    # actions, as it does from a shell (subprocess restores them the same way).
    for number in (signal.SIGPIPE, signal.SIGXFSZ):
        signal.signal(number, signal.SIG_DFL)
    try:
        os.execv(program, [name, *sys.argv[1:]])
    except OSError as error:
        sys.stderr.write(f"{name}: cannot run {program}: {error.strerror}\n")
        # A shell's codes for a command not found (127) or found but not runnable (126).
        sys.exit(127 if isinstance(error, FileNotFoundError) else 126)


def tool():
    """The segmentation tool, `superpixels`."""
    _exec("superpixels")


def evaluation():
    """The evaluation command, `superpixels-eval`."""
    _exec("superpixels-eval")
