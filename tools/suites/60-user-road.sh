# The user's road on CPython 3.14 (tools/user-road): the report command with
# the bundled example load, its pictures and the Dask variant, the fatigue
# library (cyclewright_fatigue) with its nanobind extension, then the
# manylinux wheel and `pip install .` in fresh environments: the installed
# command without matplotlib, and stubtest of the module's type stub.
cw_step "user road: the report, example load, pictures, Dask (CPython 3.14)" tools/user-road report "$@"
cw_step "user road: the fatigue library and its nanobind extension (CPython 3.14)" tools/user-road fatigue "$@"
cw_step "user road: manylinux wheel, pip install, the installed command, type stub (CPython 3.14)" tools/user-road packaging "$@"
