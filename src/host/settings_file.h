// A settings file read and written the way the Windows profile functions do
// it (GetPrivateProfileString, WritePrivateProfileString): sections of
// "key=value" lines, names compared ignoring case.
#pragma once

#include <string>

namespace vireo {

class SettingsFile {
 public:
  virtual ~SettingsFile() = default;
  // The key's value; `default_value` when the file, the section or the key
  // is absent.
  virtual std::string GetString(const std::string& section, const std::string& key,
                                const std::string& default_value) = 0;
  // Sets the key, creating the file and the section when needed; a null
  // `value` deletes the key. Returns false when the file could not be written.
  virtual bool WriteString(const std::string& section, const std::string& key,
                           const std::string* value) = 0;
};

}  // namespace vireo
