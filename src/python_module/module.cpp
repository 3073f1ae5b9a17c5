// The module object: its single-phase definition, the initialisation entry
// point and the module-level state of the process.
#include <atomic>
#include <cstdint>

#include "functions.hpp"
#include "owned_ref.hpp"
#include "python.hpp"
#include "python_error.hpp"
#include "trampoline.hpp"
#include "internal_failure.hpp"

namespace cyclewright {

namespace {

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "cyclewright",  // m_name
    "",             // m_doc
    0,              // m_size
    nullptr,        // m_methods: functions are added after creation
    nullptr,        // m_slots: single-phase initialisation
    nullptr,        // m_traverse
    nullptr,        // m_clear
    nullptr,        // m_free
};

struct ModuleInitState {
    // Identifier of the first interpreter that initialised the module; -1
    // before. Never reset.
    std::atomic<std::int64_t> interpreter{-1};
    // Filled at most once and never cleared; a non-null value is the
    // once-flag. Written only with the interpreter lock held.
    PyObject* module = nullptr;
};

ModuleInitState init_state;

[[noreturn, gnu::cold, gnu::noinline]] void throw_subinterpreter_error() {
    PyErr_SetString(PyExc_ImportError,
                    "cyclewright does not yet support sub-interpreters: it was first "
                    "initialised in another interpreter of this process");
    throw_pending_error();
}

void claim_interpreter() {
    const std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (id == -1) throw_pending_error();
    std::int64_t expected = -1;
    if (!init_state.interpreter.compare_exchange_strong(expected, id) && expected != id) {
        throw_subinterpreter_error();
    }
}

// The interned "__name__", made once.
PyObject* name_attribute() {
    static PyObject* name = nullptr;
    if (name == nullptr) name = checked(PyUnicode_InternFromString("__name__")).release();
    return name;
}

// The module's `__all__` list, created empty when absent.
OwnedRef all_list(PyObject* module) {
    OwnedRef all = OwnedRef::steal(PyObject_GetAttrString(module, "__all__"));
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) throw_pending_error();
        PyErr_Clear();
        all = checked(PyList_New(0));
        if (PyObject_SetAttrString(module, "__all__", all.get()) != 0) throw_pending_error();
        return all;
    }
    if (!PyList_Check(all.get())) throw conversion_failure(all.get(), "PyList");
    return all;
}

void add_function(PyObject* module, PyMethodDef& definition) {
    OwnedRef function;
    {
        OwnedRef module_name = checked(PyModule_GetNameObject(module));
        function = checked(PyCMethod_New(&definition, module, module_name.get(), nullptr));
    }
    OwnedRef name = checked(PyObject_GetAttr(function.get(), name_attribute()));
    if (!PyUnicode_Check(name.get())) throw conversion_failure(name.get(), "PyString");
    OwnedRef all = all_list(module);
    if (PyList_Append(all.get(), name.get()) != 0) {
        // Caught right here so that the message can carry the error.
        try {
            throw_pending_error();
        } catch (PythonError& error) {
            fail("could not append __name__ to __all__: " + describe_python_error(std::move(error)));
        }
    }
    if (PyObject_SetAttr(module, name.get(), function.get()) != 0) throw_pending_error();
}

PyObject* initialise() {
    claim_interpreter();
    if (init_state.module != nullptr) return Py_NewRef(init_state.module);

    OwnedRef module = checked(PyModule_Create2(&module_definition, PYTHON_API_VERSION));
    for (PyMethodDef& definition : exposed_functions()) add_function(module.get(), definition);

    if (init_state.module == nullptr) init_state.module = module.release();
    return Py_NewRef(init_state.module);
}

}  // namespace

}  // namespace cyclewright

PyMODINIT_FUNC PyInit_cyclewright(void) {
    return cyclewright::run_at_boundary(cyclewright::initialise);
}
