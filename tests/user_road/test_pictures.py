"""The picture of a channel: formats, units and loads on it, degenerate
signals, a summarised spectrum that stays exact, and nothing left on failure."""

import os
import subprocess
import sys

import numpy as np
import pytest

pictures = pytest.importorskip("cyclewright_report.pictures")
matplotlib = pytest.importorskip("matplotlib")
SIGNATURES = {"png": b"\x89PNG\r\n\x1a\n", "svg": b"<?xml", "pdf": b"%PDF-"}
WALK = np.cumsum(np.random.default_rng(7).normal(size=3000))


def draw(target, samples=WALK, **options):
    options = {"title": "run.csv: Fx", "unit": "kN", "half": True, "loads": [(4.0, 15.1)], **options}
    pictures.draw_channel(str(target), np.asarray(samples, dtype=np.float64), **options)


@pytest.mark.parametrize("fmt,dpi", [("png", 50), ("png", 120), ("svg", 100), ("pdf", 100)])
def test_one_file_per_format(tmp_path, fmt, dpi):
    draw(tmp_path / f"p.{fmt}", fmt=fmt, dpi=dpi)
    assert os.listdir(tmp_path) == [f"p.{fmt}"]
    data = (tmp_path / f"p.{fmt}").read_bytes()
    assert data.startswith(SIGNATURES[fmt])
    assert fmt != "png" or int.from_bytes(data[16:20], "big") == 11 * dpi  # width: 11 inches


@pytest.mark.parametrize("unit,shown,hidden", [("kN", ["range [kN]", "mean [kN]", "DEL m=4: 15.1 kN"], []),
                                               (None, ["DEL m=4: 15.1<"], ["range ["])])
def test_units_and_loads_on_the_axes(tmp_path, unit, shown, hidden):
    with matplotlib.rc_context({"svg.fonttype": "none"}):  # text as text, to be read back
        draw(tmp_path / "p.svg", unit=unit, fmt="svg")
    text = (tmp_path / "p.svg").read_text()
    assert all(s in text for s in shown) and not any(h in text for h in hidden)


@pytest.mark.parametrize("samples", [[], [1.0], [2.0, 2.0, 2.0], [0.0, 1.0, np.nan, 1.0, 0.0]])
def test_degenerate_signals_still_draw(tmp_path, samples):
    draw(tmp_path / "p.png", samples, loads=[(3.0, float("nan"))])
    assert (tmp_path / "p.png").stat().st_size > 1000


def _broken_savefig(self, f, **kwargs):
    f.write(b"partial")
    raise OSError(28, "No space left on device")


@pytest.mark.parametrize("name,options,error", [
    ("p.png", {"fmt": "jpg"}, ValueError), ("p.svg", {"fmt": "png"}, ValueError),
    ("p.png", {"dpi": 0}, ValueError), ("no/such/p.png", {}, FileNotFoundError), ("p.png", {}, OSError)])
def test_failures_leave_the_folder_as_it_was(tmp_path, monkeypatch, name, options, error):
    (tmp_path / "p.png").write_bytes(b"old")
    if not options and error is OSError:
        monkeypatch.setattr(matplotlib.figure.Figure, "savefig", _broken_savefig)
    with pytest.raises(error):
        draw(tmp_path / name, **options)
    assert os.listdir(tmp_path) == ["p.png"] and (tmp_path / "p.png").read_bytes() == b"old"


def test_summarised_spectrum_is_exact_where_drawn():
    ranges = np.random.default_rng(3).exponential(size=200_000)
    exceeded, levels = pictures._spectrum(ranges)
    assert levels.size <= pictures.SPECTRUM_POINTS and exceeded[-1] == ranges.size / 2
    assert np.array_equal(levels, np.sort(ranges)[::-1][(2 * exceeded).astype(int) - 1])


def test_matplotlib_only_when_drawing_and_never_pyplot(tmp_path):
    probe = ("import sys, numpy as np; from cyclewright_report import pictures as p; "
             "assert 'matplotlib' not in sys.modules; sys.modules['matplotlib'] = None; "
             "assert not p.pictures_available(); del sys.modules['matplotlib']; p.pictures_available.cache_clear(); "
             f"assert p.pictures_available(); p.draw_channel({str(tmp_path / 'p.png')!r}, np.arange(9.0) % 4, "
             "title='t', unit=None, half=False, loads=[]); assert 'matplotlib.pyplot' not in sys.modules")
    subprocess.run([sys.executable, "-c", probe], check=True, env={**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)})
