// Turns a path as a project file lists it (backslashes, perhaps a drive
// letter, perhaps in another case than on disk) into a path this platform
// can open.
#pragma once

#include <string>

namespace vireo {

class PathResolver {
 public:
  virtual ~PathResolver() = default;
  // `directory` is the project file's directory, ending in a separator.
  // Returns the path to open; when no file is found, a path that names the
  // listed file as well as can be said (opening it then fails).
  virtual std::string Resolve(const std::string& directory, const std::string& listed) const = 0;
};

}  // namespace vireo
