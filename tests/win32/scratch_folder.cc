#include "scratch_folder.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace vireo::testing {
namespace {

void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE search = ::FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = folder + "\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileA(path.c_str());
      }
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
  }
  ::RemoveDirectoryA(folder.c_str());
}

}  // namespace

ScratchFolder::ScratchFolder() {
  char temp[MAX_PATH];
  ::GetTempPathA(MAX_PATH, temp);
  static int counter = 0;
  for (int attempt = 0; attempt < 1000; ++attempt) {
    std::string candidate = std::string(temp) + "vireo-test-" +
                            std::to_string(::GetCurrentProcessId()) + "-" +
                            std::to_string(++counter);
    if (::CreateDirectoryA(candidate.c_str(), nullptr)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("no scratch folder");
}

ScratchFolder::~ScratchFolder() { RemoveTree(path_); }

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "<missing>";
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace vireo::testing
