#include "host/posix/path_resolver_posix.h"

#include <vector>

#include "base/file_system.h"
#include "base/text.h"

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

bool HasHighByte(const std::string& name) {
  for (char c : name) {
    if (static_cast<unsigned char>(c) > 0x7F) return true;
  }
  return false;
}

// UTF-8 text with ASCII letters and U+00C0 to U+00DE (but U+00D7, the
// multiplication sign) in lower case: Windows' case for the Latin-1 letters.
std::string FoldLatin1(std::string_view text) {
  std::string folded(text);
  for (size_t i = 0; i < folded.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(folded[i]);
    if (c >= 'A' && c <= 'Z') {
      folded[i] = static_cast<char>(c + 0x20);
    } else if (c == 0xC3 && i + 1 < folded.size()) {
      unsigned char next = static_cast<unsigned char>(folded[i + 1]);
      if (next >= 0x80 && next <= 0x9E && next != 0x97)
        folded[i + 1] = static_cast<char>(next + 0x20);
      ++i;
    }
  }
  return folded;
}

// The name under which `part` is in `directory`: as written, ignoring ASCII
// case, then (with a code page, for a name with bytes above 0x7F) its UTF-8
// spelling exactly and ignoring Latin-1 case. "" when none is there.
std::string FindInDirectory(const std::string& directory, const std::string& part, int code_page) {
  if (Exists(directory + part)) return part;
  std::vector<std::string> names;
  if (Files().ListDirectory(directory, &names)) return "";
  for (const std::string& name : names) {
    if (EqualsNoCase(name, part)) return name;
  }
  if (code_page == 0 || !HasHighByte(part)) return "";
  std::string spelt = CodePageToUtf8(part, code_page);
  if (Exists(directory + spelt)) return spelt;
  std::string folded = FoldLatin1(spelt);
  for (const std::string& name : names) {
    if (FoldLatin1(name) == folded) return name;
  }
  return "";
}

// `path` as found on disk, component by component; "" when some component
// is not there. Components at or after `decode_from` may be in `code_page`.
std::string FindOnDisk(const std::string& path, size_t decode_from, int code_page) {
  bool absolute = path[0] == '/';
  std::string built = absolute ? "" : ".";  // the part found so far; "" is the root
  size_t start = 0;
  while (start <= path.size()) {
    size_t slash = path.find('/', start);
    size_t length = slash == std::string::npos ? std::string::npos : slash - start;
    std::string part = path.substr(start, length);
    if (!part.empty()) {
      std::string match = FindInDirectory(built + "/", part, start >= decode_from ? code_page : 0);
      if (match.empty()) return "";
      built += "/" + match;
    }
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return absolute ? built : built.substr(2);
}

}  // namespace

std::string FindIgnoringCase(const std::string& path) {
  if (path.empty() || Exists(path)) return path;
  std::string found = FindOnDisk(path, path.size(), 0);
  return found.empty() ? path : found;
}

std::string PosixPathResolver::Find(const std::string& path, size_t listed_from) const {
  if (path.empty() || Exists(path)) return path;
  std::string found = FindOnDisk(path, listed_from, code_page_);
  if (!found.empty()) return found;
  if (code_page_ == 0) return path;
  return path.substr(0, listed_from) + CodePageToUtf8(path.substr(listed_from), code_page_);
}

std::string PosixPathResolver::Resolve(const std::string& directory,
                                       const std::string& listed) const {
  std::string path = WithSlashes(listed);
  if (IsDriveLetter(path)) {
    if (wine_prefix_.empty()) return code_page_ ? CodePageToUtf8(path, code_page_) : path;
    std::string drive(1, AsciiLower(path[0]));
    std::string rest = path.substr(2);
    if (!rest.empty() && rest[0] != '/') rest = "/" + rest;
    std::string root = wine_prefix_ + "/dosdevices/" + drive + ":";
    return Find(root + rest, root.size());
  }
  if (!path.empty() && path[0] == '/') return Find(path, 0);
  // The project's folder is a real POSIX path: a backslash in it is part of a name.
  return Find(directory + path, directory.size());
}

}  // namespace vireo
