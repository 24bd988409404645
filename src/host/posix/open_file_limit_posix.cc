#include <sys/resource.h>

#include <cstdint>

#include "host/open_file_limit.h"

namespace vireo {

bool RaiseOpenFileLimit() {
  struct rlimit limit;
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return false;
  if (limit.rlim_cur == limit.rlim_max) return true;
  limit.rlim_cur = limit.rlim_max;
  return ::setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

size_t OpenFileLimit() {
  struct rlimit limit;
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return SIZE_MAX;
  return static_cast<size_t>(limit.rlim_cur);
}

}  // namespace vireo
