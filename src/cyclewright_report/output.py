"""What the report writes: the table for reading, CSV and JSON with every
digit, each file whole or not at all, and the checks that the places to
write them are usable before any work starts."""

from __future__ import annotations

import contextlib
import csv
import io
import json
import math
import os
from collections.abc import Callable, Iterable, Sequence
from typing import Any

from . import naming
from .atomic import AtomicFile
from .model import FileFailure, FileResult, Lifetime, Options, ReportError, Row

FIELDS = ("file", "channel", "samples", "m", "neq", "half", "eq_load", "eq_load_closed",
          "merged", "unit", "duration")
LIFETIME_FIELDS = ("weight_hours", "repetitions", "del_life", "del_life_closed")


def residue_note(half: bool) -> str:
    if half:
        return "half = True: each half cycle of the residue counts as half a cycle"
    return "half = False: each half cycle of the residue counts as a full cycle"


def plateau_note(options: Options) -> str:
    if options.keep_plateaus:
        return "flat tops kept (--keep-plateaus): equal neighbours are never turning points"
    return "flat tops merged: each run of equal consecutive samples counts as one sample"


def _decimals(values: Iterable[float]) -> int:
    """Decimals that give the table's largest load seven significant digits
    (three at least); the CSV and JSON tables hold every digit."""
    largest = max((abs(v) for v in values if math.isfinite(v) and v != 0.0), default=1.0)
    return min(9, max(3, 6 - math.floor(math.log10(largest))))


def _render(header: Sequence[str], lines: Sequence[Sequence[str]], right: Sequence[bool]) -> list[str]:
    widths = [max([len(h)] + [len(line[i]) for line in lines]) for i, h in enumerate(header)]
    return ["  ".join(c.rjust(w) if r else c.ljust(w) for c, w, r in zip(cells, widths, right, strict=True)).rstrip()
            for cells in [header, *lines]]


def format_table(results: Sequence[FileResult], options: Options,
                 lifetime: Lifetime | None = None) -> str:
    rows = [row for result in results for row in result.rows]
    decimals = _decimals(v for row in rows for v in (row.eq_load, row.eq_load_closed))
    units = any(row.unit for row in rows)
    durations = any(row.duration is not None for row in rows)
    header = ["file", "channel", *(["unit"] * units), "samples", "merged",
              *(["duration (s)"] * durations), "m", "eq. load", "closed at max"]
    lines = []
    for k, row in enumerate(rows):
        new_file = k == 0 or row.file != rows[k - 1].file
        first = new_file or row.channel != rows[k - 1].channel
        shown = lambda text, first=first: text if first else ""  # noqa: E731
        duration = f"{row.duration:g}" if row.duration is not None else "-"
        lines.append([row.file if new_file else "", shown(row.channel),
                      *([shown(row.unit or "-")] * units), shown(str(row.samples)),
                      shown(str(row.merged)), *([shown(duration)] * durations), f"{row.m:g}",
                      f"{row.eq_load:.{decimals}f}", f"{row.eq_load_closed:.{decimals}f}"])
    right = [False, False, *([False] * units), True, True, *([True] * durations), True, True, True]
    out = [f"equivalent loads at neq = {options.neq}; {residue_note(options.half)}; "
           f"{plateau_note(options)}", *_render(header, lines, right)]
    if lifetime is not None:
        out += ["", f"lifetime equivalent loads at neq = {options.neq}: each file recurs "
                    "weight hours * 3600 / its duration in seconds times",
                *([lifetime.weighting] if lifetime.weighting else [])]
        life = [[channel, lifetime.units.get(channel) or "-", f"{m:g}", f"{load:.{decimals}f}",
                 f"{lifetime.loads_closed[(channel, m)]:.{decimals}f}"]
                for (channel, m), load in lifetime.loads.items()]
        out += _render(["channel", "unit", "m", "lifetime load", "closed at max"], life,
                       [False, False, True, True, True])
    return "\n".join(out) + "\n"


def _number(value: float | None) -> float | None:
    return value if value is not None and math.isfinite(value) else None  # JSON has no NaN


def _row_extras(row: Row, lifetime: Lifetime | None) -> dict[str, Any]:
    extras: dict[str, Any] = {"merged": row.merged, "unit": row.unit, "duration": row.duration}
    if lifetime is not None:
        extras.update(weight_hours=lifetime.hours[row.file],
                      repetitions=lifetime.repetitions[row.file],
                      del_life=lifetime.loads[(row.channel, row.m)],
                      del_life_closed=lifetime.loads_closed[(row.channel, row.m)])
    return extras


def csv_text(results: Sequence[FileResult], options: Options, lifetime: Lifetime | None) -> str:
    f = io.StringIO()
    writer = csv.writer(f, lineterminator="\n")
    writer.writerow(FIELDS + (LIFETIME_FIELDS if lifetime else ()))
    for result in results:
        for row in result.rows:
            # repr() is the shortest text that reads back as the same double.
            extras = ["" if v is None else repr(v) if isinstance(v, float) else v
                      for v in _row_extras(row, lifetime).values()]
            writer.writerow([row.file, row.channel, row.samples, repr(row.m), options.neq,
                             options.half, repr(row.eq_load), repr(row.eq_load_closed), *extras])
    return f.getvalue()


