"""Writes the seed corpora of tests/fuzz/corpus (run once; the files are kept
in the repository). Core seeds encode signals worth starting from, in the
input layout of core_fuzz.cpp; Python seeds are fixed pseudo-random bytes,
which the harness turns into argument lists."""

import os
import random
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def core_input(m_choice, neq, flags, values):
    """Values as (tag, arg) pairs: tag 9 gives arg * 0.25, tag 2 NaN, 3 inf,
    4 zero, 7 a repeat; the sign comes from bit 7 of arg."""
    out = bytes([m_choice]) + struct.pack(">Q", neq) + bytes([flags])
    for tag, arg in values:
        out += bytes([tag, arg & 0xFF])
    return out


def quarter(v):
    return (9, int(v * 4))


CORE = {
    "worked": core_input(0, 1, 3, [quarter(v) for v in [1, 3, 2, 5, -1, 0, 4, -2, 2, 0]]),
    "worked-full": core_input(1, 10, 2, [quarter(v) for v in [1, 3, 2, 5, -1, 0, 4, -2, 2, 0]]),
    "trace": core_input(0, 1, 3, [quarter(v) for v in [-2, 1, -3, 5, -1, 3, -4, 4, -2]]),
    "cascade": core_input(1, 1, 3, [quarter(v) for v in [0, 4, 1, 3, 2, 5]]),
    "flat-tops": core_input(0, 1, 3, [quarter(v) for v in [0, 2, 0, 1, 1, 0, 2, 0]]),
    "nan-edges": core_input(1, 1, 3, [(2, 0), quarter(1), quarter(0), quarter(2), (2, 0)]),
    "infinities": core_input(0, 1, 3, [quarter(0), (3, 0), quarter(1), (3, 0x80), (4, 0x80)]),
    "equal-maxima": core_input(1, 1, 3, [quarter(v) for v in [0, 2, 2, 1, 2]]),
    "one-sample": core_input(0, 0, 3, [quarter(5)]),
    "empty": core_input(2, 1, 1, []),
    "overflow-sum": core_input(0, 1, 3, [(6, 0), (7, 0), (6, 0x80), (5, 3)]),
}


def main():
    core = os.path.join(HERE, "corpus", "core")
    python = os.path.join(HERE, "corpus", "python")
    os.makedirs(core, exist_ok=True)
    os.makedirs(python, exist_ok=True)
    for name, data in CORE.items():
        with open(os.path.join(core, name), "wb") as f:
            f.write(data)
    for i in range(12):
        rng = random.Random(i)
        with open(os.path.join(python, f"seed-{i:02d}"), "wb") as f:
            f.write(rng.randbytes(64 + 48 * i))


if __name__ == "__main__":
    main()
