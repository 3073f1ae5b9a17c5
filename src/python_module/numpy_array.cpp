#include "numpy_array.hpp"

#include <atomic>
#include <cstring>
#include <source_location>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "errors.hpp"

// The compile-time headers are used only to check that the reproduced
// layouts agree with the NumPy this was built against.
#define NPY_NO_DEPRECATED_API NPY_1_7_API_VERSION
#include <numpy/ndarraytypes.h>

namespace cyclewright {

namespace abi = reproduced;

static_assert(offsetof(abi::ArrayObject, data) == offsetof(PyArrayObject_fields, data));
static_assert(offsetof(abi::ArrayObject, nd) == offsetof(PyArrayObject_fields, nd));
static_assert(offsetof(abi::ArrayObject, dimensions) == offsetof(PyArrayObject_fields, dimensions));
static_assert(offsetof(abi::ArrayObject, strides) == offsetof(PyArrayObject_fields, strides));
static_assert(offsetof(abi::ArrayObject, base) == offsetof(PyArrayObject_fields, base));
static_assert(offsetof(abi::ArrayObject, descr) == offsetof(PyArrayObject_fields, descr));
static_assert(offsetof(abi::ArrayObject, flags) == offsetof(PyArrayObject_fields, flags));
#if NPY_ABI_VERSION >= 0x02000000
static_assert(offsetof(abi::DescrNumpy2, elsize) == offsetof(_PyArray_DescrNumPy2, elsize));
static_assert(offsetof(abi::DescrNumpy1, elsize) == offsetof(PyArray_DescrProto, elsize));
#else
static_assert(offsetof(abi::DescrNumpy1, elsize) == offsetof(PyArray_Descr, elsize));
#endif
static_assert(abi::kNpyDouble == NPY_DOUBLE);
static_assert(abi::kArrayCContiguous == NPY_ARRAY_C_CONTIGUOUS);
static_assert(abi::kArrayFContiguous == NPY_ARRAY_F_CONTIGUOUS);
static_assert(abi::kArrayWriteable == NPY_ARRAY_WRITEABLE);

// ---- NumPy's API table --------------------------------------------------------

namespace numpy {

namespace {

// Filled once with the interpreter lock held; never emptied.
const char* multiarray_name = nullptr;
// Read by the registry's operations, which other modules may call.
std::atomic<unsigned> feature_version{0};

template <class Function>
Function api_function(std::size_t slot) {
    return reinterpret_cast<Function>(api()[slot]);
}

PyTypeObject* array_type() { return static_cast<PyTypeObject*>(api()[abi::kArrayTypeSlot]); }

unsigned ndarray_feature_version() noexcept {
    unsigned version = feature_version.load(std::memory_order_relaxed);
    if (version == 0) {
        version = reinterpret_cast<abi::FeatureVersion>(detail::api_table[abi::kFeatureVersionSlot])();
        feature_version.store(version, std::memory_order_relaxed);
    }
    return version;
}

// Attribute `name` of `object` as a new reference. Throws PythonError.
OwnedRef attribute(PyObject* object, const char* name) {
    return owned_or_raise(PyObject_GetAttrString(object, name));
}

OwnedRef import(const char* name) {
    OwnedRef module_name = owned_or_raise(PyUnicode_FromString(name));
    return owned_or_raise(PyImport_Import(module_name.get()));
}

// The major version of the installed NumPy, as numpy.lib.NumpyVersion reads
// its `__version__`.
unsigned numpy_major_version() {
    OwnedRef numpy = import("numpy");
    OwnedRef version = attribute(numpy.get(), "__version__");
    OwnedRef lib = import("numpy.lib");
    OwnedRef parser = attribute(lib.get(), "NumpyVersion");
    OwnedRef parsed = owned_or_raise(PyObject_CallOneArg(parser.get(), version.get()));
    OwnedRef major = attribute(parsed.get(), "major");
    if (!PyLong_Check(major.get())) {
        OwnedRef index = owned_or_raise(PyNumber_Index(major.get()));
        major = std::move(index);
    }
    const long value = PyLong_AsLong(major.get());
    if (value == -1 && PyErr_Occurred()) throw_pending_error();
    if (value < 0 || value > 255) {
        PyErr_SetString(PyExc_OverflowError, reproduced::kOutOfRange);
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
        OwnedRef capsule = attribute(module.get(), abi::kApiCapsuleAttribute);
        void* table = capsule_pointer(capsule.get());
        // Imports may run Python code that filled the table meanwhile; keep
        // the first one. The capsule is kept referenced for ever.
        if (api_table == nullptr) {
            api_table = static_cast<void**>(table);
            static_cast<void>(capsule.release());
        }
        return api_table;
    } catch (PythonError& error) {
        fail(reproduced::kApiCapsuleError + describe_python_error(std::move(error)));
    }
}

}  // namespace detail

const char* multiarray_module_name() {
    if (multiarray_name == nullptr) {
        const unsigned major = numpy_major_version();
        if (multiarray_name == nullptr) {
            multiarray_name = major >= 2 ? abi::kMultiarrayNumpy2 : abi::kMultiarrayNumpy1;
        }
    }
    return multiarray_name;
}

bool is_array(PyObject* object) {
    PyTypeObject* type = array_type();
    return Py_IS_TYPE(object, type) || PyType_IsSubtype(Py_TYPE(object), type);
}

bool is_array_loaded(PyObject* object) noexcept {
    auto* type = static_cast<PyTypeObject*>(detail::api_table[abi::kArrayTypeSlot]);
    return Py_IS_TYPE(object, type) || PyType_IsSubtype(Py_TYPE(object), type);
}

bool has_float64_dtype(PyObject* array) {
    PyObject* descr = as_array(array)->descr;
    OwnedRef float64 = owned_or_raise(api_function<abi::DescrFromType>(abi::kDescrFromTypeSlot)(abi::kNpyDouble));
    return descr == float64.get() ||
           api_function<abi::EquivTypes>(abi::kEquivTypesSlot)(descr, float64.get()) != 0;
}

abi::npy_intp element_size(PyObject* array) noexcept {
    PyObject* descr = as_array(array)->descr;
    if (ndarray_feature_version() > abi::kLastNumpy1FeatureVersion) {
        return reinterpret_cast<abi::DescrNumpy2*>(descr)->elsize;
    }
    return reinterpret_cast<abi::DescrNumpy1*>(descr)->elsize;
}

}  // namespace numpy

void* capsule_pointer(PyObject* capsule) {
    if (!Py_IS_TYPE(capsule, &PyCapsule_Type)) throw conversion_failure(capsule, reproduced::kCapsuleTarget);
    const char* name = PyCapsule_GetName(capsule);
    if (name == nullptr) PyErr_Clear();
    void* pointer = PyCapsule_GetPointer(capsule, name);
    if (pointer == nullptr) {
        // A null table would be dereferenced later; refuse it here.
        if (!PyErr_Occurred()) PyErr_SetString(PyExc_ValueError, "capsule holds a null pointer");
        throw_pending_error();
    }
    return pointer;
}

// ---- The samples of an array --------------------------------------------------

namespace {

[[noreturn, gnu::cold, gnu::noinline]] void not_contiguous(
    std::source_location where = std::source_location::current()) {
    fail(reproduced::kNotContiguous, where);
}

[[noreturn, gnu::cold, gnu::noinline]] void array_changed() {
    throw PythonError::type_error(
        "the array's data type, shape, strides or memory changed while the other arguments were "
        "converted; no sample was read");
}

// One pass over the bytes (the array's data need not be aligned), with
// ordinary stores: the library's memcpy writes a copy of this size past the
// caches, and the count, which reads it right after, would then wait on
// memory.
void copy_block(double* to, const char* from, std::size_t bytes) noexcept {
    auto* out = reinterpret_cast<char*>(to);
    std::size_t i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= bytes; i += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), block);
    }
