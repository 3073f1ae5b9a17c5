"""Rainflow (Markov) matrices: per file and channel the cycles counted in
range x mean bins, written as NAME.npz and NAME.csv into --matrix DIR, and
with --weights the lifetime matrix of each channel. Workers write hidden
temporaries named with the run's id; the run puts them in place with its
other outputs (tables.ExtraOutputs), or takes them back."""

from __future__ import annotations

import csv
import io
import os
from collections.abc import Mapping, Sequence
from typing import NamedTuple

import numpy as np

from .naming import safe_name, temporary_name

LIFETIME_PREFIX = "lifetime"


class MatrixFile(NamedTuple):
    file: str
    channel: str
    target: str  # DIR/NAME.npz; its CSV is DIR/NAME.csv
    cycles: float  # the counts' total


def edges(low: float, high: float, largest_range: float, bins: int) -> tuple[np.ndarray, np.ndarray]:
    """(range edges from 0 to the largest range, mean edges from the
    channel's minimum to its maximum), bins + 1 each. A span of zero (a
    constant channel) is widened to one unit, as edges must increase."""
    if not largest_range > 0:
        largest_range = 1.0
    if not high > low:
        low, high = low - 0.5, high + 0.5
    return np.linspace(0.0, largest_range, bins + 1), np.linspace(low, high, bins + 1)


def csv_target(target: str) -> str:
    return target.removesuffix(".npz") + ".csv"


def _csv_text(counts: np.ndarray, range_edges: np.ndarray, mean_edges: np.ndarray) -> str:
    f = io.StringIO()
    writer = csv.writer(f, lineterminator="\n")
    writer.writerow(["range", *map(repr, mean_edges[:-1].tolist())])
    for low, row in zip(range_edges[:-1].tolist(), counts.tolist(), strict=True):
        writer.writerow([repr(low), *map(repr, row)])
    return f.getvalue()


def write_temporaries(target: str, run_id: str, counts: np.ndarray, range_edges: np.ndarray,
                      mean_edges: np.ndarray) -> None:
    """The matrix's .npz and .csv as this run's temporaries beside `target`."""
    with open(temporary_name(target, run_id), "xb") as f:
        np.savez(f, counts=counts, range_edges=range_edges, mean_edges=mean_edges)
    with open(temporary_name(csv_target(target), run_id), "x", encoding="utf-8", newline="") as f:
        f.write(_csv_text(counts, range_edges, mean_edges))


def write_channel(path: str, channel: str, target: str, run_id: str | None, counts: np.ndarray,
                  range_edges: np.ndarray, mean_edges: np.ndarray) -> MatrixFile:
    """One channel's matrix: the run's temporaries, or the files at once
    when called outside a run (no run id)."""
    item = MatrixFile(path, channel, target, float(counts.sum()))
    write_temporaries(target, run_id or f"{os.getpid()}", counts, range_edges, mean_edges)
    if run_id is None:
        commit([item], f"{os.getpid()}")
    return item


def _load_temporary(target: str, run_id: str) -> tuple[np.ndarray, np.ndarray, np.ndarray]:
    with np.load(temporary_name(target, run_id)) as data:
        return data["counts"], data["range_edges"], data["mean_edges"]


def _overlaps(source: np.ndarray, common: np.ndarray) -> np.ndarray:
    """Which share of each source bin lies in each common bin."""
    low = np.maximum(source[:-1, None], common[None, :-1])
    high = np.minimum(source[1:, None], common[None, 1:])
    return np.clip(high - low, 0.0, None) / np.diff(source)[:, None]


def lifetime_matrices(files: Sequence[MatrixFile], repetitions: Mapping[str, float], folder: str,
                      run_id: str, bins: int) -> list[MatrixFile]:
    """Per channel, the sum over files of repetitions x counts on common
    edges, the widest of the files': each file's bins are shared out among
    the common ones by how much of them each covers (the identity where the
    edges are the same)."""
    by_channel: dict[str, list[MatrixFile]] = {}
    for item in files:
        by_channel.setdefault(item.channel, []).append(item)
    written = []
    for channel, items in by_channel.items():
        loaded = [_load_temporary(item.target, run_id) for item in items]
        top = max(r[-1] for _, r, _ in loaded)
        low, high = min(m[0] for _, _, m in loaded), max(m[-1] for _, _, m in loaded)
        range_edges, mean_edges = np.linspace(0.0, top, bins + 1), np.linspace(low, high, bins + 1)
        total = np.zeros((bins, bins))
        for item, (counts, source_ranges, source_means) in zip(items, loaded, strict=True):
            total += repetitions[item.file] * (
                _overlaps(source_ranges, range_edges).T @ counts @ _overlaps(source_means, mean_edges))
        target = os.path.join(folder, f"{LIFETIME_PREFIX}.{safe_name(channel)}.npz")
        write_temporaries(target, run_id, total, range_edges, mean_edges)
        written.append(MatrixFile(LIFETIME_PREFIX, channel, target, float(total.sum())))
    return written


def commit(files: Sequence[MatrixFile], run_id: str) -> None:
    """Puts matrices written outside a run's staging in place."""
    for item in files:
        for target in (item.target, csv_target(item.target)):
            os.replace(temporary_name(target, run_id), target)
