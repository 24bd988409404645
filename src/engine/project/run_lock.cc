#include "engine/project/run_lock.h"

#include "base/file_io.h"

namespace vireo {

RunLock::~RunLock() {
  if (handle_ >= 0) Files().Unlock(path_, handle_);
}

bool RunLock::Acquire(const std::string& project_file, std::string* problem) {
  path_ = project_file + ".vr5lock";
  std::error_code error = Files().Lock(path_, &handle_);
  if (!error) return true;
  handle_ = -1;
  busy_ = error == std::errc::resource_unavailable_try_again;
  *problem = busy_
                 ? project_file +
                       ": another conversion of this project is under way; try again "
                       "when it has finished"
                 : project_file + ": cannot take the lock " + path_ + " (" + Describe(error) + ")";
  return false;
}

}  // namespace vireo
