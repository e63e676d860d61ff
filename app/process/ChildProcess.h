// Runs another program with an argument vector (never through a shell, so
// no path is ever parsed as shell text) and collects what it prints.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct ProgramResult {
    bool started = false;  // false: the program could not be run at all
    int exitCode = -1;     // the exit status, or 128 + the signal that ended it
    std::string output;    // its standard output
    std::string errors;    // its standard error, or why it could not start
};

// Runs argv[0] (looked up on PATH when it has no '/') with `argv`, standard
// input from /dev/null, and waits for it.
ProgramResult RunProgram(const std::vector<std::string>& argv);

// The same, for a long-running child whose words matter as they come:
// each line of its standard output (stream 1) and standard error (stream
// 2) goes to `onLine` as soon as it is complete, instead of into the
// result, and once this process is interrupted (process/Interrupt.h) the
// child is asked to stop with SIGTERM.
ProgramResult RunProgramLines(const std::vector<std::string>& argv,
                              const std::function<void(int stream, const std::string& line)>& onLine);

// The last non-empty line of `text`, without its line break.
std::string LastLine(const std::string& text);
