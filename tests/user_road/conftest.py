"""Fixtures of the user-road tests: the fatigue report, the bundled example
load, the Dask example and the package.

The report tests need the module on the path, as the other suites do:

    PYTHONPATH=<build>/python python -m pytest tests/user_road -q \
        --ignore tests/user_road/test_packaging.py

The packaging tests build and install the package themselves and need only a
CPython with pip and access to PyPI (or a filled pip cache).
"""

from __future__ import annotations

import sys

import pytest

from road_support import EXAMPLES, Run


@pytest.fixture(scope="session")
def report():
    """The fatigue_report module (it imports cyclewright)."""
    sys.path.insert(0, str(EXAMPLES))
    import fatigue_report
    return fatigue_report


@pytest.fixture
def cli(report, capsys):
    """Runs the report's main() in this process: cli('a.csv', '--no-plots')."""
    def run(*args: object) -> Run:
        code = report.main([str(a) for a in args])
        captured = capsys.readouterr()
        return Run(code, captured.out, captured.err)
    return run
