#include "host/win32/path_resolver_win32.h"

#include "host/win32/windows_text.h"

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
  std::string path =
      code_page_ == CP_ACP || code_page_ == ::GetACP() ? listed : Narrow(Wide(listed, code_page_));
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  if (IsRootedWindowsPath(path) || directory.empty()) return path;
  std::string base = directory;
  if (!IsSeparator(base.back())) base += '\\';
  return base + path;
}

}  // namespace vireo
