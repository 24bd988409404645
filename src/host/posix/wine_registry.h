// The control registry of a Wine prefix, read from its system.reg (keys of
// HKEY_LOCAL_MACHINE) and user.reg (keys of HKEY_CURRENT_USER). The class
// root is what both hold under Software\Classes, as Windows merges it.
#pragma once

#include <set>
#include <string>

#include "host/control_registry.h"

namespace vireo {

class WineRegistry final : public ControlRegistry {
 public:
  // Reads the registry files found in `prefix` (their names in any case);
  // a file that cannot be read adds no keys.
  explicit WineRegistry(const std::string& prefix);

  // True when Software\Classes\`subkey` is listed in either file, or a key
  // below it is (Wine lists only keys that hold values), ignoring case. A
  // 64-bit prefix keeps 32-bit classes under Wow6432Node, so those count too.
  bool KeyExists(const std::string& subkey) const override;
  // Whether the prefix has a system.reg or a user.reg at all.
  bool HasRegistryFiles() const { return files_found_ > 0; }

 private:
  void ReadFile(const std::string& path);

  int files_found_ = 0;
  std::set<std::string> class_keys_;  // below Software\Classes, in lower case
};

// The prefix's VB.INI: drive_c/windows/VB.INI with each part found ignoring
// case; when there is none, the path where it is to be created.
std::string WineVbIniPath(const std::string& prefix);

}  // namespace vireo
