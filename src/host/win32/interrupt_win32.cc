#include "base/interrupt.h"
#include "host/interrupt_handlers.h"
#include "host/win32/windows_headers.h"

namespace vireo {
namespace {

// Windows ends the process once a close handler returns (or after a few
// seconds); waiting here lets the run delete its copies or finish its commit
// first, and the process ends when the run returns.
constexpr DWORD kCloseGraceMs = 10000;

BOOL WINAPI OnConsoleControl(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      RequestInterrupt();
      return TRUE;
    case CTRL_CLOSE_EVENT:
      RequestInterrupt();
      Sleep(kCloseGraceMs);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void CatchInterrupts() { SetConsoleCtrlHandler(OnConsoleControl, TRUE); }

}  // namespace vireo
