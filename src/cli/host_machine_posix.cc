#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>

#include "base/file_system.h"
#include "cli/host_machine.h"
#include "cli/machine_words.h"
#include "cli/terminal_dialog.h"
#include "cli/type_choice.h"
#include "host/ini_settings_file.h"
#include "host/posix/code_page_posix.h"
#include "host/posix/path_resolver_posix.h"
#include "host/posix/wine_registry.h"

namespace vireo {
namespace {

void Say(std::FILE* stream, const std::string& text) {
  std::fputs(text.c_str(), stream);
  std::fflush(stream);
}

}  // namespace

const MachineWords& Words() { return kWineWords; }

HostMachine::HostMachine() = default;
HostMachine::~HostMachine() = default;

bool HostMachine::Choose(const std::string& named, std::FILE* err, bool quiet, int code_page) {
  if (code_page == 0) code_page = kWesternCodePage;
  if (!KnownCodePage(code_page)) {
    Say(err, "vireo-migrate: unknown code page " + std::to_string(code_page) +
                 " (iconv cannot decode CP" + std::to_string(code_page) + ")\n");
    return false;
  }
  if (!named.empty()) {
    PathStatus status;
    if (Files().Status(named, &status) || !status.is_directory) {
      Say(err, "vireo-migrate: the Wine prefix " + named + " does not exist\n");
      return false;
    }
    prefix_ = named;
  } else if (const char* env = std::getenv("WINEPREFIX"); env && *env) {
    prefix_ = env;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    prefix_ = std::string(home) + "/.wine";
  }
  PathStatus status;
  bool exists = !prefix_.empty() && !Files().Status(prefix_, &status) && status.is_directory;
  if (!exists) prefix_.clear();
  auto wine = exists ? std::make_unique<WineRegistry>(prefix_) : nullptr;
  if (wine && wine->HasRegistryFiles()) {
    registry_ = std::move(wine);
  } else {
    registry_ = std::make_unique<EverythingRegistered>();
    if (!quiet)
      Say(err, "vireo-migrate: no Wine registry found" +
                   (exists ? " in " + prefix_ : std::string()) +
                   "; every grid type counts as registered\n");
  }
  resolver_ = std::make_unique<PosixPathResolver>(prefix_, code_page);
  return true;
}

std::unique_ptr<SettingsFile> HostMachine::VbIni() const {
  if (prefix_.empty()) return nullptr;
  return std::make_unique<IniSettingsFile>(WineVbIniPath(prefix_));
}

std::unique_ptr<ConvertDialog> InteractiveDialog(const ControlRegistry& registry,
                                                 int16_t detected_source) {
  if (!::isatty(0) || !::isatty(1)) return nullptr;
  auto dialog = std::make_unique<TerminalDialog>(registry, 0, 1);
  dialog->Preselect(detected_source);
  return dialog;
}

size_t TerminalColumns(std::FILE* stream) {
  int fd = ::fileno(stream);
  if (fd < 0 || !::isatty(fd)) return 0;
  winsize size{};
  if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  const char* columns = std::getenv("COLUMNS");
  int named = columns ? std::atoi(columns) : 0;
  return named > 0 ? static_cast<size_t>(named) : 80;
}

}  // namespace vireo
