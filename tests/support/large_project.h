// A generated project large enough that a signal or a kill can land at many
// moments of its conversion: `forms` forms with a grid record each and
// `modules` modules, listed by "Big.vbp", referencing Vireo 4.0.
#pragma once

#include "support/test_files.h"

namespace vireo::testing {

void WriteLargeProject(const ScratchDir& project, int forms, int modules);

}  // namespace vireo::testing
