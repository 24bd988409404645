// Keeps a second run off a project while one is under way: a lock file
// beside the project file, held for the life of this object.
#pragma once

#include <string>

#include "base/file_system.h"

namespace vireo {

class RunLock {
 public:
  RunLock() = default;
  ~RunLock();
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;

  // False, with a message for the user, when another run holds the project
  // (busy() is then true) or the lock cannot be taken at all.
  bool Acquire(const std::string& project_file, std::string* problem);
  bool busy() const { return busy_; }

 private:
  std::string path_;
  FileHandle handle_ = -1;
  bool busy_ = false;
};

}  // namespace vireo
