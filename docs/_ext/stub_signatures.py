"""Shows the Python API with the signatures of the package's type stubs (.pyi).

The package's functions are written without annotations; their types live in the stubs that type
checkers read. autodoc reads the functions, so this extension hands it the stubs' signatures
instead: one line per overload, so a function whose result depends on a flag shows both forms.
"""

import ast
import importlib
from pathlib import Path


def _stub_signatures(module_name):
    module = importlib.import_module(module_name)
    stub = Path(module.__file__).with_suffix(".pyi")
    tree = ast.parse(stub.read_text())
    found = {}

    def visit(body, prefix):
        for node in body:
            if isinstance(node, ast.ClassDef):
                visit(node.body, prefix + node.name + ".")
            elif isinstance(node, (ast.FunctionDef, ast.AsyncFunctionDef)):
                is_property = any(isinstance(d, ast.Name) and d.id == "property"
                                  for d in node.decorator_list)
                arguments = ast.unparse(node.args)
                if prefix and arguments.startswith("self"):
                    arguments = arguments[len("self"):].lstrip(", ")
                result = ast.unparse(node.returns) if node.returns else None
                found.setdefault(prefix + node.name, []).append(
                    (is_property, f"({arguments})", result))

    visit(tree.body, "")
    return found


def _signature(app, what, name, obj, options, signature, return_annotation):
    module_name, _, qualified = name.partition(".")
    if what not in ("function", "method", "class") or not qualified:
        return None
    cache = app.env.temp_data.setdefault("stub_signatures", {})
    if module_name not in cache:
        cache[module_name] = _stub_signatures(module_name)
    key = qualified + ".__init__" if what == "class" else qualified
    forms = cache[module_name].get(key)
    if not forms:
        return None
    if what == "class":
        return forms[0][1], None
    if len(forms) == 1:
        return forms[0][1], forms[0][2]
    # Overloads: autodoc shows each line of the signature as a signature of its own.
    lines = [f"{arguments} -> {result}" if result else arguments for _, arguments, result in forms]
    return "\n".join(lines[:-1]) + "\n" + forms[-1][1], forms[-1][2]


def setup(app):
    app.connect("autodoc-process-signature", _signature)
    return {"parallel_read_safe": True}
