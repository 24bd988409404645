#include "cli/machine_words.h"

namespace vireo {

const MachineWords kWineWords = {
    "the Wine prefix",
    "In a batch, a line for every file; say when the Wine prefix registers no grid type",
    "List the add-in in the Wine prefix's VB.INI",
    "the add-in could not be listed in the Wine prefix's VB.INI (a prefix has a drive_c/windows "
    "folder)",
    "Windows code page the project file's names are written in (default: 1252, Western European)",
    true,
};

const MachineWords kWindowsWords = {
    "the Windows registry",
    "In a batch, a line for every file; say when the Windows registry registers no grid type",
    "List the add-in in VB.INI in the Windows folder",
    "the add-in could not be listed in VB.INI in the Windows folder",
    "Windows code page the project file's names are written in (default: the ANSI code page of "
    "this Windows)",
    false,
};

}  // namespace vireo
