// How the command line learns the grid types to convert from and to: named
// on the command line, or read from the project's own reference line.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "engine/project/grid_usage.h"
#include "host/control_registry.h"
#include "host/user_interface.h"

namespace vireo {

// The catalogue position TEXT names: a position 1 to 6, a display name
// ("Vireo 4.0") or a control file name ("VIRA32.OCX"), ignoring case; 0 for none.
int16_t ParseGridType(const std::string& text);

// One line per catalogue row: position, display name, control file, LIBID and
// whether it is registered.
std::string DescribeGridTypes(const ControlRegistry& registry);

// "Vireo 4.0": the one name every table, report, list and message gives a
// grid type (the dialog's name, else the catalogue's full name); "" for a
// position the catalogue does not hold.
std::string TypeName(int16_t position);
// "Vireo 4.0 (VIRA32.OCX)": how messages name a grid type.
std::string GridTypeName(int16_t position);
// "Vireo 4.0 (VIRA32.OCX), Plover 1.0 (PLOVER32.OCX)".
std::string GridTypeNames(const std::set<int16_t>& positions);

// Why a project's source type is not one found: "cannot tell which grid type
// it uses" or "uses more than one grid library (...)".
std::string SourceProblem(const SourceChoice& choice);

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
