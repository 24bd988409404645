// Copies the originals a commit is about to replace into a backup folder,
// keeping their paths relative to the project folder.
#pragma once

#include <string>

#include "engine/project/file_result.h"

namespace vireo {

// Backs up every original whose converted copy differs. Originals outside
// `project_folder` go below "outside-project/" + their absolute path. False,
// naming the file and the problem, when a copy cannot be made.
bool BackUpOriginals(const RunChanges& run, const std::string& project_folder,
                     const std::string& backup_folder, std::string* failed_file,
                     std::string* reason);

}  // namespace vireo
