#include "cli/real_paths.h"

#include "base/path_text.h"

namespace vireo {

namespace fs = std::filesystem;

fs::path RealPaths::Of(const std::string& file) {
  std::error_code error;
  fs::path path = NativePath(file);
  bool plain_name = path.has_parent_path() && path.filename() != "." && path.filename() != "..";
  if (plain_name && !fs::is_symlink(fs::symlink_status(path, error)) && !error) {
    auto [folder, added] = folders_.try_emplace(path.parent_path());
    if (added) {
      folder->second = fs::weakly_canonical(path.parent_path(), error);
      if (error) folder->second = path.parent_path();
    }
    return folder->second / path.filename();
  }
  fs::path real = fs::weakly_canonical(path, error);
  return error ? path : real;
}

}  // namespace vireo
