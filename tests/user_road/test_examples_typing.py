"""The report package and the example programs type-check against the
module's stub, on the oldest supported CPython, so a changed signature or a
newer-only feature is caught before a user runs them."""

from __future__ import annotations

import os
import subprocess
import sys

import pytest

import cyclewright
from road_support import EXAMPLES, SRC

pytest.importorskip("mypy")


def test_package_and_examples_type_check(tmp_path):
    stub_dir = os.path.dirname(cyclewright.__file__)
    assert os.path.exists(os.path.join(stub_dir, "cyclewright.pyi"))
    programs = [SRC / "cyclewright_report", *(EXAMPLES / n for n in ("module_loads.py", "make_example_load.py"))]
    done = subprocess.run(
        [sys.executable, "-m", "mypy", "--python-version", "3.11", "--ignore-missing-imports",
         "--no-incremental", *map(str, programs)],
        cwd=tmp_path, capture_output=True, text=True, timeout=300,
        env={**os.environ, "MYPYPATH": stub_dir})
    assert done.returncode == 0, done.stdout + done.stderr


def test_module_example_runs():
    done = subprocess.run([sys.executable, str(EXAMPLES / "module_loads.py")], capture_output=True,
                          text=True, timeout=120)
    assert done.returncode == 0, done.stderr
    assert done.stdout.splitlines()[0].startswith("blade_root_flap: ")
