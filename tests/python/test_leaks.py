"""Nothing a call takes survives it: reference counts of the arguments and
the process's memory stay put on every road, successful or failing."""

import json
import os
import sys

import pytest

import call_roads
from conftest import run_script

ROAD_NAMES = [name for name, _ in call_roads.roads]


@pytest.fixture(scope="module")
def roads(peer):
    return call_roads


@pytest.mark.parametrize("index", range(len(ROAD_NAMES)), ids=ROAD_NAMES)
def test_reference_counts_unchanged(roads, index):
    name, call = roads.roads[index]
    arguments = roads.arguments
    conflict = name == "conflict"
    if conflict:
        roads.hold(arguments["held"])
    try:
        roads.run(call, 20)  # warm up caches made on first use
        before = {key: sys.getrefcount(obj) for key, obj in arguments.items()}
        roads.run(call, 300)
        after = {key: sys.getrefcount(obj) for key, obj in arguments.items()}
    finally:
        if conflict:
            roads.release(arguments["held"])
    changed = {key: after[key] - before[key] for key in before if after[key] != before[key]}
    assert not changed, f"{name}: reference counts changed by {changed}"


@pytest.mark.skipif(not os.path.exists("/proc/self/statm"), reason="needs /proc/self/statm")
@pytest.mark.skipif(bool(os.environ.get("CYCLEWRIGHT_SANITIZED")),
                    reason="AddressSanitizer quarantines freed memory; its leak check stands in")
def test_memory_stable_over_many_calls():
    count = 40000
    run = run_script("memory_over_many_calls", count, quiet_stderr=True, timeout=300)
    growth = json.loads(run.stdout)
    # A leak of even one small allocation per call would add over 1 MiB here.
    grown = {name: kib for name, kib in growth.items() if kib > 1024}
    assert not grown, f"resident memory grew (KiB) after {count} calls: {grown}"
