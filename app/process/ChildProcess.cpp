#include "process/ChildProcess.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <csignal>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "process/Interrupt.h"

namespace {

struct Pipe {
    int read = -1, write = -1;
    bool Open()
    {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0)
            return false;
        read = ends[0];
        write = ends[1];
        return true;
    }
    void Close()
    {
        for (int* end : {&read, &write}) {
            if (*end >= 0)
                close(*end);
            *end = -1;
        }
    }
};

// Reads both pipes to their end, whichever the child fills first, so that
// a child with much to say on one never blocks while we wait on the other;
// each piece read goes to `sink` with its stream (1 or 2). With `child`,
// the child is sent SIGTERM once this process is interrupted.
void Drain(int outFd, int errFd, const std::function<void(int, const char*, std::size_t)>& sink, pid_t child)
{
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    int open = 2;
    bool stopSent = false;
    while (open > 0) {
        if (child > 0 && !stopSent && Interrupted()) {
            kill(child, SIGTERM);
            stopSent = true;
        }
        // Signals may reach another thread: look at the interrupt now and then.
        const int ready = poll(fds, 2, child > 0 ? 200 : -1);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buffer[4096];
            const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sink(i + 1, buffer, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                fds[i].fd = -1;
                --open;
            }
        }
    }
}

ProgramResult Run(const std::vector<std::string>& argv, const std::function<void(int, const char*, std::size_t)>& sink,
                  bool stopOnInterrupt)
{
    ProgramResult result;
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    // `failed` carries errno from a failed exec; it closes on a good one.
    Pipe out, err, failed;
    if (!out.Open() || !err.Open() || !failed.Open()) {
        result.errors = std::string("cannot make a pipe: ") + std::strerror(errno);
        out.Close(), err.Close(), failed.Close();
        return result;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        const int nothing = open("/dev/null", O_RDONLY);
        if (nothing < 0 || dup2(nothing, 0) < 0 || dup2(out.write, 1) < 0 || dup2(err.write, 2) < 0)
            _exit(127);
        execvp(args[0], args.data());
        const int error = errno;
        (void)!write(failed.write, &error, sizeof error);
        _exit(127);
    }
    close(out.write), close(err.write), close(failed.write);
    out.write = err.write = failed.write = -1;
    if (pid < 0) {
        result.errors = std::string("cannot start a process: ") + std::strerror(errno);
        out.Close(), err.Close(), failed.Close();
        return result;
    }
    Drain(out.read, err.read, sink, stopOnInterrupt ? pid : 0);
    int execError = 0;
    const bool execFailed = read(failed.read, &execError, sizeof execError) == sizeof execError;
    out.Close(), err.Close(), failed.Close();

    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (execFailed) {
        result.errors = execError == ENOENT ? "not found on PATH" : std::strerror(execError);
        return result;
    }
    result.started = true;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

}  // namespace

ProgramResult RunProgram(const std::vector<std::string>& argv)
{
    std::string output, errors;
    ProgramResult result = Run(
        argv,
        [&](int stream, const char* data, std::size_t size) { (stream == 1 ? output : errors).append(data, size); },
        false);
    result.output = std::move(output);
    if (result.started)
        result.errors = std::move(errors);
    return result;
}

ProgramResult RunProgramLines(const std::vector<std::string>& argv,
                              const std::function<void(int stream, const std::string& line)>& onLine)
{
    std::string pending[2];
    const auto sink = [&](int stream, const char* data, std::size_t size) {
        std::string& text = pending[stream - 1];
        text.append(data, size);
        for (std::size_t newline; (newline = text.find('\n')) != std::string::npos;) {
            onLine(stream, text.substr(0, newline));
            text.erase(0, newline + 1);
        }
    };
    ProgramResult result = Run(argv, sink, true);
    for (int stream = 1; stream <= 2; ++stream) {
        if (!pending[stream - 1].empty())
            onLine(stream, pending[stream - 1]);
    }
    return result;
}

std::string LastLine(const std::string& text)
{
    const std::size_t last = text.find_last_not_of("\r\n");
    if (last == std::string::npos)
        return "";
    const std::size_t newline = text.rfind('\n', last);
    const std::size_t first = newline == std::string::npos ? 0 : newline + 1;
    return text.substr(first, last - first + 1);
}
