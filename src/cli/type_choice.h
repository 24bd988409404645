// How the command line learns the grid types to convert from and to: named
// on the command line, or read from the project's own reference line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/control_registry.h"
#include "host/user_interface.h"

namespace vireo {

// The catalogue position TEXT names: a position 1 to 6, a display name
// ("Vireo 4.0") or a control file name ("VIRA32.OCX"), ignoring case; 0 for none.
int16_t ParseGridType(const std::string& text);

// One line per catalogue row: position, display name, control file, LIBID and
// whether it is registered.
std::string DescribeGridTypes(const ControlRegistry& registry);

// What the project file's reference lines name: every catalogue type other
// than `target` (registered or not), in catalogue order, and whether
// `target` itself is named.
struct ReferencedTypes {
  std::vector<int16_t> sources;
  bool target = false;
};
ReferencedTypes FindReferencedTypes(const std::string& project_path, int16_t target);

// "Vireo 4.0 (VIRA32.OCX)": how messages name a grid type.
std::string GridTypeName(int16_t position);

// The grid type of the only target the dialog offers.
inline constexpr int16_t kDefaultTargetType = 5;

// A dialog answered in advance.
class FixedChoice final : public ConvertDialog {
 public:
  FixedChoice(int16_t from_type, int16_t to_type) : from_(from_type), to_(to_type) {}
  void ShowModal(int16_t* from_type, int16_t* to_type) override {
    *from_type = from_;
    *to_type = to_;
  }

 private:
  int16_t from_, to_;
};

// Every control counts as registered (a machine without a registry to ask).
class EverythingRegistered final : public ControlRegistry {
 public:
  bool KeyExists(const std::string&) const override { return true; }
};

}  // namespace vireo
