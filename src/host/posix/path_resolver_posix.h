// Project paths on POSIX: backslashes in a listed path become "/" (the
// project's own folder is taken as it is), drive letters lead into a
// Wine prefix's dosdevices folder, and a name that does not exist as written
// is looked up ignoring case, folder by folder, as Windows would find it.
#pragma once

#include <string>

#include "host/path_resolver.h"

namespace vireo {

class PosixPathResolver final : public PathResolver {
 public:
  // `wine_prefix` may be empty: then drive letters cannot be resolved.
  explicit PosixPathResolver(std::string wine_prefix = "") : wine_prefix_(std::move(wine_prefix)) {}
  std::string Resolve(const std::string& directory, const std::string& listed) const override;

 private:
  std::string wine_prefix_;
};

// Finds `path` on disk ignoring the case of each component that does not
// exist as written; returns it unchanged when some component is not found.
std::string FindIgnoringCase(const std::string& path);

}  // namespace vireo
