"""What every reader of a file format gives: a header, then the samples.

A reader is a small class made with the file's path and the run's options:

    reader = SomeReader(path, options)
    header = reader.header()   # cheap: the first lines, an array's header
    history = reader.read(header, on_bytes)

`header()` returns a Header: every column's name in the file's order, their
units, the time column, the columns analysed as loads (after --channels,
--exclude and --time-column) and the samples per channel when the header
tells. It refuses what the header already shows to be wrong, so a run
checks every file before any work.

`read(header, on_bytes)` takes that header (parsed once, perhaps in another
process) and returns a LoadHistory: the load channels as contiguous float64
arrays checked for the module, and the file's duration in seconds when it has
a time column. `on_bytes(done, size)`, if given, hears how much of the file
has been read.

A new format is one Reader class and one row of the table in this package's
__init__."""

from __future__ import annotations

import dataclasses
from collections.abc import Callable
from typing import Any, Protocol

from ..model import LoadHistory, Options


@dataclasses.dataclass(frozen=True)
class Header:
    names: list[str] | None  # None: only a full read tells (OpenFAST output)
    units: list[str | None] | None  # per column of names
    time: int | None  # index in names of the time column
    loads: list[int] | None  # indices in names of the load columns, in the file's order
    timed: bool  # whether the file has a time column, even where names is None
    rows: int | None = None  # samples per channel, where the header tells
    layout: Any = None  # the reader's own notes, e.g. where the numbers start


class Reader(Protocol):
    def __init__(self, path: str, options: Options) -> None: ...

    def header(self) -> Header: ...

    def read(self, header: Header,
             on_bytes: Callable[[int, int], None] | None = None) -> LoadHistory: ...
