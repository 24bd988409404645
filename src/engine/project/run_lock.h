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

  // Whether a RunLock of this process holds `project_file`'s lock (it cannot
  // be taken twice, not even by the process holding it).
  static bool HeldHere(const std::string& project_file);

 private:
  std::string path_;
  std::string real_path_;  // as this process's holders are known
  FileHandle handle_ = -1;
  bool busy_ = false;
};

}  // namespace vireo
