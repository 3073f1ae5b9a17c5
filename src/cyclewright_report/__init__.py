"""cyclewright_report: the fatigue report built on the cyclewright module.

The command `cyclewright-report` (or `python -m cyclewright_report`) reads
load histories and writes, per channel, the damage-equivalent loads for a
list of Wöhler exponents, tables in CSV and JSON and a picture of the
rainflow cycles. The same work is a Python API:

    from cyclewright_report import Options, analyse_file, analyse_files, read_load_history
"""

from __future__ import annotations

from .analysis import analyse_file, analyse_or_fail
from .counting import equivalent_loads, merge_plateaus
from .inputs import expand_inputs
from .lifetime import lifetime_load
from .model import Channel, FileFailure, FileResult, LoadHistory, Options, ReportError, Row
from .pool import analyse_files
from .reading import count_channels, read_header, read_load_history

run_report = analyse_files  # its earlier name

__all__ = [
    "Channel", "FileFailure", "FileResult", "LoadHistory", "Options", "ReportError", "Row",
    "analyse_file", "analyse_files", "analyse_or_fail", "count_channels", "equivalent_loads",
    "expand_inputs", "lifetime_load", "merge_plateaus", "read_header", "read_load_history",
    "run_report",
]
