// The Wine registry reader on arbitrary registry files.
#include "fuzz_support.h"
#include "host/posix/wine_registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vireo;
  size_t half = size / 2;
  fuzz::WriteScratch("system.reg", data, half);
  fuzz::WriteScratch("user.reg", data + half, size - half);
  WineRegistry registry(fuzz::ScratchFolder());
  if (!registry.HasRegistryFiles()) std::abort();
  registry.KeyExists("CLSID\\{7D4E5B22-1A2C-11CF-8E41-00805F2C6A19}");
  registry.KeyExists("");
  return 0;
}
