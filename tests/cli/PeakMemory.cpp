// peak_memory PROGRAM [ARGUMENT...]: runs the program, prints the peak
// resident memory of that one process in kilobytes on standard output and
// exits with the program's exit code (-1 as 255 when it did not exit).
//
// A test cannot measure a child it starts itself: the kernel counts the
// memory a new process held before it started its program, and a child of
// a test holds the whole test's memory at that moment. This launcher is
// small, so what it counts is the program's own.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdio>

extern char** environ;

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: peak_memory PROGRAM [ARGUMENT...]\n");
        return 2;
    }
    pid_t child = 0;
    if (posix_spawn(&child, argv[1], nullptr, nullptr, argv + 1, environ) != 0) {
        std::perror(argv[1]);
        return 2;
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child)
        return 2;
    std::printf("%ld\n", usage.ru_maxrss);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 255;
}
