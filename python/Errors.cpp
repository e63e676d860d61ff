#include "Errors.h"

#include <deque>
#include <mutex>

#include "messages/Failure.h"
#include "messages/Warnings.h"

namespace {

std::mutex queueLock;
std::deque<std::string> queued;

}  // namespace

void TranslateFailures()
{
    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            std::rethrow_exception(thrown);
        } catch (const FileError& failure) {
            PyErr_SetString(PyExc_OSError, failure.what());
        } catch (const Failure& failure) {
            PyErr_SetString(PyExc_ValueError, failure.what());
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
