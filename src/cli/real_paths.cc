#include "cli/real_paths.h"

#include "base/path_text.h"

namespace vireo {

namespace fs = std::filesystem;

namespace {

// A name that stands for a folder of its own, not "." or "..".
bool IsPlainName(const fs::path& path) {
  return path.has_parent_path() && path.has_filename() && path.filename() != "." &&
         path.filename() != "..";
}

bool IsLink(const fs::path& path) {
  std::error_code error;
  fs::file_status status = fs::symlink_status(path, error);
  return error || fs::is_symlink(status);
}

fs::path Resolved(const fs::path& path) {
  std::error_code error;
  fs::path real = fs::weakly_canonical(path, error);
  return error ? path : real;
}

}  // namespace

fs::path RealPaths::Of(const std::string& file) {
  fs::path path = NativePath(file);
  if (IsPlainName(path) && !IsLink(path))
    return FolderOf(path.parent_path(), false) / path.filename();
  return Resolved(path);
}

fs::path RealPaths::FolderOf(const fs::path& folder, bool keep) {
  std::string key = PathText(folder);
  if (auto known = folders_.find(key); known != folders_.end()) return NativePath(known->second);
  fs::path real = IsPlainName(folder) && folder != folder.root_path() && !IsLink(folder)
                      ? FolderOf(folder.parent_path(), true) / folder.filename()
                      : Resolved(folder);
  if (keep) folders_.emplace(std::move(key), PathText(real));
  return real;
}

}  // namespace vireo
