"""The tables beside the loads: statistics, extremes with context, damage and
the matrices written, for the console (rounded per row), their CSV files
beside --csv (STEM.statistics.csv, STEM.extremes.csv, STEM.damage.csv, every
digit) and the JSON document."""

from __future__ import annotations

import csv
import dataclasses
import io
import math
import os
from collections.abc import Iterable, Sequence
from typing import Any

from . import matrices, naming
from .damage_table import DAMAGE_FIELDS, Damage
from .matrices import MatrixFile
from .model import FileResult, Options, ReportError
from .output import Outputs, PictureFolder, TableFile, _render, _shown
from .statistics import EXTREMES_FIELDS, STATISTICS_FIELDS


@dataclasses.dataclass
class Extras:
    """What the run adds in the parent: lifetime damage and matrices, and
    the options as given, so that a run can be repeated."""
    lifetime_damage: list[Damage] = dataclasses.field(default_factory=list)
    lifetime_matrices: list[MatrixFile] = dataclasses.field(default_factory=list)
    options: dict[str, Any] = dataclasses.field(default_factory=dict)


def _cell(value: Any) -> Any:
    # repr(): the shortest text that reads back as the same double.
    return "" if value is None else repr(value) if isinstance(value, float) else value


def _csv(header: Sequence[str], rows: Iterable[Sequence[Any]]) -> str:
    f = io.StringIO()
    writer = csv.writer(f, lineterminator="\n")
    writer.writerow(header)
    writer.writerows([_cell(v) for v in row] for row in rows)
    return f.getvalue()


def run_channels(results: Sequence[FileResult]) -> list[str]:
    """Every channel of the run, in the order first met."""
    return list(dict.fromkeys(s.channel for r in results for s in r.statistics))


def _extreme_rows(results: Sequence[FileResult]) -> Iterable[tuple[Any, list[float | None]]]:
    names = run_channels(results)
    for result in results:
        where = {s.channel: j for j, s in enumerate(result.statistics)}
        for e in result.extremes:
            yield e, [float(e.context[where[n]]) if n in where else None for n in names]


def statistics_csv(results: Sequence[FileResult]) -> str:
    return _csv(STATISTICS_FIELDS, (s for r in results for s in r.statistics))


def extremes_csv(results: Sequence[FileResult]) -> str:
    return _csv(EXTREMES_FIELDS + tuple(run_channels(results)),
                ([*e[:5], *context] for e, context in _extreme_rows(results)))


def damage_rows(results: Sequence[FileResult], extras: Extras) -> list[Damage]:
    return [d for r in results for d in r.damage] + extras.lifetime_damage


def damage_csv(results: Sequence[FileResult], extras: Extras) -> str:
    return _csv(DAMAGE_FIELDS, damage_rows(results, extras))


def matrix_files(results: Sequence[FileResult], extras: Extras) -> list[MatrixFile]:
    return [m for r in results for m in r.matrices] + extras.lifetime_matrices


def _rounded(values: Sequence[float | None]) -> list[str]:
    """One row's numbers, rounded as the loads' rows are ('-': none)."""
    shown = iter(_shown(*(v for v in values if v is not None)))
    return ["-" if v is None else next(shown) for v in values]


def _section(title: str, header: Sequence[str], lines: Sequence[Sequence[str]], texts: int) -> list[str]:
    right = [False] * texts + [True] * (len(header) - texts)
    return ["", title, *_render(header, lines, right)]


def format_extras(results: Sequence[FileResult], options: Options, extras: Extras) -> str:
    """The statistics, and what else the options asked for, for reading."""
    stats = [s for r in results for s in r.statistics]
    out = _section("statistics of the samples as read (std: population, ddof 0; times in s)",
                   ["file", "channel", "unit", "samples", "min", "max", "mean", "std", "time of min",
                    "time of max"],
                   [[s.file, s.channel, s.unit or "-", str(s.samples),
                     *_rounded([s.min, s.max, s.mean, s.std]),
                     *("-" if t is None else f"{t:g}" for t in (s.time_of_min, s.time_of_max))]
                    for s in stats], 3)
    if options.extremes_context:
        out += _section("extremes (every channel's value at the same sample: the extremes CSV and JSON)",
                        ["file", "channel", "extreme", "time", "value"],
                        [[e.file, e.channel, e.extreme, "-" if e.time is None else f"{e.time:g}",
                          *_rounded([e.value])] for r in results for e in r.extremes], 3)
    if options.sn:
        out += _section(f"Palmgren-Miner damage ({'half' if options.half else 'full'} cycles in the residue)",
                        ["file", "channel", "sn", "scale", "damage"],
                        [[d.file, d.channel, d.sn, f"{d.scale:g}", f"{d.damage:.6g}"]
                         for d in damage_rows(results, extras)], 3)
    if options.matrix_dir is not None:
        out += _section(f"rainflow matrices, {options.matrix_bins} range x {options.matrix_bins} mean bins "
                        "(.npz and .csv)", ["file", "channel", "matrix", "cycles"],
                        [[m.file, m.channel, m.target, f"{m.cycles:g}"] for m in matrix_files(results, extras)],
                        3)
    return "\n".join(out) + "\n"


