"""Every file the report writes is written whole or not at all: first to a
hidden temporary beside its target, then renamed over it. A run's outputs
are renamed together (Staged), so that either all are in place or none of
what was there has changed."""

from __future__ import annotations

import contextlib
import os
from collections.abc import Callable, Iterable
from typing import BinaryIO

from .naming import backup_name, temporary_name


def create_new(path: str) -> int:
    """A new file's descriptor; FileExistsError if anything is in the way."""
    # 0o666: the umask decides the mode, as for any new file.
    return os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_CLOEXEC, 0o666)


def write_new(path: str, write: Callable[[BinaryIO], object]) -> None:
    """Calls write(binary file) on a new file at `path`, removed again on failure."""
    descriptor = create_new(path)
    try:
        with os.fdopen(descriptor, "wb") as f:
            write(f)
    except BaseException:
        remove_quietly([path])
        raise


def write_atomically(target: str, write: Callable[[BinaryIO], object]) -> None:
    temporary = temporary_name(target, str(os.getpid()))
    write_new(temporary, write)
    try:
        os.replace(temporary, target)
    except BaseException:
        remove_quietly([temporary])
        raise


class Staged:
    """Temporaries and the targets they become, renamed together by commit():
    a target that existed is kept as a hard link until all are renamed, and
    put back if any rename fails or the run is interrupted."""

    def __init__(self, run_id: str):
        self.run_id = run_id
        self.pairs: list[tuple[str, str]] = []  # (temporary, target)

    def add(self, temporary: str, target: str) -> None:
        self.pairs.append((temporary, target))

    def commit(self) -> None:
        done: list[tuple[str, str | None]] = []  # (target, its backup)
        try:
            for temporary, target in self.pairs:
                backup = None
                if os.path.lexists(target):
                    backup = backup_name(target, self.run_id)
                    try:
                        os.link(target, backup, follow_symlinks=False)
                    except OSError:  # a file system without hard links: no way back
                        backup = None
                done.append((target, backup))
                os.replace(temporary, target)
        except BaseException:
            for target, backup in reversed(done):
                with contextlib.suppress(OSError):
                    if backup is not None:
                        os.replace(backup, target)
                    else:
                        os.unlink(target)
            remove_quietly(temporary for temporary, _ in self.pairs)
            raise
        remove_quietly(backup for _, backup in done if backup is not None)


def remove_quietly(paths: Iterable[str]) -> None:
    for path in paths:
        with contextlib.suppress(OSError):
            os.unlink(path)
