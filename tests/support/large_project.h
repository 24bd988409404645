// A generated project large enough that a signal or a kill can land at many
// moments of its conversion: `forms` forms with a grid record each and
// `modules` modules, listed by "Big.vbp", referencing Vireo 4.0.
#pragma once

#include <string>
#include <vector>

#include "support/test_files.h"

namespace vireo::testing {

void WriteLargeProject(const ScratchDir& project, int forms, int modules);

// The same in `folder` below `root`, listed by `name`.vbp, which also lists
// the modules `shared` (paths from that folder) that other projects list too.
void WriteLargeProject(const ScratchDir& root, const std::string& folder, const std::string& name,
                       int forms, int modules, const std::vector<std::string>& shared = {});

// A module of `lines` declarations of grid columns.
std::string GridModule(int lines);

}  // namespace vireo::testing
