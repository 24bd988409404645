#include "addin/vb_ini_entry.h"

#include "host/win32/windows_headers.h"
#include "shell/registration.h"

namespace vireo {

std::string WindowsVbIniPath() {
  char folder[MAX_PATH] = {};
  UINT length = ::GetWindowsDirectoryA(folder, MAX_PATH);
  std::string path(folder, length < MAX_PATH ? length : 0);
  if (!path.empty() && path.back() != '\\') path += '\\';
  return path + "VB.INI";
}

bool RemoveAddInEntry(SettingsFile& vb_ini) {
  // No value holds a line break, so this default is never a value.
  const std::string absent = "\n";
  while (vb_ini.GetString(kAddInsSection, kAddInProgId, absent) != absent) {
    if (!vb_ini.WriteString(kAddInsSection, kAddInProgId, nullptr)) return false;
  }
  return true;
}

}  // namespace vireo
