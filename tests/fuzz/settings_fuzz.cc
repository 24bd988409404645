// The INI reader and writer on arbitrary files.
#include "fuzz_support.h"
#include "host/ini_settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vireo;
  std::string ini = fuzz::WriteScratch("VB.INI", data, size);
  IniSettingsFile settings(ini);
  std::string value = settings.GetString("Add-Ins32", "VIRAMU32.Connect", "NotFound");
  settings.WriteString("Add-Ins32", "VIRATool32.Connector", nullptr);
  std::string zero = "0";
  settings.WriteString("Add-Ins32", "VIRAMU32.Connect", &zero);
  if (settings.GetString("Add-Ins32", "VIRAMU32.Connect", "NotFound") != "0") std::abort();
  return 0;
}
