// Turns the user's interrupts into a request to stop the run (see
// engine/interrupt.h) instead of ending the process: SIGINT and SIGTERM on
// POSIX; Ctrl-C, Ctrl-Break and closing the console on Windows.
#pragma once

namespace vireo {

// Installs the handlers for the rest of the process. They stay installed, so
// a second interrupt only repeats the request.
void CatchInterrupts();

}  // namespace vireo
