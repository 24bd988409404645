// A control registry that holds exactly the keys a test gives it.
#pragma once

#include <set>
#include <string>

#include "engine/catalogue/grid_catalogue.h"
#include "host/control_registry.h"

namespace vireo::testing {

class FakeRegistry : public ControlRegistry {
 public:
  bool KeyExists(const std::string& subkey) const override { return keys.count(subkey) > 0; }
  // Registers the control of catalogue row `position`.
  void RegisterRow(int position) {
    keys.insert("CLSID\\{" + GridCatalogue().Item(position).Item("CLSID_MsPlover").ToString() +
                "}");
  }
  std::set<std::string> keys;
};

}  // namespace vireo::testing
