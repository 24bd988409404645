// The fixed knowledge of the six grid control versions: names written in form
// and project files, control file, type library, and the GUIDs found inside a
// grid's binary record. Rows are addressed by 1-based position.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/catalogue/guid.h"
#include "engine/catalogue/keyed_collection.h"
#include "host/control_registry.h"

namespace vireo {

class GridVersion {
 public:
  std::string FullName;
  std::string ShortName;
  std::string OCXName;
  std::string Version;
  std::string LIBID;

  // Appends a GUID under `name`; a name already present throws std::invalid_argument.
  GUID& Add(const std::string& name, int32_t data1, int16_t data2, int16_t data3, uint8_t b1,
            uint8_t b2, uint8_t b3, uint8_t b4, uint8_t b5, uint8_t b6, uint8_t b7, uint8_t b8);
  // By 1-based position or by name; a missing one throws std::out_of_range.
  const GUID& Item(int position) const { return guids_.Item(position); }
  const GUID& Item(const std::string& name) const { return guids_.Item(name); }
  const GUID* Find(const std::string& name) const { return guids_.Find(name); }
  const std::vector<GUID>& Items() const { return guids_.Items(); }
  int32_t Count() const { return guids_.Count(); }
  void Remove(int position) { guids_.Remove(position); }
  void Remove(const std::string& name) { guids_.Remove(name); }

  std::string OCXFileName() const;  // OCXName + "32.OCX"
  std::string GridLibName() const;  // FullName before its first "."
  // Whether the key "CLSID\{<CLSID_MsPlover>}" exists in `registry`.
  bool Registered(const ControlRegistry& registry) const;

 private:
  KeyedCollection<GUID, &GUID::Name> guids_{"GUID"};
};

class GridVersions {
 public:
  // Appends a row keyed by its LIBID; a LIBID already present throws std::invalid_argument.
  GridVersion& Add(const std::string& full_name, const std::string& short_name,
                   const std::string& ocx_name, const std::string& version,
                   const std::string& libid);
  // By 1-based position or by LIBID; a missing one throws std::out_of_range.
  const GridVersion& Item(int position) const { return rows_.Item(position); }
  const GridVersion& Item(const std::string& libid) const { return rows_.Item(libid); }
  GridVersion& Item(int position) { return rows_.Item(position); }
  const std::vector<GridVersion>& Items() const { return rows_.Items(); }
  int32_t Count() const { return rows_.Count(); }
  void Remove(int position) { rows_.Remove(position); }
  void Remove(const std::string& libid) { rows_.Remove(libid); }

 private:
  KeyedCollection<GridVersion, &GridVersion::LIBID> rows_{"grid type with LIBID"};
};

// The single catalogue; empty until FillGridCatalogue has run.
GridVersions& GridCatalogue();
// Fills the catalogue once; later calls change nothing.
void FillGridCatalogue();

}  // namespace vireo
