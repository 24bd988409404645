// The machine vireo-migrate runs on: where it learns which grid controls are
// registered, how the project's paths are opened, where the host's settings
// file lies, and which dialog asks the user at a terminal. On POSIX this is a
// Wine prefix; on Windows, the machine itself.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "host/control_registry.h"
#include "host/path_resolver.h"
#include "host/settings_file.h"
#include "host/user_interface.h"

namespace vireo {

class HostMachine {
 public:
  HostMachine();
  ~HostMachine();

  // `named_prefix` is the --wine-prefix argument (meaningful on POSIX only);
  // `code_page` the --codepage one that project files' names are read in (0:
  // Windows-1252 on POSIX, the ANSI code page on Windows). False, after
  // saying why on `err`, when the named prefix does not exist or the code
  // page is not known here.
  bool Choose(const std::string& named_prefix, std::FILE* err, bool quiet, int code_page = 0);

  const ControlRegistry& registry() const { return *registry_; }
  const PathResolver& resolver() const { return *resolver_; }
  // The host's VB.INI; null when the machine has none to offer.
  std::unique_ptr<SettingsFile> VbIni() const;

 private:
  std::string prefix_;
  std::unique_ptr<ControlRegistry> registry_;
  std::unique_ptr<PathResolver> resolver_;
};

// The dialog that asks for the grid types when the command runs at a
// terminal; null when it does not.
// `detected_source` (0 for none) is selected first.
std::unique_ptr<ConvertDialog> InteractiveDialog(const ControlRegistry& registry,
                                                 int16_t detected_source);

// The width in columns of the terminal `stream` writes to; 0 when it writes
// to no terminal.
size_t TerminalColumns(std::FILE* stream);

}  // namespace vireo
