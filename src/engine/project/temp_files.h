// Temporary copies of the project's files: how one is made, how the pairs
// (original, temporary) are recorded, and how they are thrown away.
#pragma once

#include <string>
#include <vector>

#include "engine/project/conversion_run.h"

namespace vireo {

inline constexpr char kTempPrefix[] = "vr5";

// Makes a new empty temporary file whose name begins with "vr5" in the
// temporary directory. False (with a reason in `run`) when that fails.
bool MakeTempFile(ConversionRun& run, const std::string& original, std::string* path);

void RecordPair(ConversionRun& run, const std::string& original, const std::string& temp);

// Deletes a temporary file that was never recorded.
void DropUnrecordedTemp(const std::string& temp);

// Deletes every recorded temporary file and empties both lists; no original
// is touched. Returns the files that could not be deleted.
std::vector<std::string> DiscardTempFiles(ConversionRun& run);

}  // namespace vireo
