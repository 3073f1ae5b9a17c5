# The user's road on CPython 3.14 (tools/user-road): the fatigue report with
# the bundled example load and the Dask example, then the package built and
# installed by pip in fresh environments, with stubtest of its type stub.
suite "user road: fatigue report, example load, Dask (CPython 3.14)" tools/user-road report "$@"
suite "user road: pip wheel, pip install, type stub (CPython 3.14)" tools/user-road packaging "$@"
