"""Load histories from files: text tables under any extension (pandas),
NumPy `.npy` files and OpenFAST output (openfast-io), each as a list of
channels of contiguous float64 samples the module can take."""

from __future__ import annotations

from collections.abc import Callable
from pathlib import Path

from ..model import LoadHistory, Options
from .npy import npy_names, read_npy
from .openfast import SUFFIXES as OPENFAST_SUFFIXES
from .openfast import read_openfast
from .text import WHITESPACE, open_checked, read_layout, read_text
from .text import count_channels as _text_channels
from .columns import load_indices, time_index

__all__ = ["WHITESPACE", "count_channels", "has_time_column", "read_load_history"]


def _kind(path: str) -> str:
    suffix = Path(path).suffix.lower()
    if suffix == ".npy":
        return "npy"
    return "openfast" if suffix in OPENFAST_SUFFIXES else "text"


def read_load_history(path: str, options: Options = Options(),
                      on_bytes: Callable[[int, int], None] | None = None) -> LoadHistory:
    """The channels of one file, each checked to hold samples the module can
    take, and the time the file spans when it has a time column."""
    kind = _kind(path)
    if kind == "npy":
        return read_npy(path, options)
    if kind == "openfast":
        return read_openfast(path, options)
    return read_text(path, options, on_bytes)


def has_time_column(path: str, options: Options = Options()) -> bool:
    """Whether a file's header names a time column (OpenFAST output always does)."""
    kind = _kind(path)
    if kind != "text":
        return kind == "openfast"
    return time_index(read_layout(path, options).names, options, path) is not None


def count_channels(path: str, options: Options = Options()) -> int | None:
    """The number of channels a file gives, from its header alone; None when
    only a full read can tell (OpenFAST output). Refuses what the header
    already shows to be wrong."""
    kind = _kind(path)
    if kind == "npy":
        return len(load_indices(npy_names(path), options, path, None))
    if kind == "openfast":
        open_checked(path).close()
        return None
    return _text_channels(path, options)