def json_text(results: Sequence[FileResult], options: Options, lifetime: Lifetime | None,
              failures: Sequence[FileFailure] = (), tables: dict[str, Any] | None = None) -> str:
    """The loads (today's rows), the lifetime loads and, from `tables`, the
    other tables and the options."""
    rows = []
    for result in results:
        for row in result.rows:
            extras = {k: _number(v) if isinstance(v, float) else v
                      for k, v in _row_extras(row, lifetime).items()}
            rows.append({"file": row.file, "channel": row.channel, "samples": row.samples,
                         "m": row.m, "eq_load": _number(row.eq_load),
                         "eq_load_closed": _number(row.eq_load_closed), **extras})
    document: dict[str, Any] = {
        "neq": options.neq, "half": options.half, "exponents": list(options.exponents),
        "flat_tops": "kept" if options.keep_plateaus else "merged", "loads": rows, **(tables or {})}
    if lifetime is not None:
        document["lifetime"] = [{"channel": c, "unit": lifetime.units.get(c), "m": m, "del_life": _number(v),
                                 "del_life_closed": _number(lifetime.loads_closed[(c, m)])}
                                for (c, m), v in lifetime.loads.items()]
    if failures:
        document["failed"] = [{"file": f.path, "error": f.message} for f in failures]
    return json.dumps(document, indent=1, allow_nan=False) + "\n"


class TableFile:
    """A table's file, made up front as a hidden temporary (atomic.AtomicFile),
    so that an unusable path stops the run before any work."""

    def __init__(self, target: str, option: str, render: Callable[..., str]):
        self.target, self.render = target, render
        if os.path.isdir(target):
            raise ReportError(f"{target}: is a folder ({option} names the file to write)")
        try:
            self.file = AtomicFile(target)
        except FileExistsError:
            raise ReportError(f"{naming.temporary_name(target)}: left by another run; remove it") from None
        except OSError as exc:
            raise ReportError(f"{target}: cannot write ({option}): {exc.strerror}") from None

    def commit(self, text: str) -> None:
        try:
            self.file.commit(lambda f: f.write(text.encode("utf-8")))
        except OSError as exc:
            raise ReportError(f"{self.target}: cannot write: {exc.strerror}") from None


class PictureFolder:
    """The pictures' folder, made (with its missing parents) and tried
    before any work, and removed again if the run leaves it empty."""

    def __init__(self, folder: str, option: str = "--plots", what: str = "pictures"):
        self.folder = folder
        self.made: list[str] = []
        missing, head = [], os.path.abspath(folder)
        while not os.path.exists(head):
            missing.append(head)
            head = os.path.dirname(head)
        if not os.path.isdir(head):
            raise ReportError(f"{folder}: {head} is a file, not a folder ({option})")
        try:
            for path in reversed(missing):
                os.mkdir(path)
                self.made.append(path)
            probe = naming.probe_name(folder)
            open(probe, "x").close()
            os.unlink(probe)
        except OSError as exc:
            self.remove_if_empty()
            raise ReportError(f"{folder}: cannot write {what} there ({option}): {exc.strerror}") from None

    def remove_if_empty(self) -> None:
        for path in reversed(self.made):
            with contextlib.suppress(OSError):
                os.rmdir(path)  # only ever an empty folder this run made


class Outputs:
    """Every place the run writes to, checked before it starts."""

    def __init__(self, csv_path: str | None, json_path: str | None, plot_dir: str | None,
                 inputs: Sequence[str]):
        inputs_real = {os.path.realpath(p) for p in inputs}
        named = [(p, o) for p, o in ((csv_path, "--csv"), (json_path, "--json")) if p]
        for path, option in named:
            if os.path.realpath(path) in inputs_real:
                raise ReportError(f"{path}: is one of the inputs ({option} would overwrite it)")
        if len(named) == 2 and os.path.realpath(named[0][0]) == os.path.realpath(named[1][0]):
            raise ReportError(f"{csv_path}: --csv and --json name the same file")
        self.tables: list[TableFile] = []
        self.pictures: PictureFolder | None = None
        try:
            if csv_path:
                self.tables.append(TableFile(csv_path, "--csv", csv_text))
            if json_path:
                self.tables.append(TableFile(json_path, "--json", json_text))
            if plot_dir is not None:
                self.pictures = PictureFolder(plot_dir)
        except ReportError:
            self.discard()
            raise

    def write(self, results: Sequence[FileResult], options: Options, lifetime: Lifetime | None,
              failures: Sequence[FileFailure], tables: dict[str, Any] | None = None) -> list[str]:
        written = []
        for table in self.tables:
            text = (table.render(results, options, lifetime, failures, tables) if table.render is json_text
                    else table.render(results, options, lifetime))
            table.commit(text)
            written.append(table.target)
        return written

    def discard(self) -> None:
        for table in self.tables:
            table.file.discard()
        if self.pictures is not None:
            self.pictures.remove_if_empty()
