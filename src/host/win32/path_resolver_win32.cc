#include "host/win32/path_resolver_win32.h"

namespace vireo {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

}  // namespace

bool IsRootedWindowsPath(const std::string& path) {
  if (path.size() >= 2 && IsLetter(path[0]) && path[1] == ':') return true;
  return !path.empty() && IsSeparator(path[0]);
}

std::string WindowsPathResolver::Resolve(const std::string& directory,
                                         const std::string& listed) const {
  std::string path = listed;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  if (IsRootedWindowsPath(path) || directory.empty()) return path;
  std::string base = directory;
  if (!IsSeparator(base.back())) base += '\\';
  return base + path;
}

}  // namespace vireo
