#include <cstdint>

#include "host/open_file_limit.h"

namespace vireo {

// Files are opened as handles, which Windows does not count against a
// per-process limit as POSIX counts descriptors.
bool RaiseOpenFileLimit() { return true; }

size_t OpenFileLimit() { return SIZE_MAX; }

}  // namespace vireo
