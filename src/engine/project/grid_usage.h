// Which grid types a project uses, told from its files as they are: the
// project file's reference lines first, and where those name no old library,
// its forms' reference lines, the GUIDs in their binary files, the class
// names of their grid blocks and the libraries its code declares types of.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "host/path_resolver.h"

namespace vireo {

enum class SourceFinding {
  kFound,             // one old grid type: `source`
  kAlreadyConverted,  // nothing of an old type is left, the target is there
  kSeveral,           // more than one old type: `candidates`
  kUnknown,           // no grid of any catalogue type at all
};

struct SourceChoice {
  SourceFinding finding = SourceFinding::kUnknown;
  int16_t source = 0;
  std::vector<int16_t> candidates;  // in catalogue order
  // Where the types were told: the project file's own reference lines, or
  // the other files.
  bool from_project_file = false;
};

// The old grid type `project_file` uses when converting to `target`. Reads
// only the project file when its reference lines name old libraries; else
// every form, binary file and code file it lists (none is opened that is
// not a regular file).
SourceChoice ChooseSource(const std::string& project_file, int16_t target,
                          const PathResolver& resolver);

// "As <library>." or "New <library>." with the library name as a whole word
// (comment lines are the caller's to pass over).
bool DeclaresTypeOf(std::string_view line, std::string_view library);

// The catalogue types whose GUIDs the bytes hold.
std::set<int16_t> TypesOfGuidsIn(std::string_view bytes);

}  // namespace vireo
