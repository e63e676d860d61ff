// Warnings: what a user should know that does not stop the work. Every
// warning goes through Warn(), which says "veldra: warning: TEXT" on
// standard error.
#pragma once

#include <atomic>
#include <string>

void Warn(const std::string& text);

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
