#include "numpy_api.hpp"

#include <atomic>
#include <cstddef>
#include <string>

#include "internal_failure.hpp"
#include "owned_ref.hpp"
#include "python_error.hpp"

// The compile-time headers are used only to check that the layouts above
// agree with the NumPy this was built against.
#define NPY_NO_DEPRECATED_API NPY_1_7_API_VERSION
#include <numpy/ndarraytypes.h>

namespace cyclewright::numpy {

static_assert(offsetof(ArrayObject, data) == offsetof(PyArrayObject_fields, data));
static_assert(offsetof(ArrayObject, nd) == offsetof(PyArrayObject_fields, nd));
static_assert(offsetof(ArrayObject, dimensions) == offsetof(PyArrayObject_fields, dimensions));
static_assert(offsetof(ArrayObject, strides) == offsetof(PyArrayObject_fields, strides));
static_assert(offsetof(ArrayObject, base) == offsetof(PyArrayObject_fields, base));
static_assert(offsetof(ArrayObject, descr) == offsetof(PyArrayObject_fields, descr));
static_assert(offsetof(ArrayObject, flags) == offsetof(PyArrayObject_fields, flags));
#if NPY_ABI_VERSION >= 0x02000000
static_assert(offsetof(DescrNumpy2, elsize) == offsetof(_PyArray_DescrNumPy2, elsize));
static_assert(offsetof(DescrNumpy1, elsize) == offsetof(PyArray_DescrProto, elsize));
#else
static_assert(offsetof(DescrNumpy1, elsize) == offsetof(PyArray_Descr, elsize));
#endif
static_assert(kNpyDouble == NPY_DOUBLE);
static_assert(kArrayCContiguous == NPY_ARRAY_C_CONTIGUOUS);
static_assert(kArrayFContiguous == NPY_ARRAY_F_CONTIGUOUS);
static_assert(kArrayWriteable == NPY_ARRAY_WRITEABLE);

namespace {

// Slots of the API table, the same in NumPy 1 and 2.
constexpr std::size_t kArrayTypeSlot = 2;
constexpr std::size_t kDescrFromTypeSlot = 45;
constexpr std::size_t kEquivTypesSlot = 182;
constexpr std::size_t kFeatureVersionSlot = 211;

using DescrFromType = PyObject* (*)(int);
using EquivTypes = unsigned char (*)(PyObject*, PyObject*);
using FeatureVersion = unsigned int (*)();

// Filled once with the interpreter lock held; never emptied.
const char* multiarray_name = nullptr;
// Read by the registry's operations, which other modules may call.
std::atomic<unsigned> feature_version{0};

template <class Function>
Function api_function(std::size_t slot) {
    return reinterpret_cast<Function>(api()[slot]);
}

PyTypeObject* array_type() { return static_cast<PyTypeObject*>(api()[kArrayTypeSlot]); }

unsigned ndarray_feature_version() noexcept {
    unsigned version = feature_version.load(std::memory_order_relaxed);
    if (version == 0) {
        version = reinterpret_cast<FeatureVersion>(detail::api_table[kFeatureVersionSlot])();
        feature_version.store(version, std::memory_order_relaxed);
    }
    return version;
}

// Attribute `name` of `object` as a new reference. Throws PythonError.
OwnedRef attribute(PyObject* object, const char* name) {
    return checked(PyObject_GetAttrString(object, name));
}

OwnedRef import(const char* name) {
    OwnedRef text = checked(PyUnicode_FromString(name));
    return checked(PyImport_Import(text.get()));
}

// The major version of the installed NumPy, as numpy.lib.NumpyVersion reads
// its `__version__`.
unsigned numpy_major_version() {
    OwnedRef numpy = import("numpy");
    OwnedRef version = attribute(numpy.get(), "__version__");
    OwnedRef lib = import("numpy.lib");
    OwnedRef parser = attribute(lib.get(), "NumpyVersion");
    OwnedRef parsed = checked(PyObject_CallOneArg(parser.get(), version.get()));
    OwnedRef major = attribute(parsed.get(), "major");
    if (!PyLong_Check(major.get())) {
        OwnedRef index = checked(PyNumber_Index(major.get()));
        major = std::move(index);
    }
    const long value = PyLong_AsLong(major.get());
    if (value == -1 && PyErr_Occurred()) throw_pending_error();
    if (value < 0 || value > 255) {
        PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
        throw_pending_error();
    }
    return static_cast<unsigned>(value);
}

}  // namespace

namespace detail {

void** api_table = nullptr;

void** load_api_table() {
    try {
        OwnedRef module = import(multiarray_module_name());
        OwnedRef capsule = attribute(module.get(), "_ARRAY_API");
        void* table = capsule_pointer(capsule.get());
        // Imports may run Python code that filled the table meanwhile; keep
        // the first one. The capsule is kept referenced for ever.
        if (api_table == nullptr) {
            api_table = static_cast<void**>(table);
            static_cast<void>(capsule.release());
        }
        return api_table;
    } catch (PythonError& error) {
        fail("Failed to access NumPy array API capsule: " + describe_python_error(std::move(error)));
    }
}

}  // namespace detail

const char* multiarray_module_name() {
    if (multiarray_name == nullptr) {
        const unsigned major = numpy_major_version();
        if (multiarray_name == nullptr) {
            multiarray_name = major >= 2 ? "numpy._core.multiarray" : "numpy.core.multiarray";
        }
    }
    return multiarray_name;
}

bool is_array(PyObject* object) {
    PyTypeObject* type = array_type();
    return Py_IS_TYPE(object, type) || PyType_IsSubtype(Py_TYPE(object), type);
}

bool is_array_loaded(PyObject* object) noexcept {
    auto* type = static_cast<PyTypeObject*>(detail::api_table[kArrayTypeSlot]);
    return Py_IS_TYPE(object, type) || PyType_IsSubtype(Py_TYPE(object), type);
}

bool has_float64_dtype(PyObject* array) {
    PyObject* descr = as_array(array)->descr;
    OwnedRef float64 = checked(api_function<DescrFromType>(kDescrFromTypeSlot)(kNpyDouble));
    return descr == float64.get() ||
           api_function<EquivTypes>(kEquivTypesSlot)(descr, float64.get()) != 0;
}

npy_intp element_size(PyObject* array) noexcept {
    PyObject* descr = as_array(array)->descr;
    if (ndarray_feature_version() > kLastNumpy1FeatureVersion) {
        return reinterpret_cast<DescrNumpy2*>(descr)->elsize;
    }
    return reinterpret_cast<DescrNumpy1*>(descr)->elsize;
}

}  // namespace cyclewright::numpy
