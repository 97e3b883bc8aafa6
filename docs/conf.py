# Sphinx configuration of the manual. Build it with scripts/build-docs, which builds the Python
# module the API pages are read from and runs sphinx-build with warnings as errors.
import re
import subprocess
import sys
from pathlib import Path

docs = Path(__file__).resolve().parent
root = docs.parent
sys.path.insert(0, str(docs / "_ext"))

project = "superpixels"
author = "the superpixels developers"
copyright = "2026, " + author
release = re.search(r"project\(superpixels VERSION ([0-9.]+)",
                    (root / "CMakeLists.txt").read_text()).group(1)
version = release

extensions = [
    "myst_parser",
    "sphinx.ext.autodoc",
    "sphinx.ext.napoleon",
    "breathe",
    "stub_signatures",
]
source_suffix = {".md": "markdown", ".rst": "restructuredtext"}
root_doc = "index"
exclude_patterns = ["_build", "_ext", "cluster", "Doxyfile"]

# Headings get anchors, so that pages link to sections as [text](page.md#heading).
myst_heading_anchors = 3
myst_enable_extensions = ["deflist", "substitution"]
myst_substitutions = {"release": release}

html_theme = "sphinx_rtd_theme"
html_title = f"superpixels {release}"
html_show_sourcelink = False

# The Python API: the package's numpy-style docstrings, with the signatures of its type stubs.
# Single backticks in the docstrings name Python objects: they become links where the name is
# documented.
default_role = "py:obj"
autodoc_member_order = "bysource"
autodoc_typehints = "signature"
napoleon_google_docstring = False
napoleon_numpy_docstring = True
napoleon_use_rtype = False

# The C++ API: Doxygen's XML of the public headers, read by Breathe. Doxygen runs when the build
# starts, into the build's own folder, so the source tree stays clean.
breathe_default_project = "superpixels"
breathe_domain_by_extension = {"hpp": "cpp"}
breathe_default_members = ("members",)


def run_doxygen(app):
    out = Path(app.doctreedir).parent / "doxygen"
    out.mkdir(parents=True, exist_ok=True)
    settings = (docs / "Doxyfile").read_text() + (
        f'\nINPUT = "{root / "include" / "superpixels"}"\n'
        f'STRIP_FROM_PATH = "{root / "include"}"\n'
        f'OUTPUT_DIRECTORY = "{out}"\n')
    subprocess.run(["doxygen", "-"], input=settings.encode(), cwd=out, check=True)
    app.config.breathe_projects = {"superpixels": str(out / "xml")}


def setup(app):
    app.connect("builder-inited", run_doxygen)
