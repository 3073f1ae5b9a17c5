"""The module object: attributes, functions, initialisation, exports."""

import ctypes
import inspect
import re
import struct
import types

import pytest

import cyclewright
from conftest import run_ok, run_python

NAMES = ["eq_load_python", "eq_load_max_half_cycle_closed_python", "halfcycles"]


def test_module_attributes():
    assert cyclewright.__name__ == "cyclewright"
    assert cyclewright.__doc__ == ""
    assert type(cyclewright.__all__) is list
    assert cyclewright.__all__ == NAMES


@pytest.mark.parametrize(
    "name, signature, params",
    [
        ("halfcycles", "(signal, half)", ["signal", "half"]),
        ("eq_load_python", "(signal, m, neq, half)", ["signal", "m", "neq", "half"]),
        ("eq_load_max_half_cycle_closed_python", "(signal, m, neq, half)",
         ["signal", "m", "neq", "half"]),
    ],
)
def test_function_surface(name, signature, params):
    fn = getattr(cyclewright, name)
    assert isinstance(fn, types.BuiltinFunctionType)
    assert fn.__name__ == name
    assert fn.__qualname__ == name
    assert fn.__module__ == "cyclewright"
    assert fn.__self__ is cyclewright
    assert fn.__doc__ is None
    assert fn.__text_signature__ == signature
    sig = inspect.signature(fn)
    assert list(sig.parameters) == params
    for p in sig.parameters.values():
        assert p.kind is inspect.Parameter.POSITIONAL_OR_KEYWORD, p
        assert p.default is inspect.Parameter.empty, p


def test_second_init_returns_the_same_module():
    lib = ctypes.PyDLL(cyclewright.__file__)
    init = lib.PyInit_cyclewright
    init.restype = ctypes.py_object
    init.argtypes = []
    for _ in range(3):
        assert init() is cyclewright
    assert cyclewright.__all__ == NAMES


def _elf_dynamic_symbols(path, undefined=False):
    """Names of the defined (or, with `undefined`, the imported) global or weak
    symbols of an ELF64 .dynsym."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:4] == b"\x7fELF" and data[4] == 2, "expected an ELF64 file"
    end = "<" if data[5] == 1 else ">"
    shoff, = struct.unpack_from(end + "Q", data, 0x28)
    shentsize, shnum = struct.unpack_from(end + "HH", data, 0x3A)
    sections = [struct.unpack_from(end + "IIQQQQIIQQ", data, shoff + i * shentsize)
                for i in range(shnum)]
    names = set()
    for sh in sections:
        if sh[1] != 11:  # SHT_DYNSYM
            continue
        strtab = sections[sh[6]]
        str_off = strtab[4]
        for off in range(sh[4], sh[4] + sh[5], sh[9]):
            st_name, st_info, _other, st_shndx = struct.unpack_from(end + "IBBH", data, off)
            binding, kind = st_info >> 4, st_info & 0xF
            if (st_shndx == 0) != undefined or binding not in (1, 2) or kind == 3:  # local, section
                continue
            st_value, st_size = struct.unpack_from(end + "QQ", data, off + 8)
            if st_shndx == 0xFFF1 and st_value == 0 and st_size == 0:  # a version name
                continue
            stop = data.index(b"\0", str_off + st_name)
            name = data[str_off + st_name:stop].decode()
            if name:
                names.add(name)
    return names


def test_only_export_is_the_init_function():
    assert _elf_dynamic_symbols(cyclewright.__file__) == {"PyInit_cyclewright"}


def test_binary_starts_no_thread_and_reads_no_environment():
    imported = _elf_dynamic_symbols(cyclewright.__file__, undefined=True)
    assert "PyFloat_FromDouble" in imported  # the table was read
    forbidden = {"pthread_create", "thrd_create", "clone", "clone3", "fork", "getenv", "secure_getenv",
                 "sched_getaffinity", "madvise", "sysconf"}
    assert not imported & forbidden, imported & forbidden
    assert not [name for name in imported if "thread" in name and "mutex" not in name]


def test_import_does_not_import_numpy():
    run = run_ok("print('numpy' in sys.modules, sorted(m for m in sys.modules if m.startswith('numpy')))")
    assert run.stdout.split()[0] == "False", run.stdout


SUBINTERP = """
import cyclewright, os, sys
try:
    import _testcapi
except ImportError:
    print('no-subinterp'); sys.exit(0)
if not hasattr(_testcapi, 'run_in_subinterp'):
    print('no-subinterp'); sys.exit(0)
out = {out!r}
code = '''
try:
    import cyclewright
    result = 'imported'
except BaseException as exc:
    result = type(exc).__name__ + ': ' + str(exc)
with open({out!r}, 'w') as f:
    f.write(result)
'''
rc = _testcapi.run_in_subinterp(code)
with open(out) as f:
    print(repr(f.read()))
import numpy
print(cyclewright.halfcycles(numpy.array([1.0, 2.0]), True))
"""


def test_subinterpreter_import_is_refused(tmp_path):
    # A legacy sub-interpreter (shared GIL, single-phase modules allowed) is
    # what lets the module's own interpreter check answer.
    run = run_python(SUBINTERP.format(out=str(tmp_path / "sub.txt")), prelude=False)
    assert run.rc == 0, run.stderr
    lines = run.stdout.splitlines()
    if lines[0] == "no-subinterp":
        pytest.skip("this interpreter offers no legacy sub-interpreter")
    result = eval(lines[0])
    assert result.startswith("ImportError: "), result
    assert re.search(r"sub-?interpreters?", result, re.IGNORECASE), result
    assert "support" in result.lower(), result
    # The main interpreter's module still works.
    assert lines[1] == "[(1.5, 1.0)]"
