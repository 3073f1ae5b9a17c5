"""Fixtures of the user-road tests: the report package, the bundled example
load, the Dask runner and the packaging.

The report tests need the module on the path, as the other suites do; the
package comes from src/ unless one is installed:

    PYTHONPATH=<build>/python python -m pytest tests/user_road -q \
        --ignore tests/user_road/test_packaging.py

The packaging tests build and install the package themselves and need only a
CPython with pip and access to PyPI (or a filled pip cache).
"""

from __future__ import annotations

import sys

import pytest

from road_support import SRC, Run

if str(SRC) not in sys.path:
    sys.path.insert(1, str(SRC))


@pytest.fixture(scope="session")
def report():
    """The cyclewright_report package (it imports cyclewright)."""
    import cyclewright_report
    import cyclewright_report.cli  # noqa: F401  (report.cli in the tests)
    return cyclewright_report


@pytest.fixture
def cli(report, capsys):
    """Runs the command's main() in this process: cli('a.csv', '--no-plots')."""
    def run(*args: object) -> Run:
        code = report.cli.main([str(a) for a in args])
        captured = capsys.readouterr()
        return Run(code, captured.out, captured.err)
    return run


@pytest.fixture
def read(report):
    """The channels of a file: read(path, delimiter=';') -> {name: samples}."""
    def channels(path: object, **options: object) -> dict:
        history = report.read_load_history(str(path), report.Options(**options))
        return {c.name: c.samples for c in history.channels}
    return channels
