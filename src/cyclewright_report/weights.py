"""The weights of a lifetime: a CSV of file name and hours, one row per
file of the run, matched to the run's files."""

from __future__ import annotations

import csv
import math
import os
from collections.abc import Sequence

from .model import ReportError


def read_weights(path: str) -> list[tuple[str, float]]:
    """(file name, hours) rows; a first row whose weight is no number is a header."""
    try:
        with open(path, newline="", encoding="utf-8-sig") as f:
            rows = [row for row in csv.reader(f) if any(cell.strip() for cell in row)]
    except FileNotFoundError:
        raise ReportError(f"{path}: no such file (--weights)") from None
    except (OSError, UnicodeDecodeError, csv.Error) as exc:
        raise ReportError(f"{path}: cannot read the weights ({exc})") from None
    weights = []
    for number, row in enumerate(rows, 1):
        if len(row) != 2:
            raise ReportError(f"{path}: row {number}: {len(row)} cells; a weight row is: file, hours")
        name, text = row[0].strip(), row[1].strip()
        try:
            hours = float(text)
        except ValueError:
            if number == 1:
                continue  # a header
            raise ReportError(f"{path}: row {number}: {text!r} is not a number of hours") from None
        if not (math.isfinite(hours) and hours >= 0):
            raise ReportError(f"{path}: row {number}: the weight of {name} must be zero or more hours")
        weights.append((name, hours))
    return weights


def match_weights(weights: Sequence[tuple[str, float]], paths: Sequence[str],
                  source: str) -> list[float]:
    """The weight of each path, in order. A name matches a path written the
    same way, the same file relative to the weights file's folder, or a path
    whose file name it is when no other path of the run has that file name."""
    real = [os.path.realpath(p) for p in paths]
    base = os.path.dirname(os.path.abspath(source))
    names = [os.path.basename(p) for p in paths]
    found: dict[int, float] = {}
    for name, hours in weights:
        target = os.path.realpath(os.path.join(base, name))
        hits = [i for i, p in enumerate(paths) if p == name or real[i] == target]
        if not hits:
            hits = [i for i, n in enumerate(names) if n == name]
            if len(hits) > 1:
                raise ReportError(f"{source}: {name} names {len(hits)} files of this run; "
                                  "write its path")
        if not hits:
            raise ReportError(f"{source}: {name} is not a file of this run")
        if hits[0] in found:
            raise ReportError(f"{source}: {name}: a second weight for {paths[hits[0]]}")
        found[hits[0]] = hours
    for i, path in enumerate(paths):
        if i not in found:
            raise ReportError(f"{path}: no weight in {source}")
    return [found[i] for i in range(len(paths))]
