// A fresh folder in the Windows temporary directory for one test, removed
// with everything in it afterwards, and small helpers on files in it. Paths
// are in UTF-8, as the program has them.
#pragma once

#include <string>

#include "host/win32/windows_headers.h"

namespace vireo::testing {

class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // The folder, without a trailing backslash.
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

void WriteBytes(const std::string& path, const std::string& bytes);
// The file's bytes; "<missing>" when it cannot be read.
std::string ReadBytes(const std::string& path);
bool Exists(const std::string& path);

}  // namespace vireo::testing
