#include "render/Interrupt.h"

#include <atomic>
#include <csignal>
#include <initializer_list>

namespace {

std::atomic<bool> interrupted{false};

extern "C" void OnInterrupt(int signal)
{
    interrupted = true;
    std::signal(signal, SIG_DFL);  // the next one ends the program
}

}  // namespace

void CatchInterrupts()
{
    for (const int signal : {SIGINT, SIGTERM}) {
        // A signal ignored on entry (a background job, nohup) stays ignored.
        if (std::signal(signal, OnInterrupt) == SIG_IGN)
            std::signal(signal, SIG_IGN);
    }
}

bool Interrupted() { return interrupted; }
