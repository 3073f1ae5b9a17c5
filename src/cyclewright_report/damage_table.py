"""Palmgren-Miner damage of each channel's cycles on the S-N curves of
--sn, the loads turned into stresses by --sn-scale, and its lifetime sum
over weighted files."""

from __future__ import annotations

import fnmatch
import functools
import math
from collections.abc import Mapping, Sequence
from typing import Any, NamedTuple, cast

from .model import Options

DAMAGE_FIELDS = ("file", "channel", "sn", "scale", "damage")
LIFETIME_FILE = "lifetime"  # the file column of the lifetime rows
DNV = "dnv-c203"
SN_KEYS = ("k", "log10_a", "knees", "quantity", "endurance")


class Damage(NamedTuple):
    file: str
    channel: str
    sn: str  # the curve as given on the command line
    scale: float  # stress per unit load
    damage: float


def _numbers(key: str, text: str) -> tuple[float, ...]:
    try:
        return tuple(float(part) for part in text.split(",") if part.strip())
    except ValueError:
        raise ValueError(f"{key}={text}: not a list of numbers") from None


@functools.cache
def sn_curve(curve: str) -> Any:
    """The cyclewright_fatigue.SNCurve that CURVE names: dnv-c203:NAME:air,
    dnv-c203:NAME:seawater-cp, or k=..;log10_a=..;knees=..;quantity=range
    (endurance=S optional). ValueError says what is wrong."""
    from cyclewright_fatigue import SNCurve

    if curve.lower().startswith(DNV + ":"):
        parts = curve.split(":")
        if len(parts) != 3:
            raise ValueError(f"{curve}: write {DNV}:NAME:air or {DNV}:NAME:seawater-cp")
        return SNCurve.dnv_c203(parts[1], cast(Any, parts[2]))  # its own error names the choices
    fields: dict[str, str] = {}
    for item in filter(None, (part.strip() for part in curve.split(";"))):
        key, equals, value = item.partition("=")
        key = key.strip()
        if not equals or key not in SN_KEYS:
            raise ValueError(f"{curve}: {item!r}: use {DNV}:NAME:ENVIRONMENT or the keys {', '.join(SN_KEYS)}")
        fields[key] = value.strip()
    missing = [key for key in ("k", "log10_a", "quantity") if key not in fields]
    if missing:
        raise ValueError(f"{curve}: {', '.join(missing)} missing (quantity=range or quantity=amplitude)")
    endurance = fields.get("endurance")
    return SNCurve(_numbers("k", fields["k"]), _numbers("log10_a", fields["log10_a"]),
                   quantity=cast(Any, fields["quantity"]), knees=_numbers("knees", fields.get("knees", "")),
                   endurance=float(endurance) if endurance else None)


def parse_scale(text: str) -> tuple[str, float]:
    """'Root*=1/2.5e-3' -> ('Root*', 400.0): stress per unit load, above zero."""
    glob, equals, value = text.rpartition("=")
    if not equals or not glob.strip():
        raise ValueError(f"{text!r}: write GLOB=FACTOR, e.g. 'RootM*=2.5e-3'")
    numerator, slash, denominator = value.partition("/")
    try:
        factor = float(numerator) / float(denominator) if slash else float(value)
    except (ValueError, ZeroDivisionError):
        raise ValueError(f"{text!r}: {value!r} is not a number above zero") from None
    if not (math.isfinite(factor) and factor > 0):
        raise ValueError(f"{text!r}: the factor must be a number above zero")
    return glob.strip(), factor


def scale_for(channel: str, options: Options) -> float:
    for glob, factor in options.sn_scales:
        if fnmatch.fnmatchcase(channel, glob):
            return factor
    return 1.0


def channel_damage(path: str, channel: str, cycles: Any, options: Options) -> list[Damage]:
    """One row per S-N curve: the Miner sum of the cycles (half cycles count
    half unless --no-half made the count take them whole)."""
    from cyclewright_fatigue import damage

    scale = scale_for(channel, options)
    if cycles is None:  # NaN samples (--allow-nan): no count of the library's
        return [Damage(path, channel, curve, scale, math.nan) for curve in options.sn]
    return [Damage(path, channel, curve, scale, damage(cycles, sn_curve(curve), scale=scale))
            for curve in options.sn]


def lifetime_damage(per_file: Sequence[Sequence[Damage]], repetitions: Mapping[str, float]) -> list[Damage]:
    """Per channel and curve, the sum over files of repetitions x damage."""
    totals: dict[tuple[str, str], list[float]] = {}
    scales: dict[tuple[str, str], float] = {}
    for rows in per_file:
        for row in rows:
            totals.setdefault((row.channel, row.sn), []).append(repetitions[row.file] * row.damage)
            scales[(row.channel, row.sn)] = row.scale
    return [Damage(LIFETIME_FILE, channel, sn, scales[(channel, sn)], math.fsum(values))
            for (channel, sn), values in totals.items()]