def _number(value: float | None) -> float | None:
    return value if value is not None and math.isfinite(value) else None  # JSON has no NaN


def json_parts(results: Sequence[FileResult], extras: Extras) -> dict[str, Any]:
    """The JSON document's keys beside the loads."""
    names = run_channels(results)
    extremes = []
    for e, context in _extreme_rows(results):
        extremes.append({"file": e.file, "channel": e.channel, "extreme": e.extreme, "time": e.time,
                         "value": _number(e.value),
                         "context": {n: _number(v) for n, v in zip(names, context, strict=True) if v is not None}})
    return {
        "statistics": [{k: _number(v) if isinstance(v, float) else v for k, v in s._asdict().items()}
                       for r in results for s in r.statistics],
        "extremes": extremes,
        "damage": [{**d._asdict(), "damage": _number(d.damage)} for d in damage_rows(results, extras)],
        "matrices": [{"file": m.file, "channel": m.channel, "npz": m.target,
                      "csv": matrices.csv_target(m.target), "cycles": m.cycles}
                     for m in matrix_files(results, extras)],
        "options": extras.options,
    }


def stem(csv_path: str) -> str:
    return csv_path[:-4] if csv_path.lower().endswith(".csv") else csv_path


class ExtraOutputs:
    """The side tables' files beside --csv and the matrices' folder, made
    and tried before any work, staged with the run's other outputs and put
    in place with them (outputs: the run's Outputs)."""

    def __init__(self, outputs: Outputs, csv_path: str | None, options: Options):
        self.outputs = outputs
        self.tables: list[tuple[TableFile, str]] = []
        self.folder: PictureFolder | None = None
        try:
            if csv_path:
                base = stem(csv_path)
                kinds = ["statistics", *(["extremes"] * options.extremes_context), *(["damage"] * bool(options.sn))]
                taken = {os.path.realpath(t.target) for t in outputs.tables}
                for kind in kinds:
                    target = f"{base}.{kind}.csv"
                    if os.path.realpath(target) in taken:
                        raise ReportError(f"{target}: --csv and --json name the same file")
                    self.tables.append((TableFile(target, "--csv", statistics_csv, outputs.run,
                                                  outputs.protected), kind))
            if options.matrix_dir is not None:
                self.folder = PictureFolder(options.matrix_dir, "--matrix", "matrices")
        except ReportError:
            self.discard()
            raise

    def stage(self, results: Sequence[FileResult], extras: Extras) -> list[str]:
        """Writes the side tables' temporaries and stages them and the
        matrices' with the run's other outputs; returns the tables' names."""
        texts = {"statistics": lambda: statistics_csv(results), "extremes": lambda: extremes_csv(results),
                 "damage": lambda: damage_csv(results, extras)}
        staged = self.outputs.staged
        for table, kind in self.tables:
            table.write(texts[kind]())
            staged.add(table.temporary, table.real)
        for item in matrix_files(results, extras):
            for target in (item.target, matrices.csv_target(item.target)):
                temporary = naming.temporary_name(target, self.outputs.run)
                if not os.path.isfile(temporary):
                    raise ReportError(f"{target}: the matrix is not there; the workers must write to "
                                      "the folder of --matrix at the same path")
                if os.path.realpath(target) in self.outputs.protected:
                    raise ReportError(f"{target}: is {self.outputs.protected[os.path.realpath(target)]} "
                                      "(a matrix would overwrite it)")
                staged.add(temporary, target)
        return [table.target for table, _ in self.tables]

    def discard(self) -> None:
        """Takes back this run's temporaries not put in place and an empty
        folder the run made."""
        for table, _ in self.tables:
            table.discard()
        if self.folder is not None:
            self.folder.remove_temporaries(self.outputs.run)
            self.folder.remove_if_empty()
