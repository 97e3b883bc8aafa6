"""Shows the Python API with the signatures of the package's type stubs (.pyi).

The package's functions are written without annotations; their types live in the stubs that type
checkers read. autodoc reads the functions, so this extension hands it the stubs' signatures
instead: one line per overload, so a function whose result depends on a flag shows both forms.
Properties and data items get the type the stub declares. The stubs' private aliases (_Path) are
spelt out, since a reader cannot look them up. A name of a module's ``__all__`` that the manual
leaves out is reported as a warning, so that the API page cannot fall behind the package.
"""

import ast
import copy
import importlib
import sys
from pathlib import Path

from sphinx.ext.autodoc import DataDocumenter, PropertyDocumenter
from sphinx.util import logging

logger = logging.getLogger(__name__)


def _read_stub(module_name):
    """({qualified name: [(arguments, result)], one per overload}, {qualified name: type}) of the
    functions, methods and classes, and of the properties and data items, of a module's stub."""
    module = importlib.import_module(module_name)
    stub = Path(module.__file__).with_suffix(".pyi")
    if not stub.is_file():
        return {}, {}
    tree = ast.parse(stub.read_text(encoding="utf-8"))
    aliases = {
        node.targets[0].id: node.value
        for node in tree.body
        if isinstance(node, ast.Assign) and len(node.targets) == 1
        and isinstance(node.targets[0], ast.Name) and node.targets[0].id.startswith("_")
    }

    class SpellOut(ast.NodeTransformer):
        def visit_Name(self, node):
            return self.visit(copy.deepcopy(aliases[node.id])) if node.id in aliases else node

    tree = SpellOut().visit(tree)
    signatures, types = {}, {}

    def visit(body, prefix, in_class):
        for node in body:
            if isinstance(node, ast.ClassDef):
                visit(node.body, prefix + node.name + ".", True)
            elif isinstance(node, ast.AnnAssign) and isinstance(node.target, ast.Name):
                types[prefix + node.target.id] = ast.unparse(node.annotation)
            elif isinstance(node, (ast.FunctionDef, ast.AsyncFunctionDef)):
                decorators = {d.id for d in node.decorator_list if isinstance(d, ast.Name)}
                result = ast.unparse(node.returns) if node.returns else None
                if "property" in decorators:
                    types[prefix + node.name] = result
                    continue
                arguments = node.args
                # The instance (or class) a method is called on is no argument a caller passes.
                if in_class and "staticmethod" not in decorators:
                    if arguments.posonlyargs:
                        arguments.posonlyargs = arguments.posonlyargs[1:]
                    else:
                        arguments.args = arguments.args[1:]
                signatures.setdefault(prefix + node.name, []).append(
                    (f"({ast.unparse(arguments)})", result))

    visit(tree.body, "", False)
    return signatures, types


def _stub(env, module_name):
    cache = env.temp_data.setdefault("stub_signatures", {})
    if module_name not in cache:
        cache[module_name] = _read_stub(module_name)
    return cache[module_name]


def _split(name):
    """(module, qualified name in it) of a dotted name, the module being the longest prefix that
    is an imported module; None when no prefix is."""
    parts = name.split(".")
    for end in range(len(parts) - 1, 0, -1):
        if ".".join(parts[:end]) in sys.modules:
            return ".".join(parts[:end]), ".".join(parts[end:])
    return None


def _signature(app, what, name, obj, options, signature, return_annotation):
    split = _split(name)
    if what not in ("function", "method", "class", "exception") or not split:
        return None
    module_name, qualified = split
    is_class = what in ("class", "exception")
    forms = _stub(app.env, module_name)[0].get(qualified + ".__init__" if is_class else qualified)
    if not forms:
        return None
    if is_class:
        forms = [(arguments, None) for arguments, _ in forms]
    # Overloads: autodoc shows each line of the signature as a signature of its own, the last
    # one's result apart.
    lines = [f"{arguments} -> {result}" if result else arguments for arguments, result in forms]
    return "\n".join(lines[:-1] + [forms[-1][0]]), forms[-1][1]


class _StubType:
    """Adds the type the stub declares to a property's or a data item's header."""

    def add_directive_header(self, sig):
        super().add_directive_header(sig)
        declared = _stub(self.env, self.modname)[1].get(".".join(self.objpath))
        if declared:
            self.add_line("   :type: " + declared, self.get_sourcename())


class StubPropertyDocumenter(_StubType, PropertyDocumenter):
    pass


class StubDataDocumenter(_StubType, DataDocumenter):
    def get_doc(self, *args, **kwargs):
        # A data item without a #: comment has no documentation of its own: what autodoc would
        # find is its value's class docstring (str's, for a version string).
        if self.get_module_comment(self.objpath[-1]) is None and getattr(
                self.object, "__doc__", None) == getattr(type(self.object), "__doc__", None):
            return []
        return super().get_doc(*args, **kwargs)


def _check_all_documented(app, env):
    documented = set(env.get_domain("py").objects)
    modules = {split[0] for split in map(_split, documented) if split}
    for module_name in sorted(modules):
        for public in getattr(sys.modules[module_name], "__all__", ()):
            if f"{module_name}.{public}" not in documented:
                logger.warning("%s.%s, in __all__, is not in the manual", module_name, public)


def setup(app):
    app.setup_extension("sphinx.ext.autodoc")
    app.add_autodocumenter(StubPropertyDocumenter, override=True)
    app.add_autodocumenter(StubDataDocumenter, override=True)
    app.connect("autodoc-process-signature", _signature)
    app.connect("env-check-consistency", _check_all_documented)
    return {"parallel_read_safe": True}
