"""Lifetime loads: the weights of a run's files (a CSV of file name and
hours), how often each file recurs in its hours, and the load at neq cycles
whose damage is that of every file's cycles that many times over."""

from __future__ import annotations

import csv
import math
import os
from collections.abc import Mapping, Sequence

from .inputs import refuse_special
from .model import FileResult, Lifetime, Options, ReportError
from .reading import Header

SECONDS_PER_HOUR = 3600.0


def read_weights(path: str, what: str = "hours") -> list[tuple[str, float]]:
    """(file name, hours) rows (or wind speeds: what="m/s"); a first row
    whose weight is no number is a header."""
    refuse_special(path, " (--weights)")
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
            raise ReportError(f"{path}: row {number}: {len(row)} cells; a weight row is: file, {what}")
        name, text = row[0].strip(), row[1].strip()
        try:
            hours = float(text)
        except ValueError:
            if number == 1:
                continue  # a header
            raise ReportError(f"{path}: row {number}: {text!r} is not a number of {what}") from None
        if not (math.isfinite(hours) and hours >= 0):
            raise ReportError(f"{path}: row {number}: the weight of {name} must be zero or more {what}")
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


def repetitions(weight_hours: float, duration_seconds: float) -> float:
    """How often a file of this duration recurs in `weight_hours` of life."""
    return weight_hours * SECONDS_PER_HOUR / duration_seconds


def lifetime_load(m: float, loads: Sequence[float], counts: Sequence[float]) -> float:
    """(sum_i n_i * DEL_i**m) ** (1/m): the load at neq cycles whose damage is
    that of every file's cycles n_i times over. With S_i = 2 neq DEL_i**m the
    file's power sum, this is (sum_i n_i S_i / (2 neq)) ** (1/m). Scaled by
    the largest load, so that large loads and exponents do not overflow."""
    if any(not math.isfinite(v) for v in loads):
        return math.nan
    top = max(loads, default=0.0)
    if top == 0.0:
        return 0.0
    total = math.fsum(n * (v / top) ** m for v, n in zip(loads, counts, strict=True))
    return top * total ** (1.0 / m)


def lifetime_loads(per_file: Sequence[Mapping[tuple[str, float], float]],
                   counts: Sequence[float]) -> dict[tuple[str, float], float]:
    """(channel, m) -> lifetime load, from each file's (channel, m) -> load."""
    keys = list(per_file[0]) if per_file else []
    return {key: lifetime_load(key[1], [loads[key] for loads in per_file], counts) for key in keys}


def check_duration_known(path: str, header: Header, options: Options) -> None:
    """Before any work: a weighted file needs a duration, from its time
    column or its samples over --sample-rate."""
    if not options.sample_rate and not header.timed:
        raise ReportError(f"{path}: its duration is unknown: no time column "
                          "(see --time-column), and no --sample-rate")


def lifetime(results: Sequence[FileResult], hours: Sequence[float], options: Options) -> Lifetime:
    """The lifetime loads of every channel and m over the files' results,
    each file weighted by its hours (in the order of results)."""
    counts, per_file, per_file_closed = [], [], []
    for result, weight in zip(results, hours, strict=True):
        duration = result.duration
        if duration is None and options.sample_rate and result.rows:
            duration = result.rows[0].samples / options.sample_rate
        if not duration:
            raise ReportError(f"{result.path}: its duration is unknown (no time column, or a single "
                              "time step); give --sample-rate")
        counts.append(repetitions(weight, duration))
        per_file.append({(row.channel, row.m): row.eq_load for row in result.rows})
        per_file_closed.append({(row.channel, row.m): row.eq_load_closed for row in result.rows})
    keys = set(per_file[0])
    for result, loads in zip(results, per_file, strict=True):
        for channel, _ in keys.symmetric_difference(loads):
            missing = result.path if channel not in loads else results[0].path
            raise ReportError(f"{missing}: no channel {channel!r}; a lifetime load needs it in "
                              "every file (see --channels, --exclude)")
    units = {row.channel: row.unit for result in results for row in result.rows}
    return Lifetime({r.path: w for r, w in zip(results, hours, strict=True)},
                    {r.path: n for r, n in zip(results, counts, strict=True)},
                    lifetime_loads(per_file, counts), units, lifetime_loads(per_file_closed, counts))
