"""Which `signal` objects are taken, and in which order their samples are read."""

import sys

import numpy as np
import pytest

import cyclewright
from conftest import EMPTY_INDEX, NO_MAXIMUM, NOT_CONTIGUOUS, assert_records
from support import Hook

hc = cyclewright.halfcycles
eq = cyclewright.eq_load_python
eqc = cyclewright.eq_load_max_half_cycle_closed_python


class Sub(np.ndarray):
    pass


def _readonly(a):
    a.flags.writeable = False
    return a


def _unaligned(samples):
    """A 1-D float64 array of `samples` whose data starts one byte off alignment."""
    raw = np.zeros(8 * len(samples) + 1, dtype=np.uint8)
    a = raw[1:].view(np.float64)
    a[:] = samples
    assert not a.flags.aligned
    return a


def _signal_records(samples):
    """The records of halfcycles(half=True) for a 1-D signal of `samples`."""
    return hc(np.array(samples, dtype=np.float64), True)


# Each array is paired with the samples, in memory order, that it must give.
@pytest.mark.parametrize(
    "make, samples",
    [
        (lambda: np.array([0.0, 2.0, 1.0, 3.0, 0.0]), [0, 2, 1, 3, 0]),
        (lambda: np.array([[0.0, 3.0], [1.0, 2.0]]), [0, 3, 1, 2]),
        (lambda: np.array([[0.0, 3.0], [1.0, 2.0]]).T, [0, 3, 1, 2]),  # Fortran order
        (lambda: np.asfortranarray(np.array([[0.0, 3.0], [1.0, 2.0]])), [0, 1, 3, 2]),
        (lambda: np.arange(24.0).reshape(2, 3, 4) % 5, list(np.arange(24.0) % 5)),
        (lambda: np.asfortranarray((np.arange(24.0) % 7).reshape(2, 3, 4)),
         list((np.arange(24.0) % 7).reshape(2, 3, 4).ravel(order="F"))),
        (lambda: np.array(7.0), [7.0]),  # 0-d
        (lambda: np.arange(10.0)[3:], list(range(3, 10))),
        (lambda: np.arange(10.0)[::-1][::-1], list(range(10))),
        (lambda: np.arange(10.0)[::20], [0]),  # one element: contiguous whatever the stride
        (lambda: np.arange(12.0).reshape(3, 4)[1:], [4, 5, 6, 7, 8, 9, 10, 11]),
        (lambda: _readonly(np.array([1.0, 4.0, 2.0])), [1, 4, 2]),
        (lambda: np.array([1.0, 4.0, 2.0]).view(Sub), [1, 4, 2]),
        (lambda: np.array([1.0, 4.0, 2.0], dtype="<f8"), [1, 4, 2]),
        (lambda: np.array([1.0, 4.0, 2.0], dtype="=d"), [1, 4, 2]),
        (lambda: np.frombuffer(np.array([1.0, 4.0, 2.0]).tobytes()), [1, 4, 2]),  # read-only, bytes base
        (lambda: np.broadcast_to(np.array([2.0, 5.0]), (1, 2)), [2, 5]),
        (lambda: np.zeros((1, 3))[:, ::1], [0, 0, 0]),
        (lambda: _unaligned([0.0, 2.0, 1.0, 3.0, -1.0, 4.0]), [0, 2, 1, 3, -1, 4]),
    ],
    ids=["1d", "2d-C", "2d-transposed", "2d-asfortran", "3d-C", "3d-F", "0d", "slice-offset",
         "reversed-twice", "stride-one-element", "row-slice", "read-only", "subclass", "little-endian",
         "native-d", "frombuffer", "broadcast-one-row", "column-view", "unaligned"],
)
def test_samples_in_memory_order(make, samples):
    a = make()
    assert_records(hc(a, True), _signal_records(samples))
    assert eq(a, 3.0, 1, False) == eq(np.array(samples, dtype=np.float64), 3.0, 1, False)


def test_array_is_not_written():
    a = np.array([3.0, 1.0, 4.0, 1.0, 5.0, 9.0, 2.0, 6.0])
    before = a.copy()
    hc(a, True)
    eq(a, 3.0, 1, True)
    eqc(a, 3.0, 1, True)
    assert np.array_equal(a, before)


@pytest.mark.parametrize(
    "make",
    [
        lambda: np.arange(10.0)[::2],
        lambda: np.arange(3.0)[::-1],
        lambda: np.arange(12.0).reshape(3, 4)[:, ::2],
        lambda: np.arange(12.0).reshape(3, 4)[:, 1:3],
        lambda: np.arange(12.0).reshape(3, 4).T[::-1],
        lambda: np.arange(24.0).reshape(2, 3, 4).transpose(1, 0, 2),
        lambda: np.arange(10.0).view(Sub)[::3],
        lambda: np.broadcast_to(np.array([1.0, 2.0]), (3, 2)),  # zero stride
    ],
    ids=["step-2", "reversed", "2d-column-step", "2d-inner-block", "transposed-reversed",
         "3d-axes-swapped", "subclass-strided", "broadcast"],
)
@pytest.mark.parametrize("fn, args", [(hc, (True,)), (eq, (3.0, 1, True)), (eqc, (3.0, 1, True))],
                         ids=["halfcycles", "eq_load", "eq_load_closed"])
