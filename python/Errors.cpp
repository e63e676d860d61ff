#include "Errors.h"

#include <deque>
#include <mutex>

#include "messages/Failure.h"
#include "messages/Warnings.h"

namespace {

std::mutex queueLock;
std::deque<std::string> queued;

// Raises the exception of the failure's kind. A file's carries the file
// and the system's code for the cause, as Python's own errors do, so that
// Python picks FileNotFoundError, PermissionError... by the code, and its
// message reads "[Errno N] PROBLEM: 'FILE'".
void RaiseFailure(const Failure& failure)
{
    const py::object type = py::module_::import("builtins").attr(FactsOf(failure.Kind()).pythonError);
    if (failure.Kind() != FailureKind::File || failure.Subject().empty()) {
        PyErr_SetString(type.ptr(), failure.what());
        return;
    }
    const auto* file = dynamic_cast<const FileError*>(&failure);
    const py::object code = file && file->ErrorNumber() != 0 ? py::object(py::int_(file->ErrorNumber()))
                                                             : py::object(py::none());
    const py::object error = type(code, failure.Problem(), failure.Subject());
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())), error.ptr());
}

}  // namespace

void TranslateFailures()
{
    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            std::rethrow_exception(thrown);
        } catch (const Failure& failure) {
            RaiseFailure(failure);
        }
    });
}

void QueueWarnings()
{
    SetWarningHandler([](const std::string& text) {
        std::lock_guard<std::mutex> lock(queueLock);
        queued.push_back(text);
    });
}

void IssueWarnings()
{
    std::deque<std::string> texts;
    {
        std::lock_guard<std::mutex> lock(queueLock);
        texts.swap(queued);
    }
    for (const std::string& text : texts)
        if (PyErr_WarnEx(PyExc_UserWarning, text.c_str(), 1) != 0)
            throw py::error_already_set();
}

std::string MessageOf(const std::exception_ptr& failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& error) {
        return std::string("veldra: ") + error.what();
    } catch (...) {
        return "";
    }
}
