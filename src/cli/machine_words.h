// How the help and the messages name the machine a run reads: a Wine prefix
// on Linux, Windows itself on Windows. Both sets are in every build, so that
// the Linux build can write the Windows README from the Windows help.
#pragma once

namespace vireo {

struct MachineWords {
  const char* registered_in;   // "... is not registered in <this>"
  const char* verbose_help;    // --verbose
  const char* register_help;   // the register command
  const char* not_listed;      // register could not write VB.INI
  const char* code_page_help;  // --codepage
  bool has_prefix;             // whether --wine-prefix means anything
};

extern const MachineWords kWineWords;
extern const MachineWords kWindowsWords;

// The words of the machine this build runs on.
const MachineWords& Words();

}  // namespace vireo
