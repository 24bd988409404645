// Project paths on Windows: a path as the project file lists it opens as it
// is (names are case-insensitive there already); a relative one is taken
// from the project file's folder. Its names are bytes in the ANSI code page,
// as VB wrote them, unless the project came from a machine with another one;
// they are read in that code page and given back in UTF-8, as every path of
// the program is.
#pragma once

#include <string>

#include "host/path_resolver.h"

namespace vireo {

class WindowsPathResolver final : public PathResolver {
 public:
  // `code_page` is the one the project file's names are written in; 0 (CP_ACP)
  // is the machine's ANSI code page.
  explicit WindowsPathResolver(unsigned code_page = 0) : code_page_(code_page) {}
  // Bytes of `listed` that are no character in the code page come back as
  // "<bytes 81 20 not in code page 932>": no file has such a name, so the
  // file is reported missing under it.
  std::string Resolve(const std::string& directory, const std::string& listed) const override;

 private:
  unsigned code_page_;
};

// Whether `path` names its place without a folder to start from: a drive
// ("C:\", and "C:name", which Windows takes from that drive's own folder), a
// network share ("\\server\share") or the root of the current drive ("\").
bool IsRootedWindowsPath(const std::string& path);

}  // namespace vireo
