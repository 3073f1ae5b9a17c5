"""The files simulators write, read by the formats package: HAWC2 results
(.sel + .dat, binary or ASCII), gtsdf (.hdf5), FAST and OpenFAST text
output (.out) and FLEX (.int). One Reader per format, each a module of
that package with read_header(path) and read_data(path, header, columns)."""

from __future__ import annotations

import dataclasses
from collections.abc import Callable
from types import ModuleType

from ..formats import fast_text, flex, gtsdf, hawc2
from ..model import LoadHistory, Options
from .columns import check_window, finish_history, load_indices, time_index
from .reader import Header


class FormatReader:
    """The header is the format's own (its `layout` here); time is its
    column, the one --time-column names, or, where the format keeps time
    beside the channels (gtsdf, FLEX), the time read_data gives."""

    module: ModuleType

    def __init__(self, path: str, options: Options):
        self.path, self.options = path, options

    def header(self) -> Header:
        found = self.module.read_header(self.path)
        names = list(found.names)
        if self.options.time_column is not None or found.time_index is not None:
            time = time_index(names, self.options, self.path)
        else:
            time = None
            check_window(self.path, found.time is not None, self.options)
        loads = load_indices(names, self.options, self.path, time)
        # A plain dict for the format's notes: the header goes to worker processes.
        found = dataclasses.replace(found, layout=dict(found.layout))
        return Header(names, list(found.units), time, loads, time is not None or found.time is not None,
                      rows=found.samples, layout=found)

    def read(self, header: Header, on_bytes: Callable[[int, int], None] | None = None) -> LoadHistory:
        assert header.loads is not None
        wanted = header.loads + ([header.time] if header.time is not None else [])
        time, values = self.module.read_data(self.path, header.layout, wanted, on_bytes=on_bytes)
        if header.time is not None:
            time = values[:, -1]
        return finish_history(self.path, header, [values[:, k] for k in range(len(header.loads))],
                              time, self.options)


class Hawc2Reader(FormatReader):
    module = hawc2


class GtsdfReader(FormatReader):
    module = gtsdf


class FastTextReader(FormatReader):
    module = fast_text


class FlexReader(FormatReader):
    module = flex
