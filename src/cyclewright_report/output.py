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
import stat
from collections.abc import Callable, Sequence
from typing import Any

from . import naming
from .atomic import Staged, create_new, remove_quietly
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


SIGNIFICANT = 6  # digits of the larger load of a row of the printed table


def _shown(*values: float) -> list[str]:
    """The loads of one row with the decimals that give the larger of them
    six significant digits: a tip deflection of 0.0123 keeps its digits
    beside a moment of 12345.6. Very large or small loads in e-notation; the
    CSV and JSON tables hold every digit."""
    largest = max((abs(v) for v in values if math.isfinite(v) and v != 0.0), default=1.0)
    if not 1e-4 <= largest < 1e15:
        return [f"{v:.{SIGNIFICANT - 1}e}" for v in values]
    decimals = max(0, SIGNIFICANT - 1 - math.floor(math.log10(largest)))
    return [f"{v:.{decimals}f}" for v in values]


def _render(header: Sequence[str], lines: Sequence[Sequence[str]], right: Sequence[bool]) -> list[str]:
    widths = [max([len(h)] + [len(line[i]) for line in lines]) for i, h in enumerate(header)]
    return ["  ".join(c.rjust(w) if r else c.ljust(w) for c, w, r in zip(cells, widths, right, strict=True)).rstrip()
            for cells in [header, *lines]]


def format_table(results: Sequence[FileResult], options: Options,
                 lifetime: Lifetime | None = None) -> str:
    rows = [row for result in results for row in result.rows]
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
                      *_shown(row.eq_load, row.eq_load_closed)])
    right = [False, False, *([False] * units), True, True, *([True] * durations), True, True, True]
    out = [f"equivalent loads at neq = {options.neq}; {residue_note(options.half)}; "
           f"{plateau_note(options)}", *_render(header, lines, right)]
    if lifetime is not None:
        out += ["", f"lifetime equivalent loads at neq = {options.neq}: each file recurs "
                    "weight hours * 3600 / its duration in seconds times",
                *([lifetime.weighting] if lifetime.weighting else [])]
        life = [[channel, lifetime.units.get(channel) or "-", f"{m:g}",
                 *_shown(load, lifetime.loads_closed[(channel, m)])]
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


def _target(path: str, option: str, protected: dict[str, str]) -> str:
    """The file an output replaces: `path`, or through a symlink its target.
    Refuses an input, the weights file, a folder, a device or a FIFO."""
    real = os.path.realpath(path)
    if real in protected:
        raise ReportError(f"{path}: is {protected[real]} ({option} would overwrite it)")
    try:
        mode = os.stat(real).st_mode
    except FileNotFoundError:
        return real
    except OSError as exc:
        raise ReportError(f"{path}: cannot write ({option}): {exc.strerror}") from None
    if stat.S_ISDIR(mode):
        raise ReportError(f"{path}: is a folder ({option} names the file to write)")
    if not stat.S_ISREG(mode):
        raise ReportError(f"{path}: is not a regular file (a device, FIFO or socket); "
                          f"{option} writes files only")
    return real


class TableFile:
    """A table's file, made up front as a hidden temporary beside the file it
    replaces, so that an unusable path stops the run before any work."""

    def __init__(self, target: str, option: str, render: Callable[..., str], run: str,
                 protected: dict[str, str]):
        self.target, self.render = target, render
        self.real = _target(target, option, protected)
        self.temporary = naming.temporary_name(self.real, run)
        try:
            self.descriptor: int | None = create_new(self.temporary)
        except OSError as exc:
            raise ReportError(f"{target}: cannot write ({option}): {exc.strerror}") from None

    def write(self, text: str) -> None:
        descriptor, self.descriptor = self.descriptor, None
        assert descriptor is not None
        try:
            with os.fdopen(descriptor, "wb") as f:
                f.write(text.encode("utf-8"))
        except OSError as exc:
            raise ReportError(f"{self.target}: cannot write: {exc.strerror}") from None

    def discard(self) -> None:
        if self.descriptor is not None:
            with contextlib.suppress(OSError):
                os.close(self.descriptor)
            self.descriptor = None
        remove_quietly([self.temporary])


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

    def remove_temporaries(self, run: str) -> None:
        """Every temporary of this run: also those of workers stopped mid-picture."""
        with contextlib.suppress(OSError):
            remove_quietly(os.path.join(self.folder, name) for name in os.listdir(self.folder)
                           if naming.is_temporary_of(name, run))

    def remove_if_empty(self) -> None:
        for path in reversed(self.made):
            with contextlib.suppress(OSError):
                os.rmdir(path)  # only ever an empty folder this run made


class Outputs:
    """Every place the run writes to, checked before it starts; everything
    written to temporaries (the pictures by the workers), then put in place
    together by commit(), or taken back by discard()."""

    def __init__(self, csv_path: str | None, json_path: str | None, plot_dir: str | None,
                 inputs: Sequence[str], weights: str | None = None, run: str | None = None):
        self.run = run if run is not None else naming.run_id()
        self.protected = {os.path.realpath(p): "one of the inputs" for p in inputs}
        if weights:
            self.protected[os.path.realpath(weights)] = "the weights file"
        named = [(p, o) for p, o in ((csv_path, "--csv"), (json_path, "--json")) if p]
        if len(named) == 2 and os.path.realpath(named[0][0]) == os.path.realpath(named[1][0]):
            raise ReportError(f"{csv_path}: --csv and --json name the same file")
        self.tables: list[TableFile] = []
        self.pictures: PictureFolder | None = None
        self.staged = Staged(self.run)
        try:
            if csv_path:
                self.tables.append(TableFile(csv_path, "--csv", csv_text, self.run, self.protected))
            if json_path:
                self.tables.append(TableFile(json_path, "--json", json_text, self.run, self.protected))
            if plot_dir is not None:
                self.pictures = PictureFolder(plot_dir)
        except ReportError:
            self.discard()
            raise

    def stage(self, results: Sequence[FileResult], options: Options, lifetime: Lifetime | None,
              failures: Sequence[FileFailure], tables: dict[str, Any] | None = None) -> list[str]:
        """Writes the tables' temporaries and checks the pictures' are there;
        returns the tables' names. `tables`: the JSON document's other keys."""
        for table in self.tables:
            text = (table.render(results, options, lifetime, failures, tables) if table.render is json_text
                    else table.render(results, options, lifetime))
            table.write(text)
            self.staged.add(table.temporary, table.real)
        for result in results:
            for picture in result.pictures:
                temporary = naming.temporary_name(picture, self.run)
                if not os.path.isfile(temporary):
                    raise ReportError(f"{picture}: the picture is not there; the workers must "
                                      "write to the folder of --plots at the same path")
                if os.path.islink(picture) or (os.path.lexists(picture) and not os.path.isfile(picture)):
                    raise ReportError(f"{picture}: is not a regular file; a picture replaces only a file")
                if os.path.realpath(picture) in self.protected:
                    raise ReportError(f"{picture}: is {self.protected[os.path.realpath(picture)]} "
                                      "(a picture would overwrite it)")
                self.staged.add(temporary, picture)
        return [table.target for table in self.tables]

    def commit(self) -> None:
        try:
            self.staged.commit()
        except OSError as exc:
            raise ReportError(f"{exc.filename or 'an output'}: cannot put it in place: "
                              f"{exc.strerror or exc}; nothing written") from None

    def discard(self) -> None:
        """Takes back every temporary and an empty folder the run made."""
        for table in self.tables:
            table.discard()
        if self.pictures is not None:
            self.pictures.remove_temporaries(self.run)
            self.pictures.remove_if_empty()
