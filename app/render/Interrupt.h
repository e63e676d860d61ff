// Ctrl-C and SIGTERM during a run: the frames being written are finished
// and no new frame starts, so that nothing is left half-written. A second
// signal ends the program at once.
#pragma once

// Installs the handlers; call once before frames start.
void CatchInterrupts();

// True once an interrupt has arrived.
bool Interrupted();
