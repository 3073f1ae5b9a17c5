"""The module object: attributes, functions, initialisation, exports."""

import ctypes
import inspect
import re
import subprocess
import types

import pytest

import cyclewright
from conftest import run_script

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


def _dynamic_symbols(path, undefined=False):
    """Names of the global or weak symbols that the ELF file `path` exports
    (or, with `undefined`, imports), as binutils' readelf lists them."""
    listing = subprocess.run(["readelf", "--dyn-syms", "-W", path], check=True,
                             stdout=subprocess.PIPE, text=True).stdout
    names = set()
    for line in listing.splitlines():
        # Num: Value Size Type Bind Vis Ndx Name [(version index)]
        fields = line.split()
        if len(fields) < 8 or not fields[0].endswith(":") or not fields[0][:-1].isdigit():
            continue
        _, value, size, kind, binding, _, ndx, name = fields[:8]
        if (ndx == "UND") != undefined or binding not in ("GLOBAL", "WEAK") or kind == "SECTION":
            continue
        if ndx == "ABS" and int(value, 16) == 0 and size == "0":  # a version name
            continue
        names.add(name.split("@")[0])
    return names


def test_only_export_is_the_init_function():
    assert _dynamic_symbols(cyclewright.__file__) == {"PyInit_cyclewright"}


def test_binary_starts_no_thread_and_reads_no_environment():
    imported = _dynamic_symbols(cyclewright.__file__, undefined=True)
    assert "PyFloat_FromDouble" in imported  # the table was read
    # madvise is allowed: a long copy asks for huge pages, a hint that reads nothing.
    forbidden = {"pthread_create", "thrd_create", "clone", "clone3", "fork", "getenv", "secure_getenv",
                 "sched_getaffinity", "sysconf"}
    assert not imported & forbidden, imported & forbidden
    assert not [name for name in imported if "thread" in name and "mutex" not in name]


def test_import_does_not_import_numpy():
    run = run_script("import_without_numpy")
    assert run.stdout.split()[0] == "False", run.stdout


def test_subinterpreter_import_is_refused(tmp_path):
    # A legacy sub-interpreter (shared GIL, single-phase modules allowed) is
    # what lets the module's own interpreter check answer.
    run = run_script("subinterpreter_import", tmp_path / "sub.txt")
    lines = run.stdout.splitlines()
    if lines[0] == "no-subinterp":
        pytest.skip("this interpreter offers no legacy sub-interpreter")
    result = eval(lines[0])
    assert result.startswith("ImportError: "), result
    assert re.search(r"sub-?interpreters?", result, re.IGNORECASE), result
    assert "support" in result.lower(), result
    # The main interpreter's module still works.
    assert lines[1] == "[(1.5, 1.0)]"
