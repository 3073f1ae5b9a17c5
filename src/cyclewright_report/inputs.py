"""The input files of a run: names and glob patterns, expanded in order."""

from __future__ import annotations

import glob
import os
import re
import stat
from collections.abc import Iterable

from .model import ReportError
from .reading import same_file


def expand_inputs(patterns: Iterable[str]) -> list[str]:
    """Paths in the order given; a pattern with wildcards that names no
    existing file is expanded (sorted), and must match something. A file
    named twice is read once."""
    paths, seen = [], set()
    for pattern in patterns:
        if re.search(r"[*?[]", pattern) and not os.path.exists(pattern):
            matches = sorted(glob.glob(pattern, recursive=True))
            if not matches:
                raise ReportError(f"{pattern}: no file matches")
        else:
            matches = [pattern]
        for path in matches:
            key = same_file(path)  # a HAWC2 pair named by .sel and .dat counts once
            if key not in seen:
                seen.add(key)
                refuse_special(path)
                paths.append(path)
    return paths


def refuse_special(path: str, option: str = "") -> None:
    """Refuses a FIFO, device or socket, which could block a run forever or
    never end; a missing file or a folder is left to the reader to name."""
    try:
        mode = os.stat(path).st_mode
    except OSError:
        return
    if not (stat.S_ISREG(mode) or stat.S_ISDIR(mode)):
        raise ReportError(f"{path}: is not a regular file (a FIFO, device or socket){option}; "
                          "the report reads files only")
