"""Load histories from files: text tables under any extension (pandas),
NumPy `.npy` files and OpenFAST output (openfast-io), each as a list of
channels of contiguous float64 samples the module can take. Each format is
a Reader (see reader.py), chosen by the table below."""

from __future__ import annotations

import dataclasses
from collections.abc import Callable
from pathlib import Path

from ..model import LoadHistory, Options
from .npy import NpyReader
from .openfast import OpenFastReader
from .reader import Header, Reader
from .text import WHITESPACE, TextReader

__all__ = ["WHITESPACE", "Header", "Reader", "count_channels", "read_header", "read_load_history",
           "reader_for"]


@dataclasses.dataclass(frozen=True)
class Format:
    suffixes: tuple[str, ...]  # lower case, with the dot
    reader: type[Reader]
    # Where one suffix means several formats: whether the file is this one.
    sniff: Callable[[str], bool] | None = None


DEFAULTS = Options()

# The first row that claims a file reads it; text tables take the rest.
FORMATS = (
    Format((".npy",), NpyReader),
    Format((".out", ".outb"), OpenFastReader),
)


def reader_for(path: str, options: Options = DEFAULTS) -> Reader:
    suffix = Path(path).suffix.lower()
    for row in FORMATS:
        if suffix in row.suffixes and (row.sniff is None or row.sniff(path)):
            return row.reader(path, options)
    return TextReader(path, options)


def read_header(path: str, options: Options = DEFAULTS) -> Header:
    """A file's header, checked against the options (see Reader)."""
    return reader_for(path, options).header()


def read_load_history(path: str, options: Options = DEFAULTS,
                      on_bytes: Callable[[int, int], None] | None = None,
                      header: Header | None = None) -> LoadHistory:
    """The channels of one file, each checked to hold samples the module can
    take, and the time the file spans when it has a time column. `header`,
    from read_header, spares parsing it again."""
    reader = reader_for(path, options)
    return reader.read(header if header is not None else reader.header(), on_bytes)


def count_channels(path: str, options: Options = DEFAULTS) -> int | None:
    """The number of channels a file gives, from its header alone; None when
    only a full read can tell (OpenFAST output). Refuses what the header
    already shows to be wrong."""
    loads = read_header(path, options).loads
    return None if loads is None else len(loads)
