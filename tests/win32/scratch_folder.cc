#include "scratch_folder.h"

#include <stdexcept>

#include "host/win32/windows_text.h"

namespace vireo::testing {
namespace {

void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring path = folder + L"\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(path.c_str());
      }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
  }
  ::RemoveDirectoryW(folder.c_str());
}

}  // namespace

ScratchFolder::ScratchFolder() {
  wchar_t temp[MAX_PATH + 1];
  ::GetTempPathW(MAX_PATH + 1, temp);
  static int counter = 0;
  for (int attempt = 0; attempt < 1000; ++attempt) {
    std::string candidate = Narrow(std::wstring(temp)) + "vireo-test-" +
                            std::to_string(::GetCurrentProcessId()) + "-" +
                            std::to_string(++counter);
    if (::CreateDirectoryW(Wide(candidate).c_str(), nullptr)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("no scratch folder");
}

ScratchFolder::~ScratchFolder() { RemoveTree(Wide(path_)); }

void WriteBytes(const std::string& path, const std::string& bytes) {
  HANDLE file = ::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(file);
}

std::string ReadBytes(const std::string& path) {
  HANDLE file = ::CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string bytes;
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
    bytes.append(buffer, got);
  ::CloseHandle(file);
  return bytes;
}

bool Exists(const std::string& path) {
  return ::GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace vireo::testing
