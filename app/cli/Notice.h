// A warning said at most once in a run, however many frames (and threads)
// come upon it.
#pragma once

#include <atomic>
#include <cstdio>
#include <string>

class Notice {
public:
    explicit Notice(std::string text) : text_(std::move(text)) {}

    void Say()
    {
        if (!said_.exchange(true))
            std::fprintf(stderr, "veldra: warning: %s\n", text_.c_str());
    }

private:
    std::string text_;
    std::atomic<bool> said_{false};
};
