#include "messages/LibraryMessages.h"

#include <cstdio>
#include <unistd.h>

namespace {

thread_local bool collecting = false;
thread_local std::string collected;

ssize_t WriteToStderr(void*, const char* text, size_t size)
{
    if (collecting) {
        collected.append(text, size);
        return static_cast<ssize_t>(size);
    }
    std::size_t done = 0;
    while (done < size) {
        const ssize_t written = write(STDERR_FILENO, text + done, size - done);
        if (written <= 0)
            return done ? static_cast<ssize_t>(done) : -1;
        done += static_cast<std::size_t>(written);
    }
    return static_cast<ssize_t>(size);
}

// `text` on one line: line ends and tabs become single spaces.
std::string Flatten(const std::string& text)
{
    std::string line;
    for (const char c : text)
        line += (c == '\n' || c == '\r' || c == '\t') ? ' ' : c;
    std::string squeezed;
    for (const char c : line) {
        if (c == ' ' && (squeezed.empty() || squeezed.back() == ' '))
            continue;
        squeezed += c;
    }
    while (!squeezed.empty() && squeezed.back() == ' ')
        squeezed.pop_back();
    return squeezed;
}

}  // namespace

void RouteLibraryMessages()
{
    // Unbuffered, so that text reaches the collector on the thread that
    // printed it.
    cookie_io_functions_t functions{};
    functions.write = WriteToStderr;
    if (std::FILE* stream = fopencookie(nullptr, "w", functions)) {
        std::setvbuf(stream, nullptr, _IONBF, 0);
        stderr = stream;
    }
}

LibraryMessages::LibraryMessages()
{
    collecting = true;
    collected.clear();
}

LibraryMessages::~LibraryMessages()
{
    collecting = false;
    collected.clear();
}

std::string LibraryMessages::OneLine(const std::string& message, const std::string& otherwise) const
{
    // The first complaint names the fault; those after it follow from it
    // (every later strip of a cut file, say).
    const std::string first = Flatten(message.substr(0, message.find('\n')));
    std::string line = first;
    std::size_t start = 0;
    while (start < collected.size()) {
        std::size_t end = collected.find('\n', start);
        if (end == std::string::npos)
            end = collected.size();
        const std::string extra = Flatten(collected.substr(start, end - start));
        start = end + 1;
        // "libpng error: X" adds nothing when the library's message says X.
        const std::size_t colon = extra.find(": ");
        const std::string said = colon == std::string::npos ? extra : extra.substr(colon + 2);
        if (extra.empty() || message.find(said) != std::string::npos)
            continue;
        line += line.empty() ? extra : "; " + extra;
    }
    return line.empty() ? otherwise : line;
}
