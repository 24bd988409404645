// Asks the machine whether a registry key exists under the class root, the way
// the grid catalogue learns whether a grid control is installed.
#pragma once

#include <string>

namespace vireo {

class ControlRegistry {
 public:
  virtual ~ControlRegistry() = default;
  // `subkey` is relative to the class root, for example "CLSID\{...}".
  virtual bool KeyExists(const std::string& subkey) const = 0;
};

}  // namespace vireo
