// The INI reader and writer, and the Wine registry reader, on arbitrary files.
#include "fuzz_support.h"
#include "host/ini_settings_file.h"
#include "host/posix/wine_registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vireo;
  std::string ini = fuzz::WriteScratch("VB.INI", data, size);
  IniSettingsFile settings(ini);
  std::string value = settings.GetString("Add-Ins32", "VIRAMU32.Connect", "NotFound");
  settings.WriteString("Add-Ins32", "VIRATool32.Connector", nullptr);
  std::string zero = "0";
  settings.WriteString("Add-Ins32", "VIRAMU32.Connect", &zero);
  if (settings.GetString("Add-Ins32", "VIRAMU32.Connect", "NotFound") != "0") std::abort();
  fuzz::WriteScratch("system.reg", data, size);
  WineRegistry registry(fuzz::ScratchFolder());
  registry.KeyExists("CLSID\\{7D4E5B22-1A2C-11CF-8E41-00805F2C6A19}");
  return 0;
}
