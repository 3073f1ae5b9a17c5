// Everything the module reproduces from outside, in one place: the texts its
// callers see, the names and layouts other extensions share with it, and the
// facts of NumPy's binary interface. Callers match on these texts and other
// modules on these layouts, so every item here is reproduced verbatim,
// typos included ("Interal"); change none of them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "python.hpp"

namespace cyclewright::reproduced {

// ---- The module and its functions ------------------------------------------
inline constexpr const char* kModuleName = "cyclewright";
inline constexpr const char* kHalfcyclesName = "halfcycles";
inline constexpr const char* kEqLoadName = "eq_load_python";
inline constexpr const char* kEqLoadClosedName = "eq_load_max_half_cycle_closed_python";
// The signatures that inspect and help() read from the docstrings.
inline constexpr const char* kHalfcyclesDoc = "halfcycles(signal, half)\n--\n\n";
inline constexpr const char* kEqLoadDoc = "eq_load_python(signal, m, neq, half)\n--\n\n";
inline constexpr const char* kEqLoadClosedDoc = "eq_load_max_half_cycle_closed_python(signal, m, neq, half)\n--\n\n";

// ---- Binding the arguments ------------------------------------------------
// "{function}() takes {n} positional arguments but {given} were given"
inline constexpr const char* kTakes = "() takes ";
inline constexpr const char* kPositionalArgumentsBut = " positional arguments but ";
inline constexpr const char* kWereGiven = " were given";
inline constexpr const char* kUnexpectedKeyword = "%s() got an unexpected keyword argument '%S'";
// "{function}() got multiple values for argument '{name}'"
inline constexpr const char* kMultipleValues = "() got multiple values for argument '";
// "{function}() missing {k} required positional argument(s): 'a', 'b', and 'c'"
inline constexpr const char* kMissing = "() missing ";
inline constexpr const char* kRequiredPositional = " required positional ";
inline constexpr const char* kArgument = "argument";
inline constexpr const char* kArguments = "arguments";
// An exact TypeError of a conversion, prefixed with the parameter's name.
inline constexpr const char* kArgumentPrefix = "argument '%s': %S";

// ---- Converting the arguments ---------------------------------------------
inline constexpr const char* kCannotConvert = "'%U' object cannot be converted to '%s'";
inline constexpr const char* kNoTypeName = "<failed to extract type name>";
inline constexpr const char* kSignalTarget = "PyArray<T, D>";
inline constexpr const char* kBoolTarget = "PyBool";
inline constexpr const char* kCapsuleTarget = "PyCapsule";
inline constexpr const char* kListTarget = "PyList";
inline constexpr const char* kStringTarget = "PyString";
inline constexpr const char* kNoBoolConversion = "object of type '%S' does not define a '__bool__' conversion";
// The module and type names that make a scalar NumPy's boolean.
inline constexpr const char* kNumpyModule = "numpy";
inline constexpr const char* kNumpyBoolNames[] = {"bool_", "bool"};

// ---- Internal failures -----------------------------------------------------
inline constexpr const char* kPanicTypeName = "pyo3_runtime.PanicException";
inline constexpr const char* kPanicTypeDoc =
    "The exception raised when the compiled code of cyclewright, called from Python, "
    "fails with an internal error.\n\n"
    "Like SystemExit, it derives from BaseException, not from Exception, so that it "
    "typically propagates all the way through the stack and makes the interpreter exit.";
inline constexpr const char* kEmptySignal = "index out of bounds: the len is 0 but the index is 0";
inline constexpr const char* kNoMaximum = "called `Option::unwrap()` on a `None` value";
inline constexpr const char* kAlreadyBorrowed = "called `Result::unwrap()` on an `Err` value: AlreadyBorrowed";
inline constexpr const char* kNotContiguous = "called `Result::unwrap()` on an `Err` value: NotContiguousError";
// "Unexpected return code {status} from borrow checking API"
inline constexpr const char* kUnexpectedReturnCode = "Unexpected return code ";
inline constexpr const char* kFromBorrowCheckingApi = " from borrow checking API";
inline constexpr const char* kRegistryError = "Interal borrow checking API error: ";
inline constexpr const char* kApiCapsuleError = "Failed to access NumPy array API capsule: ";
inline constexpr const char* kAppendNameError = "could not append __name__ to __all__: ";
inline constexpr const char* kApiCallFailed = "Python API call failed";
inline constexpr const char* kUnwrappedPanic = "Unwrapped panic from Python code";
inline constexpr const char* kUncaughtAtBoundary = "uncaught panic at ffi boundary\n";
// A Python error inside the message of an internal failure:
// PyErr { type: <repr>, value: <repr>, traceback: None | Some("<text>") }
inline constexpr const char* kErrorOpen = "PyErr { type: ";
inline constexpr const char* kErrorValue = ", value: ";
inline constexpr const char* kErrorTraceback = ", traceback: ";
inline constexpr const char* kErrorClose = " }";
inline constexpr const char* kUnprintable = "<unprintable object>";
inline constexpr const char* kUnformattable = "<unformattable ";

// ---- Errors of the interpreter's own kind ----------------------------------
inline constexpr const char* kNoErrorSet = "attempted to fetch exception but none was set";
inline constexpr const char* kOutOfRange = "out of range integral type conversion attempted";
inline constexpr const char* kSubinterpreter =
    "cyclewright does not yet support sub-interpreters: it was first "
    "initialised in another interpreter of this process";
inline constexpr const char* kRegistryVersionZero =
    "version 0 of the borrow checking API is not supported by cyclewright";

// ---- The registry of array views shared with other extensions --------------
// A capsule of this name on NumPy's multiarray module points to the table.
inline constexpr const char* kRegistryCapsule = "_RUST_NUMPY_BORROW_CHECKING_API";

// The table behind the capsule; every field is 8 bytes wide.
struct BorrowApiTable {
    std::uint64_t version;
    void* flags;  // the registry state, passed back to every operation
    int (*acquire)(void* flags, PyObject* array);
    int (*acquire_mut)(void* flags, PyObject* array);
    void (*release)(void* flags, PyObject* array);
    void (*release_mut)(void* flags, PyObject* array);
};
static_assert(sizeof(BorrowApiTable) == 6 * 8);
inline constexpr std::uint64_t kRegistryVersion = 1;
// Statuses of the table's acquire operations.
inline constexpr int kConflict = -1;
inline constexpr int kNotWriteable = -2;

// ---- NumPy's binary interface ----------------------------------------------
// The multiarray module that carries the capsules, after NumPy's major version.
inline constexpr const char* kMultiarrayNumpy2 = "numpy._core.multiarray";
inline constexpr const char* kMultiarrayNumpy1 = "numpy.core.multiarray";
inline constexpr const char* kApiCapsuleAttribute = "_ARRAY_API";

using npy_intp = Py_ssize_t;

// The leading fields of PyArrayObject, identical in NumPy 1 and 2.
struct ArrayObject {
    PyObject_HEAD
    char* data;
    int nd;
    npy_intp* dimensions;
    npy_intp* strides;
    PyObject* base;
    PyObject* descr;
    int flags;
};

// The leading fields of PyArray_Descr up to the element size.
struct DescrNumpy1 {
    PyObject_HEAD
    PyTypeObject* typeobj;
    char kind;
    char type;
    char byteorder;
    char flags;
    int type_num;
    int elsize;
};
struct DescrNumpy2 {
    PyObject_HEAD
    PyTypeObject* typeobj;
    char kind;
    char type;
    char byteorder;
    char former_flags;
    int type_num;
    std::uint64_t flags;
    npy_intp elsize;
};

inline constexpr int kNpyDouble = 12;
inline constexpr int kArrayCContiguous = 0x0001;
inline constexpr int kArrayFContiguous = 0x0002;
inline constexpr int kArrayWriteable = 0x0400;
// Feature versions above this one have the NumPy 2 descriptor layout.
inline constexpr unsigned kLastNumpy1FeatureVersion = 17;

// Slots of the API table, the same in NumPy 1 and 2.
inline constexpr std::size_t kArrayTypeSlot = 2;
inline constexpr std::size_t kDescrFromTypeSlot = 45;
inline constexpr std::size_t kEquivTypesSlot = 182;
inline constexpr std::size_t kFeatureVersionSlot = 211;

using DescrFromType = PyObject* (*)(int);
using EquivTypes = unsigned char (*)(PyObject*, PyObject*);
using FeatureVersion = unsigned int (*)();

}  // namespace cyclewright::reproduced
