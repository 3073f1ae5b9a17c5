"""What every format reader gives before reading any sample: the channels'
names, units and descriptions, how many samples there are, where time is,
and the one exception every reader raises."""

from __future__ import annotations

import dataclasses
import types
from collections import Counter
from collections.abc import Iterable, Mapping
from typing import Any


class FormatError(ValueError):
    """A file that cannot be read as its format, in one line naming the file
    and, where there is one, the line (counting from 1) and the column."""

    def __init__(self, path: str, message: str, line: int | None = None, column: int | None = None):
        self.path, self.message, self.line, self.column = str(path), message, line, column
        where = self.path
        if line is not None:
            where += f": line {line}"
        if column is not None:
            where += f", column {column}" if line is not None else f": column {column}"
        super().__init__(f"{where}: {message}")


@dataclasses.dataclass(frozen=True)
class Header:
    """A file's channels as its header describes them, parsed once.

    `names`, `units` and `descriptions` run parallel, one entry per column
    that `read_data` can return (indices into `names`). A unit or description
    the file does not give is None. `samples` is the number of time steps, or
    None where only reading the numbers can tell (text files). `time` names
    the file's time, or is None: `time_index` is its column in `names`, or
    None where the file keeps time beside the channels (gtsdf, FLEX), and
    `read_data` returns the time whenever `time` is not None. `dtype` is how
    the samples are stored ('int16' when scaled by a factor per channel,
    'float32', 'float64', 'text'); `layout` holds what the format's own
    `read_data` needs (offsets, scale factors), nothing a caller relies on.
    """

    path: str
    kind: str
    names: tuple[str, ...]
    units: tuple[str | None, ...]
    descriptions: tuple[str | None, ...]
    samples: int | None
    time: str | None
    time_index: int | None
    dtype: str
    layout: Mapping[str, Any] = dataclasses.field(
        default_factory=lambda: types.MappingProxyType({}), compare=False, repr=False)

    def __post_init__(self) -> None:
        if not len(self.names) == len(self.units) == len(self.descriptions):
            raise ValueError("names, units and descriptions must run parallel")


def unique_names(names: Iterable[str]) -> tuple[str, ...]:
    """The names with every repeat made distinct: the first of equal names is
    kept, each later one gets ' (column N)' appended, N its column counting
    from 1. ['a', 'b', 'a'] -> ('a', 'b', 'a (column 3)')."""
    names = list(names)
    repeated = {name for name, count in Counter(names).items() if count > 1}
    seen: set[str] = set()
    out = []
    for column, name in enumerate(names, 1):
        if name in repeated and name in seen:
            out.append(f"{name} (column {column})")
        else:
            out.append(name)
            seen.add(name)
    return tuple(out)


def plain_unit(text: str | None) -> str | None:
    """A unit without its brackets, or None when there is none: '(kN)' -> 'kN'."""
    text = (text or "").strip()
    if len(text) >= 2 and (text[0], text[-1]) in (("(", ")"), ("[", "]"), ("{", "}")):
        text = text[1:-1].strip()
    return text or None


def freeze(mapping: Mapping[str, Any]) -> Mapping[str, Any]:
    return types.MappingProxyType(dict(mapping))
