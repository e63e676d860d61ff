// Some libraries (libpng among them) print their complaints on stderr
// themselves. While a LibraryMessages object lives, whatever the current
// thread prints on stderr is collected instead, so that it can become part
// of veldra's own one-line message about the file.
#pragma once

#include <string>

// Routes stderr through the collector; call once at start. Text printed
// outside a LibraryMessages scope passes through unchanged.
void RouteLibraryMessages();

class LibraryMessages {
public:
    LibraryMessages();
    ~LibraryMessages();
    LibraryMessages(const LibraryMessages&) = delete;
    LibraryMessages& operator=(const LibraryMessages&) = delete;

    // `message` (the library's own error text) followed by the collected
    // lines it does not already say, on one line; `otherwise` when both
    // are empty.
    std::string OneLine(const std::string& message, const std::string& otherwise) const;
};
