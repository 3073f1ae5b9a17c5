// viewpeer: a second extension module, used only by the tests, that plays
// another module of the process sharing the registry of array views with
// cyclewright through the capsule "_RUST_NUMPY_BORROW_CHECKING_API" on
// NumPy's multiarray module.
//
// It can
//  - take and release shared and exclusive views through whatever table the
//    capsule holds (acquire/release/acquire_mut/release_mut), and
//  - install a registry of its own before cyclewright looks for one: a
//    recording table with a chosen version and a chosen return code for the
//    shared acquire, which counts every call it receives.
//
// It uses the CPython C API only; arrays are passed through as opaque objects.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <cstdlib>

namespace {

constexpr const char *kCapsuleName = "_RUST_NUMPY_BORROW_CHECKING_API";

// Layout of the table behind the capsule: six 8-byte fields.
struct BorrowTable {
    std::uint64_t version;
    void *flags;
    int (*acquire)(void *, PyObject *);
    int (*acquire_mut)(void *, PyObject *);
    void (*release)(void *, PyObject *);
    void (*release_mut)(void *, PyObject *);
};
static_assert(sizeof(BorrowTable) == 48);

// State of the recording registry; one per process, never freed, because a
// capsule set on the multiarray module may be used until the process ends.
struct Recorder {
    long long acquire = 0;
    long long acquire_mut = 0;
    long long release = 0;
    long long release_mut = 0;
    long long wrong_flags = 0;  // calls whose state pointer was not ours
    int acquire_code = 0;       // what the shared acquire answers
    std::uintptr_t last_array = 0;
};

Recorder recorder;

void note(void *flags, PyObject *array, long long &counter) {
    if (flags != &recorder) {
        ++recorder.wrong_flags;
    }
    ++counter;
    recorder.last_array = reinterpret_cast<std::uintptr_t>(array);
}

int rec_acquire(void *flags, PyObject *array) {
    note(flags, array, recorder.acquire);
    return recorder.acquire_code;
}

int rec_acquire_mut(void *flags, PyObject *array) {
    note(flags, array, recorder.acquire_mut);
    return 0;
}

void rec_release(void *flags, PyObject *array) {
    note(flags, array, recorder.release);
}

void rec_release_mut(void *flags, PyObject *array) {
    note(flags, array, recorder.release_mut);
}

BorrowTable recording_table{1, &recorder, rec_acquire, rec_acquire_mut, rec_release,
                            rec_release_mut};

// New reference to NumPy's multiarray module: numpy._core.multiarray for
// NumPy 2 and later, numpy.core.multiarray before (NumPy 1.26 also has a
// numpy._core, but only as a stub, so the version decides).
PyObject *multiarray_module() {
    PyObject *numpy = PyImport_ImportModule("numpy");
    if (numpy == nullptr) {
        return nullptr;
    }
    PyObject *version = PyObject_GetAttrString(numpy, "__version__");
    Py_DECREF(numpy);
    if (version == nullptr) {
        return nullptr;
    }
    const char *text = PyUnicode_AsUTF8(version);
    if (text == nullptr) {
        Py_DECREF(version);
        return nullptr;
    }
    const long major = std::strtol(text, nullptr, 10);
    Py_DECREF(version);
    return PyImport_ImportModule(major >= 2 ? "numpy._core.multiarray"
                                            : "numpy.core.multiarray");
}

// A new reference to the registry capsule on the multiarray module, or null
// with an exception set.
PyObject *current_capsule() {
    PyObject *multiarray = multiarray_module();
    if (multiarray == nullptr) {
        return nullptr;
    }
    PyObject *capsule = PyObject_GetAttrString(multiarray, kCapsuleName);
    Py_DECREF(multiarray);
    if (capsule == nullptr) {
        return nullptr;
    }
    if (!PyCapsule_CheckExact(capsule)) {
        Py_DECREF(capsule);
        PyErr_SetString(PyExc_TypeError, "registry attribute is not a capsule");
        return nullptr;
    }
    return capsule;
}

// The table of the capsule currently set on the multiarray module, or null
// with an exception set.
BorrowTable *current_table() {
    PyObject *capsule = current_capsule();
    if (capsule == nullptr) {
        return nullptr;
    }
    // The module keeps the capsule alive, and the tests never replace a
    // capsule while they use its table.
    auto *table = static_cast<BorrowTable *>(
        PyCapsule_GetPointer(capsule, PyCapsule_GetName(capsule)));
    Py_DECREF(capsule);
    if (table == nullptr) {
        return nullptr;
    }
    if (table->version < 1) {
        PyErr_Format(PyExc_RuntimeError, "registry table of version %llu",
                     static_cast<unsigned long long>(table->version));
        return nullptr;
    }
    return table;
}

PyObject *py_acquire(PyObject *, PyObject *array) {
    BorrowTable *table = current_table();
    if (table == nullptr) {
        return nullptr;
    }
    return PyLong_FromLong(table->acquire(table->flags, array));
}

PyObject *py_acquire_mut(PyObject *, PyObject *array) {
    BorrowTable *table = current_table();
    if (table == nullptr) {
        return nullptr;
    }
    return PyLong_FromLong(table->acquire_mut(table->flags, array));
}

PyObject *py_release(PyObject *, PyObject *array) {
    BorrowTable *table = current_table();
    if (table == nullptr) {
        return nullptr;
    }
    table->release(table->flags, array);
    Py_RETURN_NONE;
}

PyObject *py_release_mut(PyObject *, PyObject *array) {
    BorrowTable *table = current_table();
    if (table == nullptr) {
        return nullptr;
    }
    table->release_mut(table->flags, array);
    Py_RETURN_NONE;
}

// (version, name) of the capsule on the multiarray module.
PyObject *py_table_info(PyObject *, PyObject *) {
    PyObject *capsule = current_capsule();
    if (capsule == nullptr) {
        return nullptr;
    }
    const char *name = PyCapsule_GetName(capsule);
    auto *table = static_cast<BorrowTable *>(PyCapsule_GetPointer(capsule, name));
    PyObject *result = nullptr;
    if (table != nullptr) {
        result = Py_BuildValue("(Ks)", static_cast<unsigned long long>(table->version),
                               name);
    }
    Py_DECREF(capsule);
    return result;
}

// install(version=1, acquire_code=0): sets the recording table, with the
// given version, as the registry capsule of the multiarray module and
// returns the capsule.
PyObject *py_install(PyObject *, PyObject *args) {
    unsigned long long version = 1;
    int code = 0;
    if (!PyArg_ParseTuple(args, "|Ki", &version, &code)) {
        return nullptr;
    }
    recording_table.version = version;
    recorder.acquire_code = code;
    PyObject *multiarray = multiarray_module();
    if (multiarray == nullptr) {
        return nullptr;
    }
    PyObject *capsule = PyCapsule_New(&recording_table, kCapsuleName, nullptr);
    if (capsule == nullptr) {
        Py_DECREF(multiarray);
        return nullptr;
    }
    const int rc = PyObject_SetAttrString(multiarray, kCapsuleName, capsule);
    Py_DECREF(multiarray);
    if (rc != 0) {
        Py_DECREF(capsule);
        return nullptr;
    }
    return capsule;
}

PyObject *py_set_acquire_code(PyObject *, PyObject *arg) {
    const long code = PyLong_AsLong(arg);
    if (code == -1 && PyErr_Occurred()) {
        return nullptr;
    }
    recorder.acquire_code = static_cast<int>(code);
    Py_RETURN_NONE;
}

// Counters of the recording table.
PyObject *py_calls(PyObject *, PyObject *) {
    return Py_BuildValue("{sLsLsLsLsLsK}", "acquire", recorder.acquire, "acquire_mut",
                         recorder.acquire_mut, "release", recorder.release,
                         "release_mut", recorder.release_mut, "wrong_flags",
                         recorder.wrong_flags, "last_array",
                         static_cast<unsigned long long>(recorder.last_array));
}

PyMethodDef methods[] = {
    {"acquire", py_acquire, METH_O, "Take a shared view; returns the table's code."},
    {"acquire_mut", py_acquire_mut, METH_O,
     "Take an exclusive view; returns the table's code."},
    {"release", py_release, METH_O, "Release a shared view."},
    {"release_mut", py_release_mut, METH_O, "Release an exclusive view."},
    {"table_info", py_table_info, METH_NOARGS,
     "(version, capsule name) of the registry capsule now set."},
    {"install", py_install, METH_VARARGS,
     "install(version=1, acquire_code=0): set the recording registry capsule."},
    {"set_acquire_code", py_set_acquire_code, METH_O,
     "Code the recording table answers to a shared acquire."},
    {"calls", py_calls, METH_NOARGS, "Counters of the recording registry."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "viewpeer", "Test peer sharing the registry of array views.",
    -1, methods, nullptr, nullptr, nullptr, nullptr,
};

}  // namespace

PyMODINIT_FUNC PyInit_viewpeer() { return PyModule_Create(&module_def); }
