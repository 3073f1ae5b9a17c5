"""The input files of a run: names and glob patterns, expanded in order."""

from __future__ import annotations

import glob
import os
import re
from collections.abc import Iterable

from .model import ReportError


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
            key = os.path.realpath(path)
            if key not in seen:
                seen.add(key)
                paths.append(path)
    return paths
