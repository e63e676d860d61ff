// Signals during a run. The first INT, TERM or HUP stops new frames from
// starting; frames being written get a short grace period to finish, after
// which they are abandoned: their temporary files are removed and the
// program exits. A second signal, or QUIT or PIPE, removes the temporary
// files and ends the program at once. No file is left half-written either
// way, and the exit status says the run was interrupted.
#pragma once

#include <string>

// Installs the handlers; call once at start, before any file is written.
void CatchInterrupts();

// True once an interrupt has arrived.
bool Interrupted();
// The signal of the first interrupt, 0 before one.
int InterruptSignal();

// Gives the work in progress `seconds` after the first interrupt instead
// of the usual two, for a process with more to finish than a frame (a
// farm task waits for its renderer and writes down how it ended).
void SetInterruptGrace(int seconds);

// "signal 15 (Terminated)": a signal's number and name, for messages.
std::string SignalWords(int signal);
