"""Imports the installed Python module and segments one image: check_python_module.py DIR IMAGE.
Prints the version and the superpixel count; fails when the module was not found under DIR."""

import pathlib
import sys

import superpixels

folder, image = pathlib.Path(sys.argv[1]).resolve(), sys.argv[2]
location = pathlib.Path(superpixels.__file__).resolve()
assert folder in location.parents, f"module imported from {location}, not from {folder}"
print(superpixels.__version__, superpixels.segment_file(image, 40, 1.0).max() + 1)
