// The start-up routine: makes sure the host's settings file (VB.INI) lists
// this add-in, and removes the entry of its sibling add-in.
#pragma once

#include "host/settings_file.h"
#include "host/user_interface.h"

namespace vireo {

inline constexpr char kAddInsSection[] = "Add-Ins32";
inline constexpr char kAddInProgId[] = "VIRAMU32.Connect";
inline constexpr char kSiblingProgId[] = "VIRATool32.Connector";

// Deletes the sibling's key, then writes this add-in's key with "0" when it
// is absent and says so once. Returns whether it wrote the key.
bool Main(SettingsFile& vb_ini, UserInterface& ui);

}  // namespace vireo
