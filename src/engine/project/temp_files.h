// Temporary copies of the project's files: how one is made, how the pairs
// (original, temporary) are recorded, and how they are thrown away.
//
// A run that will commit writes each copy straight beside the original it
// replaces (the commit then only renames it into place); a dry run, and any
// run that has not begun staging, writes them in the temporary directory.
#pragma once

#include <string>
#include <vector>

#include "base/file_system.h"
#include "engine/project/conversion_run.h"
#include "host/path_resolver.h"

namespace vireo {

inline constexpr char kTempPrefix[] = "vr5";

// Makes the run's new empty copy of `original`, open for writing: beside the
// file `original` reaches, named from the run's token, when the run stages
// (a copy made there before for the same file is dropped: the last one
// counts); else a file whose name begins with "vr5" in the temporary
// directory. Created exclusively, mode 0600. False (with a reason in `run`)
// when that fails.
bool MakeTempFile(ConversionRun& run, const std::string& original, std::string* path,
                  FileHandle* file);

// Makes the run stage beside the originals: holds every file the project
// lists (waiting for other runs as `hold` says), picks its token and writes
// the journal of `project_file` naming those files, so that a crash while
// converting leaves nothing that recovery cannot remove. False (with a reason
// in `run`, and `run.busy` set when other runs held a file too long) when a
// file cannot be held or the journal cannot be written.
bool BeginStaging(ConversionRun& run, const std::string& project_file,
                  const PathResolver& resolver, const HoldPolicy& hold);

// The same for projects that share files and commit together: every file
// any of them lists is held, and the journal beside the first names the
// others, each of which gets a journal pointing to it.
bool BeginUnitStaging(ConversionRun& run, const std::vector<std::string>& projects,
                      const PathResolver& resolver, const HoldPolicy& hold);

void RecordPair(ConversionRun& run, const std::string& original, const std::string& temp);

// Deletes the temporary copies of `original` and drops their pairs: a file
// whose conversion changed nothing is not written. Returns the copies that
// could not be deleted.
std::vector<std::string> ForgetPairs(ConversionRun& run, const std::string& original);

// Deletes every recorded temporary file and empties both lists, then the
// staging journal; no original is touched. Returns the files that could not
// be deleted (a copy already gone is not one).
std::vector<std::string> DiscardTempFiles(ConversionRun& run);

}  // namespace vireo
