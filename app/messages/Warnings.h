// Warnings: what a user should know that does not stop the work. Every
// warning goes through Warn(), which says "veldra: warning: TEXT" on
// standard error, or hands TEXT to the handler a library's host program
// installed instead (the Python package turns them into Python warnings).
#pragma once

#include <atomic>
#include <functional>
#include <string>

void Warn(const std::string& text);

// Sends every later warning to `handler` instead of standard error; an
// empty handler restores standard error. Call it before any work starts:
// the handler is called from whichever thread warns, and must be
// thread-safe.
void SetWarningHandler(std::function<void(const std::string& text)> handler);

// A warning that may come up on every frame of a run, and on several
// threads at once, said the first time only. A run keeps its own, so that
// the next run in the same process warns again.
class OnceWarning {
public:
    void Say(const std::string& text)
    {
        if (!said_.exchange(true))
            Warn(text);
    }

private:
    std::atomic<bool> said_{false};
};