def test_not_contiguous(make, fn, args, panic):
    a = make()
    assert not a.flags.c_contiguous and not a.flags.f_contiguous
    for _ in range(2):  # the same object can be passed again at once
        with pytest.raises(panic) as info:
            fn(a, *args)
        assert info.value.args == (NOT_CONTIGUOUS,)
    assert fn(np.ascontiguousarray(a), *args) is not None


@pytest.mark.parametrize("shape", [(0,), (0, 3), (3, 0), (2, 0, 2)])
@pytest.mark.parametrize(
    "fn, args, message",
    [(hc, (True,), EMPTY_INDEX), (eq, (3.0, 1, True), EMPTY_INDEX),
     (eqc, (3.0, 1, True), NO_MAXIMUM)],
    ids=["halfcycles", "eq_load", "eq_load_closed"],
)
def test_empty_array_fails_in_the_core(shape, fn, args, message, panic):
    with pytest.raises(panic) as info:
        fn(np.zeros(shape), *args)
    assert info.value.args == (message,)


def _local_subclass():
    class Local(np.ndarray):
        pass

    return Local


# The error names the type by its qualified name, "<locals>" and all.
LOCAL = _local_subclass()
assert "<locals>" in LOCAL.__qualname__

# Objects that are no float64 array.
NOT_ARRAYS = [[1.0, 2.0], (1.0, 2.0), 1.0, None, "1,2", b"\0" * 16, memoryview(b"\0" * 16),
              np.float64(1.0), range(3)]
REFUSED_DTYPES = [
    np.float32, np.float16, np.int64, np.int32, np.uint64, np.bool_, np.complex128,
    object, np.longdouble, ">f8" if sys.byteorder == "little" else "<f8", "M8[s]", "m8[s]",
    "V8", [("x", "<f8")],
]
REFUSED = (
    [(lambda obj=obj: obj, type(obj).__qualname__) for obj in NOT_ARRAYS]
    + [(lambda dtype=dtype, cls=cls: np.zeros(4, dtype=dtype).view(cls), cls.__qualname__)
       for dtype in REFUSED_DTYPES for cls in (np.ndarray, Sub)]
    + [(lambda: np.zeros(3, dtype=np.int32).view(LOCAL), LOCAL.__qualname__)]
)
REFUSED_IDS = ([type(o).__qualname__ for o in NOT_ARRAYS]
               + [f"{d}-{c.__name__}" for d in REFUSED_DTYPES for c in (np.ndarray, Sub)] + ["local-subclass"])


@pytest.mark.parametrize("make, qualname", REFUSED, ids=REFUSED_IDS)
@pytest.mark.parametrize("fn, args", [(hc, (True,)), (eq, (3.0, 1, True)), (eqc, (3.0, 1, True))],
                         ids=["halfcycles", "eq_load", "eq_load_closed"])
def test_refused_signal(make, qualname, fn, args):
    obj = make()
    if isinstance(obj, np.ndarray) and obj.dtype == np.float64:  # longdouble is double on some platforms
        pytest.skip("this dtype is float64 here")
    with pytest.raises(TypeError) as info:
        fn(obj, *args)
    assert type(info.value) is TypeError
    assert info.value.args == (
        f"argument 'signal': '{qualname}' object cannot be converted to 'PyArray<T, D>'",)


def test_samples_read_after_the_conversions():
    # Python code running inside a conversion sees the view held, and what it
    # writes into the array is what the call computes with.
    a = np.array([0.0, 1.0, 0.0])

    def rewrite():
        a[1] = 9.0
        return 1.0

    assert eq(a, Hook(rewrite), 1, True) == 9.0  # ranges 9 and 9 over 2 cycles


@pytest.mark.parametrize("offset", [0, 1], ids=["aligned", "unaligned"])
def test_long_copy_in_its_own_pages_keeps_every_sample(offset):
    # Past 32 MiB the copy lives in huge pages mapped for the call. A flat
    # run adds no turning point, so the long signal counts as its short
    # form; the pattern sits at the very end of the copy.
    pattern = [0.0, 0.0, 3.0, -1.0, 2.5, -4.0, 1.0, 7.5, 0.5]
    flat = (33 << 20) // 8 + 12345
    raw = np.zeros(8 * (flat + len(pattern)) + offset, dtype=np.uint8)
    long = raw[offset:].view(np.float64)
    long[flat:] = pattern
    short = np.array(pattern)
    for _ in range(3):  # mapped and unmapped again each time
        assert hc(long, False) == hc(short, False)
        assert eq(long, 3.3, 10, True) == eq(short, 3.3, 10, True)
        assert eqc(long, 3.3, 10, False) == eqc(short, 3.3, 10, False)
