// Windows paths are UTF-16, converted as the file seam converts them.
#include "base/path_text.h"
#include "host/win32/windows_text.h"

namespace vireo {

std::filesystem::path NativePath(const std::string& path) { return Wide(path); }

std::string PathText(const std::filesystem::path& path) { return Narrow(path.native()); }

}  // namespace vireo
