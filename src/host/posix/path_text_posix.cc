// POSIX paths are bytes: they pass through as they are.
#include "base/path_text.h"

namespace vireo {

std::filesystem::path NativePath(const std::string& path) { return path; }

std::string PathText(const std::filesystem::path& path) { return path.native(); }

}  // namespace vireo
