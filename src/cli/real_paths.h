// The paths files reach, for runs that ask it of many files in few folders:
// a folder is resolved from its parent's real path where it is no symbolic
// link itself, each folder above another resolved once (a file's own folder
// is only looked at), and only a file that is itself a symbolic link is
// resolved whole. What it keeps grows with those folders above, not with
// the files asked of.
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
  // `keep`: whether to remember it, as a folder above another.
  std::filesystem::path FolderOf(const std::filesystem::path& folder, bool keep);

  std::map<std::string, std::string> folders_;  // as named -> real, UTF-8
};

}  // namespace vireo
