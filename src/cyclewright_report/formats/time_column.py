"""Which column of a file holds time, found by its name."""

from __future__ import annotations

import re
from collections.abc import Sequence

from .header import FormatError

_SECONDS = r"(\s*(\[\s*(s|sec|secs|seconds?)\s*\]|\(\s*(s|sec|secs|seconds?)\s*\)))?"
# 'time' in any case, alone or with seconds in brackets: 'Time [s]', 'TIME (sec)'.
_TIME = re.compile(r"time" + _SECONDS, re.IGNORECASE)
# 't' is weaker: it counts only where no column is named time.
_T = re.compile(r"t" + _SECONDS, re.IGNORECASE)


def find_time_column(names: Sequence[str], explicit: str | None = None, *,
                     path: str = "<names>") -> int | None:
    """The index of the column holding time in seconds, or None.

    `explicit` names it (exactly) and must be among `names`. Otherwise a
    column named 'time' in any case, alone or with its unit in brackets
    ('Time [s]', 'Time [sec]', 'Time (s)'), or failing that one named 't'
    the same way. Two such columns are an error: the caller must choose.

    >>> find_time_column(['Time [s]', 'RootMyb1'])
    0
    """
    if explicit is not None:
        if explicit not in names:
            raise FormatError(path, f"no column named {explicit!r} to take as time")
        return list(names).index(explicit)
    for pattern in (_TIME, _T):
        found = [j for j, name in enumerate(names) if pattern.fullmatch(name.strip())]
        if len(found) > 1:
            shown = ", ".join(repr(names[j]) for j in found)
            raise FormatError(path, f"{len(found)} columns may hold time ({shown}); name the one to use")
        if found:
            return found[0]
    return None
