"""The package as a user gets it: `pip wheel .` and `pip install .` with build
isolation (build and run dependencies from PyPI) in fresh virtual
environments, the module imported from outside the source tree, and the type
stub checked against the installed module by mypy's stubtest."""

from __future__ import annotations

import email.parser
import json
import os
import re
import subprocess
import sys
import textwrap
import zipfile
from pathlib import Path

import pytest

from road_support import TOP

# The interpreter that makes the fresh environments: the base one, not a venv.
BASE_PYTHON = os.environ.get("CYCLEWRIGHT_BASE_PYTHON") or getattr(sys, "_base_executable", sys.executable)
STUB = TOP / "src" / "python_module" / "cyclewright.pyi"


def _version() -> str:
    match = re.search(r"project\(cyclewright\s+VERSION\s+([0-9.]+)", (TOP / "CMakeLists.txt").read_text())
    assert match
    return match.group(1)


def _run(*args, cwd=None, timeout=600):
    env = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "CYCLEWRIGHT_BUILD_DIR")}
    env["PIP_DISABLE_PIP_VERSION_CHECK"] = "1"
    done = subprocess.run([str(a) for a in args], cwd=cwd, env=env, capture_output=True, text=True,
                          timeout=timeout)
    assert done.returncode == 0, f"{args} failed:\n{done.stdout[-3000:]}\n{done.stderr[-3000:]}"
    return done.stdout


def _fresh_venv(where: Path) -> Path:
    _run(BASE_PYTHON, "-m", "venv", where)
    return where / "bin" / "python"


@pytest.fixture(scope="module")
def wheel(tmp_path_factory) -> Path:
    out = tmp_path_factory.mktemp("wheels")
    builder = _fresh_venv(tmp_path_factory.mktemp("builder") / "venv")
    _run(builder, "-m", "pip", "wheel", "--no-deps", "-q", "-w", out, TOP)
    (found,) = out.glob("cyclewright-*.whl")
    return found


@pytest.fixture(scope="module")
def installed(tmp_path_factory) -> Path:
    """A fresh environment after `pip install <source tree>` and mypy."""
    python = _fresh_venv(tmp_path_factory.mktemp("user") / "venv")
    _run(python, "-m", "pip", "install", "-q", TOP)
    _run(python, "-m", "pip", "install", "-q", "mypy>=1.18")
    return python


def test_wheel_contents(wheel):
    version = _version()
    assert re.fullmatch(rf"cyclewright-{re.escape(version)}-cp3\d+-cp3\d+-\w+\.whl", wheel.name)
    with zipfile.ZipFile(wheel) as z:
        names = set(z.namelist())
        info = f"cyclewright-{version}.dist-info"
        (module,) = [n for n in names if n.startswith("cyclewright.") and n.endswith(".so")]
        assert "/" not in module
        assert names == {module, "cyclewright.pyi", "cyclewright-stubs/__init__.pyi",
                         f"{info}/METADATA", f"{info}/WHEEL", f"{info}/RECORD",
                         f"{info}/licenses/LICENSE"}
        assert z.read("cyclewright.pyi") == z.read("cyclewright-stubs/__init__.pyi") == STUB.read_bytes()
        assert z.read(f"{info}/licenses/LICENSE") == (TOP / "LICENSE").read_bytes()
        metadata = email.parser.Parser().parsestr(z.read(f"{info}/METADATA").decode())
    assert metadata["Name"] == "cyclewright" and metadata["Version"] == version
    assert metadata["License-Expression"] == "MIT"
    assert metadata["Requires-Python"] == ">=3.11"
    assert [r.replace(" ", "") for r in metadata.get_all("Requires-Dist")] == ["numpy>=1.26"]
    assert "rainflow" in metadata["Summary"].lower()
    classifiers = metadata.get_all("Classifier")
    for minor in (11, 12, 13, 14):
        assert f"Programming Language :: Python :: 3.{minor}" in classifiers
    assert "Typing :: Typed" in classifiers
    assert metadata.get_payload().startswith("# cyclewright")


def test_installed_module_from_outside_the_tree(installed, tmp_path):
    script = textwrap.dedent("""
        import json, os, sys, sysconfig
        import numpy as np
        import cyclewright
        x = np.array([1, 3, 2, 5, -1, 0, 4, -2, 2, 0], dtype=np.float64)
        print(json.dumps({
            "file": cyclewright.__file__,
            "site": sysconfig.get_paths()["platlib"],
            "all": cyclewright.__all__,
            "cycles": cyclewright.halfcycles(x, True)[:3],
            "plain": cyclewright.eq_load_python(x, 3.0, 1, True),
            "closed": cyclewright.eq_load_max_half_cycle_closed_python(signal=x, m=3.0, neq=1, half=True),
        }))
    """)
    result = json.loads(_run(installed, "-I", "-c", script, cwd=tmp_path))
    assert Path(result["file"]).parent == Path(result["site"])
    assert not Path(result["file"]).is_relative_to(TOP)
    assert (Path(result["site"]) / "cyclewright.pyi").read_bytes() == STUB.read_bytes()
    assert result["all"] == ["eq_load_python", "eq_load_max_half_cycle_closed_python", "halfcycles"]
    assert result["cycles"] == [[2.5, 1.0], [2.5, 1.0], [1.5, 5.0]]
    assert result["plain"] == pytest.approx(7.149831284, rel=1e-9)
    assert result["closed"] == pytest.approx(7.813389232, rel=1e-9)
    shown = _run(installed, "-m", "pip", "show", "cyclewright")
    assert f"Version: {_version()}" in shown and "Requires: numpy" in shown


def test_stub_matches_the_module(installed, tmp_path):
    out = _run(installed, "-m", "mypy.stubtest", "cyclewright", cwd=tmp_path)
    assert "Success" in out


def test_stub_catches_misuse(installed, tmp_path):
    program = tmp_path / "use.py"
    program.write_text(textwrap.dedent("""
        import numpy as np
        import cyclewright

        signal = np.zeros(8)
        cycles: list[tuple[float, float]] = cyclewright.halfcycles(signal, half=True)
        load: float = cyclewright.eq_load_python(signal, 4.0, 10**7, True)
        closed: float = cyclewright.eq_load_max_half_cycle_closed_python(signal=signal, m=3, neq=1, half=False)
        cyclewright.halfcycles([1.0, 2.0], True)
        cyclewright.eq_load_python(signal, 4.0, 1e7, True)
        cyclewright.halfcycles(signal)
    """))
    done = subprocess.run([str(installed), "-m", "mypy", "--strict", str(program)], cwd=tmp_path,
                          capture_output=True, text=True, timeout=300)
    errors = [line for line in done.stdout.splitlines() if ": error:" in line]
    assert [int(line.split(":")[1]) for line in errors] == [9, 10, 11], done.stdout
    assert 'incompatible type "list[float]"' in errors[0]
    assert 'incompatible type "float"; expected "int"' in errors[1]
    assert 'Missing positional argument "half"' in errors[2]
