"""OpenFAST output, text (.out) and binary (.outb), read through openfast-io,
and the real-signal case: loads of a quantised turbine signal with flat tops,
against the rainflow package's count (residue as half cycles)."""

from __future__ import annotations

import struct

import numpy as np
import pytest

from road_support import EXAMPLE_LOAD, TOP, read_table

pytest.importorskip("openfast_io")
rainflow = pytest.importorskip("rainflow")

NAMES = ["RootMyb1", "RootMxb1", "TwrBsMyt", "LSShftMxa"]
UNITS = ["kN-m"] * 4


def _signals():
    table = np.loadtxt(EXAMPLE_LOAD, delimiter=",", skiprows=2)
    return table[:, 0], table[:, 1:]


def _write_out(path, time, table):
    """OpenFAST's text layout: six lines of preamble, names, units, then
    tab-separated values in its default format ES10.3E2 (four digits)."""
    rows = ["", "Predictions were generated on 01-Jan-2026 at 00:00:00 using OpenFAST", "", "",
            "Description from the FAST input file: example turbine", "",
            "\t".join(["Time", *NAMES]), "\t".join(f"({u})" for u in ["s", *UNITS])]
    rows += ["\t".join(f"{v:10.3E}" for v in (t, *values)) for t, values in zip(time, table, strict=True)]
    path.write_text("\n".join(rows) + "\n")


def _write_outb(path, time, table, width=10):
    """OpenFAST's binary layout with given name length (file kind 4): values
    packed into int16 by a scale and an offset per channel."""
    low, high = table.min(axis=0), table.max(axis=0)
    scale = (65535.0 / (high - low)).astype(np.float32)
    offset = (-32768.0 - low * scale).astype(np.float32)
    packed = np.clip(np.round(table * scale + offset), -32768, 32767).astype("<i2")
    text = b"example turbine"
    with open(path, "wb") as f:
        f.write(struct.pack("<hhii2d", 4, width, len(NAMES), len(time), time[0], time[1] - time[0]))
        f.write(scale.astype("<f4").tobytes() + offset.astype("<f4").tobytes())
        f.write(struct.pack("<i", len(text)) + text)
        for cell in ["Time", *NAMES, *(f"({u})" for u in ["s", *UNITS])]:
            f.write(cell.ljust(width).encode())
        f.write(packed.tobytes())


@pytest.fixture(scope="module")
def outputs(tmp_path_factory):
    folder = tmp_path_factory.mktemp("openfast")
    time, table = _signals()
    _write_out(folder / "turbine.out", time, table)
    _write_outb(folder / "turbine.outb", time, table)
    return folder


def _rainflow_load(samples, m, neq):
    """The equivalent load from the rainflow package's cycles: a full cycle is
    two half cycles, the residue's half cycles count 0.5 each."""
    total = sum(count * rng**m for rng, _, count, _, _ in rainflow.extract_cycles(samples))
    return (total / neq) ** (1.0 / m)


@pytest.mark.parametrize("suffix", [".out", ".outb"])
def test_time_and_units_from_the_file(read, report, outputs, suffix):
    history = report.read_load_history(str(outputs / f"turbine{suffix}"))
    assert [c.name for c in history.channels] == NAMES
    assert {c.unit for c in history.channels} == {"kN-m"}
    assert history.duration == pytest.approx(400.0)
    reference = _signals()[1]
    for j, channel in enumerate(history.channels):
        step = np.ptp(reference[:, j]) / 65535 if suffix == ".outb" else 0.0
        np.testing.assert_allclose(channel.samples, reference[:, j], rtol=1e-3, atol=step)


def test_real_signal_loads_agree_with_the_rainflow_package(cli, report, outputs, tmp_path):
    table = tmp_path / "t.csv"
    run = cli(outputs / "turbine.out", "--no-plots", "--csv", table, "-m", "3,5,10")
    assert run.code == 0, run.err
    samples = {c.name: c.samples for c in report.read_load_history(str(outputs / "turbine.out")).channels}
    rows = read_table(table)
    assert sum(int(r["merged"]) for r in rows) > 0  # four digits make flat tops
    for row in rows:
        expected = _rainflow_load(samples[row["channel"]], float(row["m"]), 10**7)
        assert float(row["eq_load"]) == pytest.approx(expected, rel=1e-9)
        assert (row["unit"], row["duration"]) == ("kN-m", "400.0")
    kept = cli(outputs / "turbine.out", "--no-plots", "--keep-plateaus", "-m", "3,5,10")
    assert kept.out != run.out


def test_third_party_series_loads_agree_with_the_rainflow_package(cli, tmp_path):
    # A series from outside this project, integers full of flat tops and ties.
    samples = np.loadtxt(TOP / "tests" / "user_road" / "data" / "rfcnt_long_series.csv")
    source, table = tmp_path / "series.csv", tmp_path / "t.csv"
    source.write_text("x\n" + "\n".join(f"{v:g}" for v in samples) + "\n")
    run = cli(source, "--no-plots", "--csv", table, "-m", "3,5,10")
    assert run.code == 0, run.err
    merged = samples[np.r_[True, np.diff(samples) != 0]]
    rows = read_table(table)
    assert int(rows[0]["merged"]) == samples.size - merged.size > 0
    for row in rows:
        assert float(row["eq_load"]) == pytest.approx(_rainflow_load(merged, float(row["m"]), 10**7), rel=1e-9)


def test_damaged_binary_file_is_one_line(cli, outputs, tmp_path):
    broken = tmp_path / "broken.outb"
    broken.write_bytes((outputs / "turbine.outb").read_bytes()[:-1000])
    run = cli(broken, "--no-plots")
    assert run.code == 1 and run.err.count("\n") == 1
    assert run.err.startswith(f"cyclewright-report: error: {broken}: not a readable OpenFAST output file")
