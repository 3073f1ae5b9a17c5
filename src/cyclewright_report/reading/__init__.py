"""Load histories from files: text tables under any extension, NumPy `.npy`
files, the outputs of simulators (HAWC2, gtsdf, FAST text, FLEX; the
formats package) and OpenFAST binary output (openfast-io), each as a list
of channels of contiguous float64 samples the module can take. Each format
is a Reader (see reader.py), chosen by the table below."""

from __future__ import annotations

import dataclasses
import os
from collections.abc import Callable
from pathlib import Path

from ..formats import FormatError
from ..formats.hawc2 import pair
from ..model import LoadHistory, Options, ReportError
from .npy import NpyReader
from .openfast import OpenFastReader
from .reader import Header, Reader
from .simulators import FastTextReader, FlexReader, GtsdfReader, Hawc2Reader
from ..formats.table import WHITESPACE
from .text import TextReader

__all__ = ["WHITESPACE", "Header", "Reader", "count_channels", "read_header", "read_load_history",
           "reader_for", "same_file"]


@dataclasses.dataclass(frozen=True)
class Format:
    suffixes: tuple[str, ...]  # lower case, with the dot
    reader: type[Reader]
    # Where one suffix means several formats: whether the file is this one.
    sniff: Callable[[str], bool] | None = None


DEFAULTS = Options()

def _hawc2_pair(path: str) -> bool:
    """A .sel, or a .dat with its .sel beside it (else a .dat is a text table)."""
    return os.path.exists(pair(path)[0])


# The first row that claims a file reads it; text tables take the rest. A
# reader finds at once, from the first bytes, a file that is not what its
# name says (formats.sniff).
FORMATS = (
    Format((".npy",), NpyReader),
    Format((".outb",), OpenFastReader),
    Format((".out",), FastTextReader),
    Format((".sel", ".dat"), Hawc2Reader, _hawc2_pair),
    Format((".hdf5", ".h5"), GtsdfReader),
    Format((".int",), FlexReader),
)


def same_file(path: str) -> str:
    """What makes two inputs one: the real path, for HAWC2 the pair's."""
    if Path(path).suffix.lower() in (".sel", ".dat") and _hawc2_pair(path):
        return os.path.realpath(pair(path)[0])
    return os.path.realpath(path)


def reader_for(path: str, options: Options = DEFAULTS) -> Reader:
    suffix = Path(path).suffix.lower()
    for row in FORMATS:
        if suffix in row.suffixes and (row.sniff is None or row.sniff(path)):
            return row.reader(path, options)
    return TextReader(path, options)


def read_header(path: str, options: Options = DEFAULTS) -> Header:
    """A file's header, checked against the options (see Reader)."""
    try:
        return reader_for(path, options).header()
    except FormatError as exc:
        raise ReportError(str(exc)) from None


def read_load_history(path: str, options: Options = DEFAULTS,
                      on_bytes: Callable[[int, int], None] | None = None,
                      header: Header | None = None) -> LoadHistory:
    """The channels of one file, each checked to hold samples the module can
    take, and the time the file spans when it has a time column. `header`,
    from read_header, spares parsing it again."""
    reader = reader_for(path, options)
    try:
        return reader.read(header if header is not None else reader.header(), on_bytes)
    except FormatError as exc:
        raise ReportError(str(exc)) from None


def count_channels(path: str, options: Options = DEFAULTS) -> int | None:
    """The number of channels a file gives, from its header alone; None when
    only a full read can tell (OpenFAST output). Refuses what the header
    already shows to be wrong."""
    loads = read_header(path, options).loads
    return None if loads is None else len(loads)
