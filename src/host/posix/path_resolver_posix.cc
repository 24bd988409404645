#include "host/posix/path_resolver_posix.h"

#include <vector>

#include "base/text.h"
#include "base/file_system.h"

namespace vireo {
namespace {

bool Exists(const std::string& path) {
  PathStatus status;
  return !Files().Status(path, &status) && status.exists;
}

bool IsDriveLetter(const std::string& path) {
  return path.size() >= 2 && path[1] == ':' &&
         ((path[0] >= 'a' && path[0] <= 'z') || (path[0] >= 'A' && path[0] <= 'Z'));
}

std::string WithSlashes(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

std::string MatchInDirectory(const std::string& directory, const std::string& name) {
  std::vector<std::string> names;
  if (Files().ListDirectory(directory, &names)) return "";
  for (const std::string& candidate : names) {
    if (EqualsNoCase(candidate, name)) return candidate;
  }
  return "";
}

}  // namespace

std::string FindIgnoringCase(const std::string& path) {
  if (path.empty() || Exists(path)) return path;
  bool absolute = path[0] == '/';
  std::string built = absolute ? "" : ".";  // the part found so far; "" is the root
  size_t start = 0;
  while (start <= path.size()) {
    size_t slash = path.find('/', start);
    size_t length = slash == std::string::npos ? std::string::npos : slash - start;
    std::string part = path.substr(start, length);
    if (!part.empty()) {
      std::string next = built + "/" + part;
      if (!Exists(next)) {
        std::string match = MatchInDirectory(built.empty() ? "/" : built, part);
        if (match.empty()) return path;
        next = built + "/" + match;
      }
      built = next;
    }
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return absolute ? built : built.substr(2);
}

std::string PosixPathResolver::Resolve(const std::string& directory,
                                       const std::string& listed) const {
  std::string path = WithSlashes(listed);
  if (IsDriveLetter(path)) {
    if (wine_prefix_.empty()) return path;
    std::string drive(1, AsciiLower(path[0]));
    std::string rest = path.substr(2);
    if (!rest.empty() && rest[0] != '/') rest = "/" + rest;
    return FindIgnoringCase(wine_prefix_ + "/dosdevices/" + drive + ":" + rest);
  }
  if (!path.empty() && path[0] == '/') return FindIgnoringCase(path);
  // The project's folder is a real POSIX path: a backslash in it is part of a name.
  return FindIgnoringCase(directory + path);
}

}  // namespace vireo
