"""The bundled example load: reproduced byte for byte by its generator, small,
and a valid input of the report."""

from __future__ import annotations

import importlib.util

import numpy as np

from road_support import EXAMPLE_LOAD, EXAMPLES


def _generator():
    module_spec = importlib.util.spec_from_file_location("make_example_load", EXAMPLES / "make_example_load.py")
    module = importlib.util.module_from_spec(module_spec)
    module_spec.loader.exec_module(module)
    return module


def test_generator_reproduces_the_bundled_file():
    generator = _generator()
    assert generator.render(generator.generate()).encode("ascii") == EXAMPLE_LOAD.read_bytes()


def test_generator_writes_the_file(tmp_path):
    out = tmp_path / "again.csv"
    assert _generator().main(["make_example_load.py", str(out)]) == 0
    assert out.read_bytes() == EXAMPLE_LOAD.read_bytes()


def test_small_and_realistic(report):
    assert EXAMPLE_LOAD.stat().st_size < 200_000
    channels = report.read_load_history(str(EXAMPLE_LOAD)).channels
    assert [c.name for c in channels] == ["blade_root_flap", "blade_root_edge", "tower_base_fa",
                                          "shaft_torque"]
    for channel in channels:
        assert channel.samples.size == 4000 and np.isfinite(channel.samples).all()
    edge = channels[1].samples
    # The blade's weight: one swing per revolution, 12 rpm at 10 Hz -> 80 revolutions.
    spectrum = np.abs(np.fft.rfft(edge - edge.mean()))
    assert int(np.argmax(spectrum)) == 80
