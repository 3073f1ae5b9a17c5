"""Every name the report gives a file: pictures, the temporaries that make
each output whole or absent, and the probe of the pictures' folder."""

from __future__ import annotations

import os
import re
import secrets
from collections import Counter
from collections.abc import Sequence
from pathlib import Path


def safe_name(text: str) -> str:
    """A file-name part made of letters, digits, '-' and '_' only: no '.',
    which separates the parts of a picture's name, so that no two files and
    channels share one ('a.b.csv' channel 'c' and 'a.csv' channel 'b.c'
    give 'a_b.c.png' and 'a.b_c.png')."""
    return re.sub(r"[^\w-]+", "_", text, flags=re.ASCII).strip("_") or "unnamed"


def distinct(names: Sequence[str]) -> list[str]:
    """The names in order, a repeat getting '-2', '-3', ... (never a name already taken)."""
    used: set[str] = set()
    out = []
    for name in names:
        candidate, k = name, 1
        while candidate in used:
            k += 1
            candidate = f"{name}-{k}"
        used.add(candidate)
        out.append(candidate)
    return out


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
    return distinct(stems)


def default_prefix(path: str) -> str:
    """The prefix of a file analysed alone."""
    return safe_name(Path(path).stem)


def picture_names(prefix: str, channels: Sequence[str], fmt: str = "png") -> list[str]:
    """PREFIX.CHANNEL.FMT per channel, distinct within the file."""
    return [f"{prefix}.{name}.{fmt}" for name in distinct([safe_name(c) for c in channels])]


def run_id() -> str:
    """A run's own mark in the names of its temporaries: the process id, and
    a random part against a process id used again after a killed run."""
    return f"{os.getpid()}-{secrets.token_hex(3)}"


def temporary_name(target: str, run: str) -> str:
    """The hidden file beside `target` that becomes it when whole; `run`
    (run_id) keeps concurrent runs apart and names what a run leaves."""
    folder, name = os.path.split(os.path.abspath(target))
    return os.path.join(folder, f".{name}.partial-{run}")


def is_temporary_of(name: str, run: str) -> bool:
    return name.startswith(".") and name.endswith(f".partial-{run}")


def backup_name(target: str, run: str) -> str:
    """The hard link that keeps a replaced output until the run's commit is whole."""
    folder, name = os.path.split(os.path.abspath(target))
    return os.path.join(folder, f".{name}.before-{run}")


def probe_name(folder: str) -> str:
    return os.path.join(folder, f".probe-{os.getpid()}")
