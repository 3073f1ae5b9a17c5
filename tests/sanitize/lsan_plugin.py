"""pytest plugin for runs under AddressSanitizer (tools/sanitize): looks for
leaked memory once the session is over, while the interpreter is still alive.

At that point everything that CPython, NumPy and the modules still hold is
reachable from their globals, so whatever LeakSanitizer reports is memory
that nothing can free any more: a lost C++ allocation, or an object whose
last reference was dropped without being released. The interpreter's exit,
where CPython and NumPy leave memory behind on purpose, is not checked.

Load with `-p lsan_plugin` and this folder on PYTHONPATH.
"""

import ctypes


def _leak_check():
    try:
        check = ctypes.CDLL(None).__lsan_do_recoverable_leak_check
    except AttributeError:
        return None
    check.restype = ctypes.c_int
    return check


def pytest_sessionfinish(session, exitstatus):
    check = _leak_check()
    if check is None:
        session.config.pluginmanager.get_plugin("terminalreporter").write_line(
            "lsan_plugin: LeakSanitizer is not loaded; no leak check", red=True)
        session.exitstatus = 1
        return
    import gc

    gc.collect()
    leaked = check()
    reporter = session.config.pluginmanager.get_plugin("terminalreporter")
    if leaked:
        reporter.write_line("LeakSanitizer: memory leaked during the session (report above)",
                            red=True)
        session.exitstatus = 1
    else:
        reporter.write_line("LeakSanitizer: no leaks", green=True)
