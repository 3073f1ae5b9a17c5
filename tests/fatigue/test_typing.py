"""Type checkers see the library's signatures: the stub of _native names the
extension's parameters (nanobind writes each signature as the first line of
its docstring), and mypy accepts use and refuses misuse."""

import ast
import os
import subprocess
import sys
import textwrap
from pathlib import Path

import pytest

from cyclewright_fatigue import _native


def _names(parameters):
    """The parameter names of a signature's text, without self, / and *."""
    names, depth, start = [], 0, 0
    for i, ch in enumerate(parameters + ","):
        depth += (ch in "([") - (ch in ")]")
        if ch == "," and depth == 0:
            name = parameters[start:i].split(":")[0].strip()
            start = i + 1
            if name not in ("", "/", "*", "self"):
                names.append(name)
    return names


def test_stub_names_every_parameter():
    stub = ast.parse((Path(_native.__file__).parent / "_native.pyi").read_text())
    functions = [(_native, f) for f in stub.body if isinstance(f, ast.FunctionDef)]
    (counter,) = [c for c in stub.body if isinstance(c, ast.ClassDef)]
    functions += [(_native.Counter, f) for f in counter.body if isinstance(f, ast.FunctionDef)
                  if not f.decorator_list or f.decorator_list[0].id == "staticmethod"]
    assert len(functions) == 9
    for owner, f in functions:
        line = getattr(owner, f.name).__doc__.splitlines()[0]
        runtime = _names(line[line.index("(") + 1:line.rindex(") ->")])
        assert runtime == [a.arg for a in f.args.args if a.arg != "self"], f.name
    for name in ("samples", "finished", "power_sums", "matrix"):
        assert isinstance(getattr(_native.Counter, name), property)


def test_mypy_accepts_use_and_refuses_misuse(tmp_path):
    pytest.importorskip("mypy")
    (tmp_path / "use.py").write_text(textwrap.dedent("""
        import numpy as np
        from numpy.typing import NDArray
        from cyclewright_fatigue import Cycles, RainflowCounter, eq_loads, rainflow

        x = np.zeros(8)
        c: Cycles = rainflow(x, residue="closed_max", gate=0.5)
        loads: NDArray[np.float64] = eq_loads(x, [3.0, 4.0], 1e7)
        counter = RainflowCounter(m=[4.0], keep_cycles=False)
        counter.feed(x)
        sums: NDArray[np.float64] | None = counter.power_sums
        rainflow(x, residue="halve")
        RainflowCounter(residue="closed_max")
    """))
    out = subprocess.run([sys.executable, "-m", "mypy", "--strict", "use.py"], capture_output=True, text=True,
                         cwd=tmp_path, env={**os.environ, "MYPY_CACHE_DIR": str(tmp_path / "cache")})
    errors = [line for line in out.stdout.splitlines() if ": error:" in line]
    assert [line.split(":")[1] for line in errors] == ["12", "13"], out.stdout
