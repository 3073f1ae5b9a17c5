"""What a file is, from its first bytes, so that a file that is not what its
name says fails at once, in one line, instead of deep inside a parser."""

from __future__ import annotations

import struct

from .header import FormatError

HDF5, NPY, OUTB, TEXT, BINARY, EMPTY = "hdf5", "npy", "outb", "text", "binary", "empty"
HEAD_BYTES = 1 << 16

_MAGIC = ((b"\x89HDF\r\n\x1a\n", HDF5), (b"\x93NUMPY", NPY))
# Bytes that never appear in text files, whatever their single-byte encoding.
_CONTROL = bytes(set(range(32)) - set(b"\t\n\r\f\v\x1a"))

READ_FORMATS = "text tables (.csv, .txt, ...), NumPy .npy, FAST text .out, HAWC2 .sel/.dat, FLEX .int"
HAWC2_EXTRA = "pip install 'cyclewright[hawc2]'"
OPENFAST_EXTRA = "pip install 'cyclewright[openfast]'"
_NAMES = {HDF5: "an HDF5 file", NPY: "a NumPy .npy file", OUTB: "an OpenFAST binary output file",
          TEXT: "a text file", BINARY: "a binary file", EMPTY: "an empty file"}


def read_head(path: str, size: int = HEAD_BYTES) -> bytes:
    """The first `size` bytes of a file, or a FormatError saying why not."""
    try:
        with open(path, "rb") as f:
            return f.read(size)
    except FileNotFoundError:
        raise FormatError(path, "no such file") from None
    except IsADirectoryError:
        raise FormatError(path, "is a folder, not a file") from None
    except OSError as exc:
        raise FormatError(path, f"cannot read: {exc.strerror or exc}") from None


def _is_outb(head: bytes) -> bool:
    """OpenFAST's binary output: a file kind 1 to 4 (int16), for kind 4 the
    length of names (int16), then the numbers of channels and time steps."""
    if len(head) < 10:
        return False
    (kind,) = struct.unpack_from("<h", head)
    if kind not in (1, 2, 3, 4):
        return False
    at = 2
    if kind == 4:
        (width,) = struct.unpack_from("<h", head, 2)
        if not 0 < width <= 1024:
            return False
        at = 4
    if len(head) < at + 8:
        return False
    channels, steps = struct.unpack_from("<ii", head, at)
    return 0 < channels <= 1 << 20 and steps >= 0


def _is_text(head: bytes) -> bool:
    """No NUL byte and almost no other control byte: text in any encoding
    that keeps ASCII (UTF-8, Latin-1, cp1252)."""
    if b"\0" in head:
        return False
    controls = len(head) - len(head.translate(None, _CONTROL))
    return controls * 100 <= len(head)


def sniff(path: str) -> str:
    """The kind of a file from its first bytes: 'hdf5', 'npy', 'outb',
    'text', 'binary' (anything else that is not text) or 'empty'.

    Binary files without a magic number (HAWC2 .dat, FLEX .int) come out as
    'binary' or, rarely, as 'outb' when their first bytes happen to look
    like OpenFAST's; the name decides those.
    """
    head = read_head(path)
    if not head:
        return EMPTY
    for magic, kind in _MAGIC:
        if head.startswith(magic):
            return kind
    if _is_text(head):
        return TEXT
    return OUTB if _is_outb(head) else BINARY


def expect(path: str, wanted: str | tuple[str, ...], what: str) -> str:
    """The file's kind when it is one of `wanted`; otherwise a FormatError
    saying what the file is instead of `what` (e.g. 'FAST text output')."""
    wanted = (wanted,) if isinstance(wanted, str) else wanted
    kind = sniff(path)
    if kind in wanted:
        return kind
    if kind == BINARY:
        raise FormatError(path, unknown_binary(what))
    hint = {HDF5: f" (gtsdf .hdf5 files are read with {HAWC2_EXTRA})",
            OUTB: f" (read with {OPENFAST_EXTRA})"}.get(kind, "")
    raise FormatError(path, f"{_NAMES[kind]}, not {what}{hint}")


def unknown_binary(what: str | None = None) -> str:
    """The one line for a binary file of no kind read here."""
    start = f"a binary file, not {what}" if what else "a binary file of unknown kind"
    return (f"{start}; read are {READ_FORMATS}; gtsdf .hdf5 with {HAWC2_EXTRA}; "
            f"OpenFAST .outb with {OPENFAST_EXTRA}")
