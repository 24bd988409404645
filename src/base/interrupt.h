// The user's request to stop a conversion run (Ctrl-C, a termination
// signal, the console closing): one process-wide flag that the host's
// handlers set and the run reads between files and while reading lines.
#pragma once

namespace vireo {

// Safe to call from a signal handler or a console control thread.
void RequestInterrupt();
// Whether a request came, as this thread sees it (see InterruptShield).
bool InterruptRequested();
// Whether a request came, for every thread alike.
bool InterruptRequestedAnywhere();
// Forgets a request, so that tests and later runs start afresh.
void ClearInterrupt();

// While one lives, its thread does not see requests: work that must end as
// a whole once begun (such as the conversions of projects that share files)
// runs to its end, and others still stop.
class InterruptShield {
 public:
  // Whether one lives on this thread.
  static bool Up();
  InterruptShield();
  ~InterruptShield();
  InterruptShield(const InterruptShield&) = delete;
  InterruptShield& operator=(const InterruptShield&) = delete;
};

}  // namespace vireo
