// The control registry of the machine: a key exists when RegOpenKeyA opens
// it under HKEY_CLASSES_ROOT.
#pragma once

#include <string>

#include "host/control_registry.h"

namespace vireo {

class WindowsRegistry final : public ControlRegistry {
 public:
  bool KeyExists(const std::string& subkey) const override;
};

}  // namespace vireo
