// Shared by the fuzz targets: a private scratch folder, and the grid types
// taken from the input's first byte.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "engine/catalogue/grid_catalogue.h"

namespace vireo::fuzz {

inline const std::string& ScratchFolder() {
  static const std::string folder = [] {
    std::string pattern = "/tmp/vireo-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) std::abort();
    ::setenv("TMPDIR", pattern.c_str(), 1);
    FillGridCatalogue();
    return pattern;
  }();
  return folder;
}

inline std::string WriteScratch(const std::string& name, const uint8_t* data, size_t size) {
  std::string path = ScratchFolder() + "/" + name;
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  return path;
}

// From and to positions 1 to 6 from one byte (equal types are allowed: the
// engine must cope with equal library names).
inline void TypesFrom(uint8_t byte, int16_t* from_type, int16_t* to_type) {
  *from_type = static_cast<int16_t>(1 + byte % 6);
  *to_type = static_cast<int16_t>(1 + (byte / 6) % 6);
}

}  // namespace vireo::fuzz
