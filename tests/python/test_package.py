"""The package as type checkers and help() see it: the stubs agree with the code, every public
function is documented."""

import ast
import inspect
import pathlib

import superpixels
from superpixels import _core

PACKAGE = pathlib.Path(superpixels.__file__).parent
FUNCTIONS = [name for name in superpixels.__all__ if name != "__version__"]


def stub_definitions(name):
    """Function definitions of a stub file, by name (overloads give several); a class stands for
    its __init__, its other methods and properties go by Class.name, all without self."""
    tree = ast.parse((PACKAGE / name).read_text(encoding="utf-8"))
    definitions = {}
    for node in tree.body:
        if isinstance(node, ast.ClassDef):
            for method in (n for n in node.body if isinstance(n, ast.FunctionDef)):
                method.args.args = method.args.args[1:]
                key = node.name if method.name == "__init__" else f"{node.name}.{method.name}"
                definitions.setdefault(key, []).append(method)
        elif isinstance(node, ast.FunctionDef):
            definitions.setdefault(node.name, []).append(node)
    return definitions


def stub_parameters(definition):
    """(name, kind, default or inspect.Parameter.empty) of a stub's parameters."""
    arguments = definition.args
    positional = arguments.posonlyargs + arguments.args
    defaults = [inspect.Parameter.empty] * (len(positional) - len(arguments.defaults))
    defaults += [ast.literal_eval(d) for d in arguments.defaults]
    kinds = [inspect.Parameter.POSITIONAL_ONLY] * len(arguments.posonlyargs)
    kinds += [inspect.Parameter.POSITIONAL_OR_KEYWORD] * len(arguments.args)
    parameters = [(a.arg, k, d) for a, k, d in zip(positional, kinds, defaults)]
    if arguments.vararg:
        vararg = (arguments.vararg.arg, inspect.Parameter.VAR_POSITIONAL, inspect.Parameter.empty)
        parameters.append(vararg)
    for argument, default in zip(arguments.kwonlyargs, arguments.kw_defaults):
        value = inspect.Parameter.empty if default is None else ast.literal_eval(default)
        parameters.append((argument.arg, inspect.Parameter.KEYWORD_ONLY, value))
    if arguments.kwarg:
        parameters.append((arguments.kwarg.arg, inspect.Parameter.VAR_KEYWORD, inspect.Parameter.empty))
    return parameters


def test_stubs_agree_with_the_signatures():
    # The manual shows the stubs' signatures, methods and properties included, not the code's.
    stubs = stub_definitions("__init__.pyi")
    assert sorted(n for n in stubs if "." not in n) == sorted(FUNCTIONS)
    for cls in filter(inspect.isclass, map(superpixels.__dict__.get, FUNCTIONS)):
        public = {f"{cls.__name__}.{m}" for m in vars(cls) if not m.startswith("_")}
        assert public <= set(stubs), cls
    for name, definitions in stubs.items():
        owner, _, member = name.rpartition(".")
        value = getattr(getattr(superpixels, owner), member) if owner else getattr(superpixels, name)
        decorators = definitions[0].decorator_list
        if any(isinstance(d, ast.Name) and d.id == "property" for d in decorators):
            assert isinstance(value, property), name
            continue
        runtime = list(inspect.signature(value).parameters.values())[1 if owner else 0 :]
        expected = [(p.name, p.kind, p.default) for p in runtime]
        for definition in definitions:
            found = stub_parameters(definition)
            assert [f[:2] for f in found] == [e[:2] for e in expected], name
            for (parameter, _, default), (_, _, runtime_default) in zip(found, expected):
                # An overload may make a parameter required (return_colours: Literal[True]).
                if default is not inspect.Parameter.empty:
                    assert default == runtime_default, f"{name}({parameter})"


def test_the_extension_stub_lists_what_the_extension_has():
    public = {n for n in dir(_core) if not n.startswith("_") and callable(getattr(_core, n))}
    assert {n for n in stub_definitions("_core.pyi") if "." not in n} == public


def test_typed_and_documented():
    assert (PACKAGE / "py.typed").is_file()
    assert "segment(image, count, weight)" in superpixels.__doc__
    for name in FUNCTIONS:
        value = getattr(superpixels, name)
        doc = inspect.getdoc(value)
        assert "Parameters\n----------" in doc, name
        assert inspect.isclass(value) or "Returns\n-------" in doc, name
    assert superpixels.__version__ == _core.__version__
