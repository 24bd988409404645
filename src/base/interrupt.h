// The user's request to stop a conversion run (Ctrl-C, a termination
// signal, the console closing): one process-wide flag that the host's
// handlers set and the run reads between files and while reading lines.
#pragma once

namespace vireo {

// Safe to call from a signal handler or a console control thread.
void RequestInterrupt();
bool InterruptRequested();
// Forgets a request, so that tests and later runs start afresh.
void ClearInterrupt();

}  // namespace vireo
