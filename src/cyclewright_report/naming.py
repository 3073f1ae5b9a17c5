"""Every name the report gives a file: pictures, the temporaries that make
each output whole or absent, and the probe of the pictures' folder."""

from __future__ import annotations

import os
import re
from collections import Counter
from collections.abc import Sequence
from pathlib import Path


def safe_name(text: str) -> str:
    """A file-name part made of letters, digits, '.', '-' and '_' only."""
    return re.sub(r"[^\w.-]+", "_", text, flags=re.ASCII).strip("._") or "unnamed"


def picture_prefixes(paths: Sequence[str]) -> list[str]:
    """One distinct picture-name prefix per input file: its stem, or, for
    stems that repeat, its path below the folder the inputs share."""
    stems = [safe_name(Path(p).stem) for p in paths]
    repeated = {s for s, count in Counter(stems).items() if count > 1}
    if repeated:
        absolute = [os.path.abspath(p) for p in paths]
        root = os.path.commonpath([os.path.dirname(a) for a in absolute])
        stems = [safe_name(os.path.relpath(a, root).replace(os.sep, "__")) if s in repeated else s
                 for a, s in zip(absolute, stems, strict=True)]
    seen: Counter[str] = Counter()
    prefixes = []
    for s in stems:
        seen[s] += 1
        prefixes.append(s if seen[s] == 1 else f"{s}-{seen[s]}")
    return prefixes


def default_prefix(path: str) -> str:
    """The prefix of a file analysed alone."""
    return safe_name(Path(path).stem)


def picture_names(prefix: str, channels: Sequence[str], fmt: str = "png") -> list[str]:
    """PREFIX.CHANNEL.FMT per channel name; names made equal by safe_name
    get their column's position."""
    names = [safe_name(c) for c in channels]
    repeated = {n for n, count in Counter(names).items() if count > 1}
    return [f"{prefix}.{n}-{j}.{fmt}" if n in repeated else f"{prefix}.{n}.{fmt}"
            for j, n in enumerate(names)]


def new_pictures(folder: str | None, before: set[str], paths: Sequence[str], fmt: str) -> list[str]:
    """The pictures a run over `paths` drew into `folder`, which held the
    names `before`: to take back when the run writes nothing."""
    if folder is None or not os.path.isdir(folder):
        return []
    prefixes = picture_prefixes(paths)
    return [os.path.join(folder, name) for name in set(os.listdir(folder)) - before
            if name.endswith("." + fmt) and any(name.startswith(p + ".") for p in prefixes)]


def temporary_name(target: str) -> str:
    """The hidden file beside `target` that becomes it when whole; the
    process id keeps concurrent runs and workers apart."""
    folder, name = os.path.split(os.path.abspath(target))
    return os.path.join(folder, f".{name}.partial-{os.getpid()}")


def probe_name(folder: str) -> str:
    return os.path.join(folder, f".probe-{os.getpid()}")


def run_temporary(target: str, run_id: str) -> str:
    """The hidden file beside `target` that a worker of run `run_id` writes
    and the run renames over `target` once every output is whole."""
    folder, name = os.path.split(os.path.abspath(target))
    return os.path.join(folder, f".{name}.partial-{run_id}")


def is_run_temporary(name: str, run_id: str) -> bool:
    return name.startswith(".") and name.endswith(f".partial-{run_id}")
