// The paths files reach, for runs that ask it of many files in few folders:
// each folder is resolved once, from its parent's real path where it is no
// symbolic link itself, and only a file that is itself a symbolic link is
// resolved whole.
#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace vireo {

class RealPaths {
 public:
  // `file` with every link resolved (as far as it exists); as given when
  // that fails.
  std::filesystem::path Of(const std::string& file);

 private:
  std::filesystem::path FolderOf(const std::filesystem::path& folder);

  std::map<std::filesystem::path, std::filesystem::path> folders_;
};

}  // namespace vireo
