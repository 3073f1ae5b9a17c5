"""Helpers shared by the tests, the scripts they run in child processes
(tests/python/scripts) and the fuzz harness. Importing this module imports
neither pytest nor NumPy: a child may check what the module imports."""

import importlib

import cyclewright

# The attribute of NumPy's multiarray module that holds the registry of views.
REGISTRY_ATTR = "_RUST_NUMPY_BORROW_CHECKING_API"


def numpy_major() -> int:
    import numpy

    return int(numpy.__version__.split(".")[0])


def multiarray():
    """NumPy's multiarray module, where its C API table and the registry live."""
    name = "numpy._core.multiarray" if numpy_major() >= 2 else "numpy.core.multiarray"
    return importlib.import_module(name)


def panic_type():
    """The process's pyo3_runtime.PanicException, reached through a failure."""
    import numpy

    try:
        cyclewright.halfcycles(numpy.array([], dtype=numpy.float64), True)
    except BaseException as exc:  # noqa: BLE001 - that is the point
        return type(exc)
    raise AssertionError("an empty signal did not fail")


def outcome(fn, *args, **kwargs):
    """(type name, message) of what a call raises, or ('ok', result)."""
    try:
        return ("ok", fn(*args, **kwargs))
    except BaseException as exc:  # noqa: BLE001
        return (type(exc).__module__ + "." + type(exc).__name__, str(exc))


# Argument objects that convert only through the interpreter's protocols.
class Float(float):
    pass


class Int(int):
    pass


class HasFloat:
    def __init__(self, value):
        self.value = value

    def __repr__(self):  # stable test ids
        return f"{type(self).__name__}({self.value!r})"

    def __float__(self):
        return self.value


class HasIndex:
    def __init__(self, value):
        self.value = value

    __repr__ = HasFloat.__repr__

    def __index__(self):
        return self.value


class Hook:
    """An m or neq whose conversion runs `action` and gives what it returns:
    Python code that runs in the middle of a call."""

    def __init__(self, action):
        self.action = action

    def __float__(self):
        return self.action()

    def __index__(self):
        return self.action()


# A half that passes for NumPy's boolean scalar by its names, so that its
# conversion runs __bool__, and with it `action`.
FakeNumpyBool = type("bool", (Hook,), {"__module__": "numpy", "__bool__": lambda self: self.action()})


def raising(exc):
    """An action that raises `exc`, the same instance every time."""
    def action():
        raise exc
    return action
