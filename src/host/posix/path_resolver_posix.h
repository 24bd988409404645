// Project paths on POSIX: backslashes in a listed path become "/" (the
// project's own folder is taken as it is), drive letters lead into a
// Wine prefix's dosdevices folder, and a name that does not exist as written
// is looked up ignoring case, folder by folder, as Windows would find it.
// A listed name with bytes above 0x7F is in the project's code page: when
// its bytes are not found, its UTF-8 spelling is.
#pragma once

#include <string>

#include "host/path_resolver.h"
#include "host/posix/code_page_posix.h"

namespace vireo {

class PosixPathResolver final : public PathResolver {
 public:
  // `wine_prefix` may be empty: then drive letters cannot be resolved.
  // `code_page` is the one the project file's names are written in (one that
  // KnownCodePage accepts; 0 looks names up as their bytes only).
  explicit PosixPathResolver(std::string wine_prefix = "", int code_page = kWesternCodePage)
      : wine_prefix_(std::move(wine_prefix)), code_page_(code_page) {}
  // A listed path that is not found comes back spelt in UTF-8 from the code
  // page, so that what names it shows valid UTF-8.
  std::string Resolve(const std::string& directory, const std::string& listed) const override;

 private:
  std::string Find(const std::string& path, size_t listed_from) const;

  std::string wine_prefix_;
  int code_page_;
};

// Finds `path` on disk ignoring the case of each component that does not
// exist as written; returns it unchanged when some component is not found.
std::string FindIgnoringCase(const std::string& path);

}  // namespace vireo
