"""The package's types are real: `mypy --strict` passes a typed pipeline
tool and finds each mistake in another; help() and inspect.signature() give
each function's arguments as the stub types them."""

import ast
import inspect
import os
import pydoc
import re
import site
import subprocess
import sys

import numpy as np
import pytest

import veldra

TYPED = os.path.join(os.path.dirname(__file__), "typed")
PACKAGE = os.path.dirname(os.path.abspath(veldra.__file__))


def mypy(tmp_path, name):
    """mypy --strict on typed/NAME against this veldra: (exit status, report)."""
    environment = dict(os.environ)
    # A package outside the interpreter's own folders (a build's) is found
    # through MYPYPATH; mypy refuses site-packages there.
    folder = os.path.dirname(PACKAGE)
    if folder not in site.getsitepackages():
        environment["MYPYPATH"] = folder
    done = subprocess.run([sys.executable, "-m", "mypy", "--strict", "--no-error-summary", "--cache-dir",
                           str(tmp_path / "cache"), os.path.join(TYPED, name)],
                          capture_output=True, text=True, env=environment, cwd=tmp_path)
    return done.returncode, done.stdout + done.stderr


def test_mypy_strict_passes_a_typed_tool(tmp_path):
    status, report = mypy(tmp_path, "pipeline_tool.py")
    assert status == 0, report


def test_mypy_strict_finds_each_mistake(tmp_path):
    status, report = mypy(tmp_path, "mistakes.py")
    assert status == 1, report
    with open(os.path.join(TYPED, "mistakes.py")) as source:
        marked = {number for number, line in enumerate(source, 1) if line.rstrip().endswith("# mistake")}
    reported = {int(line) for line in re.findall(r"^[^:\n]*mistakes\.py:(\d+): error:", report, re.M)}
    assert reported == marked, report


def stub_functions():
    """The stub's functions and methods, but properties and operators:
    [(name, arguments, defaults)]."""
    with open(os.path.join(PACKAGE, "__init__.pyi")) as stub:
        tree = ast.parse(stub.read())
    found = []
    for node in ast.walk(tree):
        plain = all(isinstance(d, ast.Name) and d.id == "staticmethod" for d in node.decorator_list) \
            if isinstance(node, ast.FunctionDef) else False
        if plain and (node.name == "__init__" or not node.name.startswith("__")):
            names = [a.arg for a in node.args.args if a.arg != "self"]
            defaults = [ast.literal_eval(d) for d in node.args.defaults]
            found.append((node.name, names, defaults))
    return found


# Each function's signature, as help() shows it and inspect reads it, has
# the stub's arguments and defaults.
@pytest.mark.parametrize("name,arguments,defaults", stub_functions())
def test_signatures_are_the_stubs(name, arguments, defaults):
    function = getattr(veldra.Params, name) if hasattr(veldra.Params, name) else getattr(veldra, name)
    signature = inspect.signature(function)
    parameters = [p for p in signature.parameters.values() if p.name != "self"]
    assert [p.name for p in parameters] == arguments
    given = [p.default for p in parameters if p.default is not inspect.Parameter.empty]
    assert given == defaults
    shown = pydoc.render_doc(function, renderer=pydoc.plaintext)
    assert f"{name}{signature}".replace("self, ", "") in shown.replace("self, ", "")


# And the functions take those arguments by name.
def test_turn_takes_its_arguments_by_name():
    signature = inspect.signature(veldra.turn)
    keywords = {p.name: p.default for p in signature.parameters.values() if p.default is not inspect.Parameter.empty}
    turned = veldra.turn(image=np.zeros((2, 3), np.uint8), params=veldra.Params(), **keywords)
    assert turned.shape == (2, 3)
