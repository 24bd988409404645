// Scratch folders and literal file contents for tests.
#pragma once

#include <string>

namespace vireo::testing {

// A fresh folder under the system's temporary directory, removed with its contents.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  // `relative` joined to the folder; writes `content` there, creating folders.
  std::string Write(const std::string& relative, const std::string& content) const;
  std::string Join(const std::string& relative) const { return path_ + "/" + relative; }

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
bool FileExists(const std::string& path);
// Names in `directory` that begin with `prefix`.
int CountFilesWithPrefix(const std::string& directory, const std::string& prefix);

// Joins lines, each followed by CR LF.
std::string CrLf(std::initializer_list<const char*> lines);

}  // namespace vireo::testing
