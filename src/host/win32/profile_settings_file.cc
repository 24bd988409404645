#include "host/win32/profile_settings_file.h"

#include <vector>

#include "host/win32/windows_headers.h"

namespace vireo {

std::string ProfileSettingsFile::GetString(const std::string& section, const std::string& key,
                                           const std::string& default_value) {
  // The function says a value did not fit by filling the buffer but one.
  for (DWORD size = 256;; size *= 4) {
    std::vector<char> buffer(size, '\0');
    DWORD length = ::GetPrivateProfileStringA(section.c_str(), key.c_str(), default_value.c_str(),
                                              buffer.data(), size, file_name_.c_str());
    if (length < size - 1 || size >= (1u << 20)) return std::string(buffer.data(), length);
  }
}

bool ProfileSettingsFile::WriteString(const std::string& section, const std::string& key,
                                      const std::string* value) {
  return ::WritePrivateProfileStringA(section.c_str(), key.c_str(),
                                      value ? value->c_str() : nullptr, file_name_.c_str()) != 0;
}

}  // namespace vireo
