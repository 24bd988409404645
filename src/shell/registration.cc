#include "shell/registration.h"

#include <string>

namespace vireo {
namespace {

constexpr char kNotFound[] = "NotFound";
constexpr size_t kBufferLength = 255;  // characters the old read buffer held

// What a read into the 255-character buffer left before its first NUL.
std::string AsReadIntoBuffer(const std::string& value) {
  std::string buffer = value.substr(0, kBufferLength);
  return buffer.substr(0, buffer.find('\0'));
}

}  // namespace

bool Main(SettingsFile& vb_ini, UserInterface& ui) {
  vb_ini.WriteString(kAddInsSection, kSiblingProgId, nullptr);
  std::string listed = AsReadIntoBuffer(vb_ini.GetString(kAddInsSection, kAddInProgId, kNotFound));
  if (listed != kNotFound) return false;
  const std::string value = "0";
  vb_ini.WriteString(kAddInsSection, kAddInProgId, &value);
  ui.MessageBox("Add-in registered successfully.", kStyleInformation);
  return true;
}

}  // namespace vireo
