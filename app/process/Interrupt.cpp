#include "process/Interrupt.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <pthread.h>
#include <semaphore.h>
#include <thread>
#include <unistd.h>

#include "files/PendingFiles.h"

namespace {

// Long enough for a frame being written to finish, short enough that
// whoever sent the signal is not kept waiting.
std::atomic<int> graceSeconds{2};

std::atomic<bool> interrupted{false};
std::atomic<int> firstSignal{0};
sem_t graceStarted;

[[noreturn]] void EndNow(int signal)
{
    RemovePendingFiles();
    // Ended by the signal itself, so that whoever waits sees which; inside
    // its handler the signal is blocked until released here.
    std::signal(signal, SIG_DFL);
    sigset_t just;
    sigemptyset(&just);
    sigaddset(&just, signal);
    pthread_sigmask(SIG_UNBLOCK, &just, nullptr);
    raise(signal);
    _exit(128 + signal);
}

extern "C" void OnSignal(int signal)
{
    const bool gentle = signal == SIGINT || signal == SIGTERM || signal == SIGHUP;
    if (!gentle || interrupted.exchange(true))
        EndNow(signal);
    firstSignal = signal;
    sem_post(&graceStarted);
}

// Waits for the first interrupt, then gives the frames in flight their
// grace period; a run still going after it (a huge frame, a read that
// blocks) is ended.
void EndAfterGrace()
{
    while (sem_wait(&graceStarted) != 0 && errno == EINTR) {
    }
    timespec grace{graceSeconds.load(), 0};
    while (nanosleep(&grace, &grace) != 0 && errno == EINTR) {
    }
    static const char message[] =
        "veldra: interrupted; the work in progress was abandoned and its temporary files removed\n";
    (void)!write(STDERR_FILENO, message, sizeof message - 1);
    EndNow(firstSignal.load());
}

}  // namespace

void CatchInterrupts()
{
    sem_init(&graceStarted, 0, 0);
    std::thread(EndAfterGrace).detach();
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) {
        struct sigaction action {};
        struct sigaction before {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        // A signal ignored on entry (a background job, nohup) stays ignored.
        if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN)
            continue;
        sigaction(signal, &action, nullptr);
    }
}

bool Interrupted() { return interrupted; }

int InterruptSignal() { return firstSignal; }

void SetInterruptGrace(int seconds) { graceSeconds = seconds; }

std::string SignalWords(int signal)
{
    const char* name = signal > 0 ? strsignal(signal) : nullptr;
    return "signal " + std::to_string(signal) + (name ? std::string(" (") + name + ")" : "");
}
