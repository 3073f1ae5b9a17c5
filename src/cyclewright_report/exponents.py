"""Wöhler exponents per channel: `-m` given several times, each value a
bare list (every channel no glob names) or GLOB=LIST (the channels whose
names match GLOB; the first matching value wins, in the order given)."""

from __future__ import annotations

import fnmatch
import math
from collections.abc import Sequence

from .model import DEFAULT_EXPONENTS, Options

# (glob, exponents); the glob None stands for the bare list.
ExponentRule = tuple[str | None, tuple[float, ...]]


def parse_list(text: str) -> tuple[float, ...]:
    """'3,4,5' -> (3.0, 4.0, 5.0); ValueError with the reason otherwise."""
    exponents = []
    for part in text.split(","):
        try:
            m = float(part)
        except ValueError:
            raise ValueError(f"{part.strip()!r} is not a number") from None
        if not (math.isfinite(m) and m > 0):
            raise ValueError(f"a Wöhler exponent must be positive and finite, not {part.strip()}")
        exponents.append(m)
    return tuple(exponents)


def parse_rule(text: str) -> ExponentRule:
    """'Twr*=4,5' -> ('Twr*', (4.0, 5.0)); '3,4' -> (None, (3.0, 4.0))."""
    glob, equals, values = text.rpartition("=")
    if not equals:
        return None, parse_list(text)
    if not glob.strip():
        raise ValueError(f"{text!r}: a channel name or glob goes before '='")
    return glob.strip(), parse_list(values)


def split_rules(rules: Sequence[ExponentRule]) -> tuple[tuple[float, ...], tuple[tuple[str, tuple[float, ...]], ...]]:
    """(the exponents of channels no glob names, the globbed rules in order):
    the last bare list given wins, as for any repeated option."""
    bare = [values for glob, values in rules if glob is None]
    globbed = tuple((glob, values) for glob, values in rules if glob is not None)
    return (bare[-1] if bare else DEFAULT_EXPONENTS), globbed


def exponents_for(channel: str, options: Options) -> tuple[float, ...]:
    for glob, values in options.exponent_rules:
        if fnmatch.fnmatchcase(channel, glob):
            return values
    return options.exponents
