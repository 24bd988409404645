// Temporary copies of the project's files: how one is made, how the pairs
// (original, temporary) are recorded, and how they are thrown away.
#pragma once

#include <string>
#include <vector>

#include "engine/project/conversion_run.h"
#include "base/file_system.h"

namespace vireo {

inline constexpr char kTempPrefix[] = "vr5";

// Makes a new empty temporary file whose name begins with "vr5" in the
// temporary directory, open for writing. False (with a reason in `run`) when
// that fails.
bool MakeTempFile(ConversionRun& run, const std::string& original, std::string* path,
                  FileHandle* file);

void RecordPair(ConversionRun& run, const std::string& original, const std::string& temp);

// Deletes the temporary copies of `original` and drops their pairs: a file
// whose conversion changed nothing is not written. Returns the copies that
// could not be deleted.
std::vector<std::string> ForgetPairs(ConversionRun& run, const std::string& original);

// Deletes every recorded temporary file and empties both lists; no original
// is touched. Returns the files that could not be deleted.
std::vector<std::string> DiscardTempFiles(ConversionRun& run);

}  // namespace vireo
