#include <io.h>

#include "cli/host_machine.h"
#include "cli/machine_words.h"
#include "host/win32/path_resolver_win32.h"
#include "host/win32/profile_settings_file.h"
#include "host/win32/user_interface_win32.h"
#include "host/win32/windows_headers.h"
#include "host/win32/windows_registry.h"

namespace vireo {

const MachineWords& Words() { return kWindowsWords; }

HostMachine::HostMachine() = default;
HostMachine::~HostMachine() = default;

bool HostMachine::Choose(const std::string& named, std::FILE* err, bool quiet, int code_page) {
  if (code_page != 0 && !::IsValidCodePage(static_cast<UINT>(code_page))) {
    std::fputs(("vireo-migrate: unknown code page " + std::to_string(code_page) +
                " (Windows has no such code page installed)\n")
                   .c_str(),
               err);
    std::fflush(err);
    return false;
  }
  if (!named.empty() && !quiet) {
    std::fputs("vireo-migrate: --wine-prefix is ignored on Windows\n", err);
    std::fflush(err);
  }
  registry_ = std::make_unique<WindowsRegistry>();
  resolver_ = std::make_unique<WindowsPathResolver>(static_cast<unsigned>(code_page));
  return true;
}

std::unique_ptr<SettingsFile> HostMachine::VbIni() const {
  return std::make_unique<ProfileSettingsFile>("VB.INI");
}

// At a console the add-in's dialog asks, with the command line's note, the
// project's library selected first, and why OK is disabled said; without one
// the types come from the command line or from the project's reference line.
std::unique_ptr<ConvertDialog> InteractiveDialog(const ControlRegistry& registry,
                                                 int16_t detected_source) {
  if (!_isatty(_fileno(stdin)) || !_isatty(_fileno(stdout))) return nullptr;
  return std::make_unique<Win32ConvertDialog>(
      registry, Win32ConvertDialog::CommandLineOptions(detected_source));
}

size_t TerminalColumns(std::FILE* stream) {
  int fd = _fileno(stream);
  if (fd < 0 || !_isatty(fd)) return 0;
  CONSOLE_SCREEN_BUFFER_INFO info;
  auto console = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  if (!::GetConsoleScreenBufferInfo(console, &info)) return 80;
  return static_cast<size_t>(info.srWindow.Right - info.srWindow.Left + 1);
}

}  // namespace vireo
