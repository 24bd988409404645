// A settings file kept in an INI file at a path, read and written through the
// file seam. Writing changes only the line concerned: every other line keeps
// its bytes, its line ending and its place.
#pragma once

#include <string>

#include "host/settings_file.h"

namespace vireo {

class IniSettingsFile final : public SettingsFile {
 public:
  explicit IniSettingsFile(std::string path) : path_(std::move(path)) {}

  std::string GetString(const std::string& section, const std::string& key,
                        const std::string& default_value) override;
  bool WriteString(const std::string& section, const std::string& key,
                   const std::string* value) override;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace vireo
