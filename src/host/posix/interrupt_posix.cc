#include <signal.h>

#include "base/interrupt.h"
#include "host/interrupt_handlers.h"

namespace vireo {
namespace {

void OnInterruptSignal(int) { RequestInterrupt(); }

}  // namespace

void CatchInterrupts() {
  struct sigaction action = {};
  action.sa_handler = OnInterruptSignal;
  sigemptyset(&action.sa_mask);
  // Restarted calls keep a read or a sync in the commit from failing with EINTR.
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

}  // namespace vireo
