// The record offset parser: never negative, and what it accepts reads back.
#include <cstdlib>
#include <string>

#include "engine/project/project_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  int32_t offset = -1;
  if (!vireo::FrxOffset(text, &offset)) return 0;
  if (offset < 0) std::abort();
  if (text.find(':') == std::string::npos && offset != 0) std::abort();
  return 0;
}
