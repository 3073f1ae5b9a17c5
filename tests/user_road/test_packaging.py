"""The package as a user gets it: the manylinux wheel of tools/wheel and
`pip install .` with build isolation (build and run dependencies from PyPI)
in fresh virtual environments without matplotlib: the module imported from
outside the source tree, the installed cyclewright-report command run without
a compiler on PATH, and the type stub checked by mypy's stubtest."""

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
REPORT_PACKAGE = TOP / "src" / "cyclewright_report"
FATIGUE_PACKAGE = TOP / "src" / "cyclewright_fatigue"
EXAMPLE_LOAD = TOP / "examples" / "data" / "example_load.csv"
PLOTS_HINT = "pictures need pip install 'cyclewright[plots]'"


def _version() -> str:
    match = re.search(r"project\(cyclewright\s+VERSION\s+([0-9.]+)", (TOP / "CMakeLists.txt").read_text())
    assert match
    return match.group(1)


def _run(*args, cwd=None, timeout=600, path=None, check=True):
    env = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "CYCLEWRIGHT_BUILD_DIR")}
    env["PIP_DISABLE_PIP_VERSION_CHECK"] = "1"
    if path is not None:
        env["PATH"] = str(path)
    done = subprocess.run([str(a) for a in args], cwd=cwd, env=env, capture_output=True, text=True,
                          timeout=timeout)
    if check:
        assert done.returncode == 0, f"{args} failed:\n{done.stdout[-3000:]}\n{done.stderr[-3000:]}"
        return done.stdout
    return done


def _fresh_venv(where: Path) -> Path:
    _run(BASE_PYTHON, "-m", "venv", where)
    return where / "bin" / "python"


@pytest.fixture(scope="module")
def wheel(tmp_path_factory) -> Path:
    """The wheel for other Linux machines: pip wheel, then auditwheel repair."""
    out = tmp_path_factory.mktemp("wheels")
    _run(TOP / "tools" / "wheel", "--here", out)
    (found,) = out.glob("cyclewright-*.whl")
    return found


@pytest.fixture(scope="module")
def repaired(tmp_path_factory, wheel) -> Path:
    """A fresh environment holding that wheel, installed from binaries only."""
    python = _fresh_venv(tmp_path_factory.mktemp("wheel-user") / "venv")
    _run(python, "-m", "pip", "install", "-q", "--only-binary", ":all:", wheel)
    return python


@pytest.fixture(scope="module")
def installed(tmp_path_factory) -> Path:
    """A fresh environment after `pip install <source tree>` and mypy."""
    python = _fresh_venv(tmp_path_factory.mktemp("user") / "venv")
    _run(python, "-m", "pip", "install", "-q", TOP)
    _run(python, "-m", "pip", "install", "-q", "mypy>=1.18")
    return python


def test_wheel_contents(wheel):
    version = _version()
    assert re.fullmatch(rf"cyclewright-{re.escape(version)}-cp3\d+-cp3\d+-manylinux_2_\d+_x86_64\.whl", wheel.name)
    package = {f"cyclewright_report/{p.relative_to(REPORT_PACKAGE).as_posix()}"
               for p in REPORT_PACKAGE.rglob("*.py")}
    fatigue = {f"cyclewright_fatigue/{p.name}" for p in FATIGUE_PACKAGE.iterdir()
               if p.suffix in (".py", ".pyi") or p.name == "py.typed"}
    with zipfile.ZipFile(wheel) as z:
        names = {n for n in z.namelist() if not n.endswith("/")}
        info = f"cyclewright-{version}.dist-info"
        (module,) = [n for n in names if n.startswith("cyclewright.") and n.endswith(".so")]
        assert "/" not in module
        (native,) = [n for n in names if n.startswith("cyclewright_fatigue/_native.") and n.endswith(".so")]
        assert names == {module, native, "cyclewright.pyi", "cyclewright-stubs/__init__.pyi", *package, *fatigue,
                         f"{info}/METADATA", f"{info}/WHEEL", f"{info}/RECORD",
                         f"{info}/entry_points.txt", f"{info}/licenses/LICENSE"}
        assert z.read("cyclewright.pyi") == z.read("cyclewright-stubs/__init__.pyi") == STUB.read_bytes()
        assert z.read(f"{info}/licenses/LICENSE") == (TOP / "LICENSE").read_bytes()
        assert "cyclewright-report = cyclewright_report.cli:main" in z.read(f"{info}/entry_points.txt").decode()
        metadata = email.parser.Parser().parsestr(z.read(f"{info}/METADATA").decode())
    assert metadata["Name"] == "cyclewright" and metadata["Version"] == version
    assert metadata["License-Expression"] == "MIT"
    assert metadata["Requires-Python"] == ">=3.11"
    assert [r.replace(" ", "") for r in metadata.get_all("Requires-Dist")] == [
        "numpy>=1.26", "pandas>=2.2", 'matplotlib>=3.8;extra=="plots"',
        'dask[distributed]>=2024.1;extra=="dask"', 'openfast-io>=4;extra=="openfast"',
        'h5py>=3.10;extra=="hawc2"']
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
    assert f"Version: {_version()}" in shown and "Requires: numpy, pandas" in shown


@pytest.mark.parametrize("environment", ["installed", "repaired"])
def test_installed_command_without_matplotlib(request, environment, tmp_path):
    """The tables are written (pictures only when asked for); a picture
    folder fails at once, in one line that tells how to get the pictures,
    leaving nothing behind. No compiler is on PATH: the environment's own
    bin folder only."""
    python = request.getfixturevalue(environment)
    bin_folder = python.parent
    assert _run(python, "-c", "import matplotlib", check=False).returncode != 0
    run = _run(bin_folder / "cyclewright-report", EXAMPLE_LOAD, "--csv", "t.csv", "--json", "t.json",
               cwd=tmp_path, path=bin_folder, check=False)
    assert (run.returncode, run.stderr) == (0, "")
    assert sorted(os.listdir(tmp_path)) == ["t.csv", "t.json", "t.statistics.csv"]
    header = (tmp_path / "t.csv").read_text().splitlines()[0].split(",")
    assert header[:8] == ["file", "channel", "samples", "m", "neq", "half", "eq_load", "eq_load_closed"]
    refused = _run(python, "-m", "cyclewright_report", EXAMPLE_LOAD, "--plots", "pictures", "--csv", "u.csv",
                   cwd=tmp_path, path=bin_folder, check=False)
    assert refused.returncode == 1 and refused.stderr.count(PLOTS_HINT) == 1 and "Traceback" not in refused.stderr
    assert sorted(os.listdir(tmp_path)) == ["t.csv", "t.json", "t.statistics.csv"]


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
