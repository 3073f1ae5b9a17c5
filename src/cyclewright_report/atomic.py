"""Every file the report writes, tables and pictures, is written whole or
not at all: first to a hidden temporary beside its target, then renamed
over it."""

from __future__ import annotations

import contextlib
import os
from collections.abc import Callable, Iterable
from typing import BinaryIO

from .naming import temporary_name


class AtomicFile:
    """Made at once, so that an unusable place fails before any work; the
    target appears only when commit() has written it whole. Raises OSError
    (FileExistsError: a temporary of the same process id is in the way)."""

    def __init__(self, target: str):
        self.target = target
        self.temporary = temporary_name(target)
        # 0o666: the umask decides the mode, as for any new file.
        self.descriptor: int | None = os.open(
            self.temporary, os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_CLOEXEC, 0o666)

    def commit(self, write: Callable[[BinaryIO], object]) -> None:
        """Calls write(binary file), then renames the file over the target."""
        descriptor, self.descriptor = self.descriptor, None
        assert descriptor is not None
        try:
            with os.fdopen(descriptor, "wb") as f:
                write(f)
            os.replace(self.temporary, self.target)
        except BaseException:
            remove_quietly([self.temporary])
            raise

    def discard(self) -> None:
        if self.descriptor is not None:
            with contextlib.suppress(OSError):
                os.close(self.descriptor)
            self.descriptor = None
        remove_quietly([self.temporary])


def write_atomically(target: str, write: Callable[[BinaryIO], object]) -> None:
    AtomicFile(target).commit(write)


def remove_quietly(paths: Iterable[str]) -> None:
    for path in paths:
        with contextlib.suppress(OSError):
            os.unlink(path)
