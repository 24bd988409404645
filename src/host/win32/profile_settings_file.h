// The host's settings file through the Windows profile functions, opened by
// name ("VB.INI"), so that Windows finds it in its own directory.
#pragma once

#include <string>

#include "host/settings_file.h"

namespace vireo {

class ProfileSettingsFile final : public SettingsFile {
 public:
  explicit ProfileSettingsFile(std::string file_name) : file_name_(std::move(file_name)) {}

  std::string GetString(const std::string& section, const std::string& key,
                        const std::string& default_value) override;
  bool WriteString(const std::string& section, const std::string& key,
                   const std::string* value) override;

 private:
  std::string file_name_;
};

}  // namespace vireo
