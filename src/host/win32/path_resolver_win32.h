// Project paths on Windows: a path as the project file lists it opens as it
// is (names are case-insensitive there already); a relative one is taken
// from the project file's folder.
#pragma once

#include <string>

#include "host/path_resolver.h"

namespace vireo {

class WindowsPathResolver final : public PathResolver {
 public:
  std::string Resolve(const std::string& directory, const std::string& listed) const override;
};

// Whether `path` names its place without a folder to start from: a drive
// ("C:\", and "C:name", which Windows takes from that drive's own folder), a
// network share ("\\server\share") or the root of the current drive ("\").
bool IsRootedWindowsPath(const std::string& path);

}  // namespace vireo
