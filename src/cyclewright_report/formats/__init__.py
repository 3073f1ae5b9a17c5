"""Readers of the files simulators write, one module per format, each with
`read_header(path) -> Header` and `read_data(path, header, columns)
-> (time or None, samples)`: HAWC2 `.sel`/`.dat` (`hawc2`), gtsdf `.hdf5`
(`gtsdf`, needs h5py), FLEX `.int` (`flex`), FAST and OpenFAST text output
(`fast_text`); text tables (`table`), what a file is from its first bytes
(`sniff`) and which column is time (`time_column`). Every failure is a
`FormatError` of one line naming the file."""

from .header import FormatError, Header, unique_names
from .sniff import sniff
from .time_column import find_time_column

__all__ = ["FormatError", "Header", "find_time_column", "sniff", "unique_names"]
