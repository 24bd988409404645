// Keeps a second run off a project while one is under way: a lock file
// beside the project file, held for the life of this object.
#pragma once

#include <string>

#include "host/file_system.h"

namespace vireo {

class RunLock {
 public:
  RunLock() = default;
  ~RunLock();
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;

  // False, with a message for the user, when another run holds the project.
  bool Acquire(const std::string& project_file, std::string* problem);

 private:
  std::string path_;
  FileHandle handle_ = -1;
};

}  // namespace vireo
