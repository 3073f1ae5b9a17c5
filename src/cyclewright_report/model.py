"""The values the parts of the report hand each other: options, channels,
table rows, the result of one file. All are picklable, so worker processes
and cluster workers can send them back."""

from __future__ import annotations

import dataclasses
from typing import NamedTuple

import numpy as np

DEFAULT_EXPONENTS = (3.0, 4.0, 5.0, 8.0, 10.0, 12.0)
DEFAULT_NEQ = 10**7
NEQ_LIMIT = 2**64  # the module takes neq as an unsigned 64-bit integer


class ReportError(Exception):
    """Bad input or an unusable output path: one line for the user."""


@dataclasses.dataclass(frozen=True)
class Options:
    exponents: tuple[float, ...] = DEFAULT_EXPONENTS
    neq: int = DEFAULT_NEQ
    half: bool = True
    allow_nan: bool = False
    keep_plateaus: bool = False
    # Reading text tables: one character, "ws" for any run of whitespace, or
    # None: found in each file's first row.
    delimiter: str | None = None
    decimal: str = "."
    skip_rows: int = 0  # lines before the header row
    comment: str | None = None  # lines starting with it are skipped
    names: tuple[str, ...] | None = None  # the names of a table without a header row
    encoding: str | None = None  # None: UTF-8, else Latin-1
    time_column: str | None = None  # None: one named time, Time [s], t, ... in any case
    t_start: float | None = None  # seconds: only the samples from t_start to t_end
    t_end: float | None = None
    channels: tuple[str, ...] = ()  # names or globs; empty: every channel
    exclude: tuple[str, ...] = ()
    unit: str | None = None  # overrides the units row
    sample_rate: float | None = None  # Hz, for files without a time column
    # Pictures: None draws none.
    plot_dir: str | None = None
    dpi: int = 100
    plot_format: str = "png"
    # Set by a run of the command: pictures are drawn to temporaries named
    # with it and put in place with the tables when all is done.
    run_id: str | None = None
    # Beyond the loads: per-channel exponents (glob, exponents), the first
    # matching glob wins over `exponents`; S-N curves as given (--sn) with
    # the stress per unit load per glob; rainflow matrices; extremes.
    exponent_rules: tuple[tuple[str, tuple[float, ...]], ...] = ()
    sn: tuple[str, ...] = ()
    sn_scales: tuple[tuple[str, float], ...] = ()
    matrix_dir: str | None = None
    matrix_bins: int = 64
    extremes_context: bool = False


@dataclasses.dataclass(frozen=True)
class Channel:
    name: str
    samples: np.ndarray  # one-dimensional, contiguous float64
    unit: str | None = None


@dataclasses.dataclass(frozen=True)
class LoadHistory:
    """The channels of one file and the time they span (None: unknown)."""
    channels: list[Channel]
    duration: float | None = None
    names: tuple[str, ...] = ()  # every column's name, load or not (for --channels)
    time: np.ndarray | None = None  # seconds of each sample, where the file has a time column


class Row(NamedTuple):
    file: str
    channel: str
    samples: int  # as read, before flat tops are merged
    m: float
    eq_load: float
    eq_load_closed: float
    merged: int = 0  # samples merged away into the flat tops' first sample
    unit: str | None = None
    duration: float | None = None  # seconds


@dataclasses.dataclass(frozen=True)
class FileResult:
    path: str
    channel_count: int
    rows: list[Row]
    pictures: list[str]
    duration: float | None = None
    channel_names: tuple[str, ...] = ()  # every column's name in the file, load or not
    statistics: list = dataclasses.field(default_factory=list)  # statistics.Statistics
    extremes: list = dataclasses.field(default_factory=list)  # statistics.Extreme
    damage: list = dataclasses.field(default_factory=list)  # damage_table.Damage
    matrices: list = dataclasses.field(default_factory=list)  # matrices.MatrixFile


@dataclasses.dataclass(frozen=True)
class FileFailure:
    """A file that could not be analysed, and the one line that says why."""
    path: str
    message: str


@dataclasses.dataclass(frozen=True)
class Lifetime:
    """Lifetime loads over weighted files: per file its hours and how often
    it recurs, per (channel, m) the load."""
    hours: dict[str, float]
    repetitions: dict[str, float]
    loads: dict[tuple[str, float], float]
    units: dict[str, str | None]
    loads_closed: dict[tuple[str, float], float] = dataclasses.field(default_factory=dict)
    weighting: str = ""  # how the hours were found, for the console