#endif
    if (i != bytes) std::memcpy(out + i, from + i, bytes - i);
}

}  // namespace

ArrayLayout layout_of(PyObject* array) noexcept {
    const abi::ArrayObject* fields = numpy::as_array(array);
    std::size_t count = 1;
    // FNV-1a over the number of dimensions, each length and each stride.
    std::uint64_t arrangement = 0xcbf29ce484222325u;
    auto mix = [&arrangement](std::uint64_t word) { arrangement = (arrangement ^ word) * 0x100000001b3u; };
    mix(static_cast<std::uint64_t>(fields->nd));
    for (int i = 0; i < fields->nd; ++i) {
        count *= static_cast<std::size_t>(fields->dimensions[i]);
        mix(static_cast<std::uint64_t>(fields->dimensions[i]));
        mix(static_cast<std::uint64_t>(fields->strides[i]));
    }
    return ArrayLayout{count, count * static_cast<std::size_t>(numpy::element_size(array)), fields->data,
                       arrangement, (fields->flags & (abi::kArrayCContiguous | abi::kArrayFContiguous)) != 0};
}

SampleBuffer::SampleBuffer(std::size_t count)
    : values_(allocate_samples(count)), size_(count) {}

void PendingCopy::copy() noexcept { copy_block(buffer.data(), from, bytes); }

PendingCopy prepare_copy(PyObject* array, const ArrayLayout& viewed) {
    const ArrayLayout now = layout_of(array);
    // The layout is compared before the data type, whose test may allocate.
    if (now != viewed || !numpy::has_float64_dtype(array)) array_changed();
    if (!now.contiguous) not_contiguous();
    const bool aligned = reinterpret_cast<std::uintptr_t>(now.data) % alignof(double) == 0;
    return PendingCopy{SampleBuffer(now.count), now.data, now.bytes, aligned};
}

SampleBuffer copy_samples(PyObject* array, const ArrayLayout& viewed) {
    PendingCopy pending = prepare_copy(array, viewed);
    pending.copy();
    return std::move(pending.buffer);
}

}  // namespace cyclewright
