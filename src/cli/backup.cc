#include "cli/backup.h"

#include <filesystem>

#include "base/file_io.h"
#include "base/path_text.h"
#include "engine/project/commit.h"

namespace vireo {
namespace {

std::string BackupPath(const std::string& original, const std::string& project_folder,
                       const std::string& backup_folder) {
  std::string folder = project_folder;
  if (!folder.empty() && folder.back() != '/') folder += '/';
  std::string relative =
      original.compare(0, folder.size(), folder) == 0
          ? original.substr(folder.size())
          : "outside-project/" + original.substr(original.find_first_not_of('/'));
  return backup_folder + "/" + relative;
}

}  // namespace

bool BackUpOriginals(const RunChanges& run, const std::string& project_folder,
                     const std::string& backup_folder, std::string* failed_file,
                     std::string* reason) {
  for (const StagedCopy& copy : run.copies) {
    const std::string& original = copy.original;
    bool differs = true;
    if (!CopyDiffers(copy, &differs) && !differs) continue;
    bool same = false;
    std::string target = BackupPath(original, project_folder, backup_folder);
    std::error_code error;
    std::filesystem::create_directories(NativePath(target).parent_path(), error);
    if (!error) error = CopyFileContent(original, target);
    // An earlier run's backup of the same bytes will do; other bytes are
    // never overwritten.
    if (error == std::errc::file_exists && !SameContent(original, target, &same) && same) continue;
    if (error == std::errc::file_exists) {
      *failed_file = original;
      *reason = original + ": cannot be backed up: " + target +
                " already exists and holds other bytes (choose an empty backup folder)";
      return false;
    }
    if (error) {
      *failed_file = original;
      *reason = original + ": cannot be backed up to " + target + " (" + Describe(error) + ")";
      return false;
    }
  }
  return true;
}

}  // namespace vireo
