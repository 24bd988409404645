// The add-in's line in VB.INI, taken out again when the server is
// unregistered: the reverse of what Main writes at start-up.
#pragma once

#include <string>

#include "host/settings_file.h"

namespace vireo {

// VB.INI in the Windows folder, where the profile functions find "VB.INI".
std::string WindowsVbIniPath();

// Deletes every "VIRAMU32.Connect" key of the section "Add-Ins32"; other
// lines are the settings file's business (IniSettingsFile keeps their
// bytes). False when a deletion could not be written.
bool RemoveAddInEntry(SettingsFile& vb_ini);

}  // namespace vireo
