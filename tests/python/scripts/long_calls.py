"""Long calls, started when a line arrives on standard input; the parent
counts this process's threads meanwhile."""

import os
import sys

import numpy as np

import cyclewright

x = np.cumsum(np.random.default_rng(1).normal(size=10_000_000))
print(len(os.listdir("/proc/self/task")), flush=True)
sys.stdin.readline()
for _ in range(3):
    cyclewright.eq_load_python(x, 3.3, 10, True)
    cyclewright.eq_load_max_half_cycle_closed_python(x, 3.3, 10, True)
cyclewright.halfcycles(x[:2_000_000], False)
