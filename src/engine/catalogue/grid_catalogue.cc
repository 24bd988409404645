#include "engine/catalogue/grid_catalogue.h"

#include <stdexcept>

#include "engine/text.h"

namespace vireo {

GUID& GridVersion::Add(const std::string& name, int32_t data1, int16_t data2, int16_t data3,
                       uint8_t b1, uint8_t b2, uint8_t b3, uint8_t b4, uint8_t b5, uint8_t b6,
                       uint8_t b7, uint8_t b8) {
  if (Find(name)) throw std::invalid_argument("duplicate GUID name: " + name);
  GUID guid;
  guid.Name = name;
  guid.Data1 = data1;
  guid.Data2 = data2;
  guid.Data3 = data3;
  guid.Byte1 = b1, guid.Byte2 = b2, guid.Byte3 = b3, guid.Byte4 = b4;
  guid.Byte5 = b5, guid.Byte6 = b6, guid.Byte7 = b7, guid.Byte8 = b8;
  guids_.push_back(guid);
  return guids_.back();
}

size_t GridVersion::IndexOf(const std::string& name) const {
  for (size_t i = 0; i < guids_.size(); ++i) {
    if (EqualsNoCase(guids_[i].Name, name)) return i;
  }
  return guids_.size();
}

const GUID* GridVersion::Find(const std::string& name) const {
  size_t index = IndexOf(name);
  return index < guids_.size() ? &guids_[index] : nullptr;
}

const GUID& GridVersion::Item(int position) const {
  if (position < 1 || position > Count())
    throw std::out_of_range("no GUID at position " + std::to_string(position));
  return guids_[static_cast<size_t>(position - 1)];
}

const GUID& GridVersion::Item(const std::string& name) const {
  const GUID* guid = Find(name);
  if (!guid) throw std::out_of_range("no GUID named " + name);
  return *guid;
}

void GridVersion::Remove(int position) {
  Item(position);
  guids_.erase(guids_.begin() + (position - 1));
}

void GridVersion::Remove(const std::string& name) {
  Item(name);
  guids_.erase(guids_.begin() + static_cast<std::ptrdiff_t>(IndexOf(name)));
}

std::string GridVersion::OCXFileName() const { return OCXName + "32.OCX"; }

std::string GridVersion::GridLibName() const { return FullName.substr(0, FullName.find('.')); }

bool GridVersion::Registered(const ControlRegistry& registry) const {
  return registry.KeyExists("CLSID\\{" + Item("CLSID_MsPlover").ToString() + "}");
}

GridVersion& GridVersions::Add(const std::string& full_name, const std::string& short_name,
                               const std::string& ocx_name, const std::string& version,
                               const std::string& libid) {
  if (IndexOf(libid) < rows_.size()) throw std::invalid_argument("duplicate LIBID: " + libid);
  GridVersion row;
  row.FullName = full_name;
  row.ShortName = short_name;
  row.OCXName = ocx_name;
  row.Version = version;
  row.LIBID = libid;
  rows_.push_back(std::move(row));
  return rows_.back();
}

size_t GridVersions::IndexOf(const std::string& libid) const {
  for (size_t i = 0; i < rows_.size(); ++i) {
    if (EqualsNoCase(rows_[i].LIBID, libid)) return i;
  }
  return rows_.size();
}

const GridVersion& GridVersions::Item(int position) const {
  if (position < 1 || position > Count())
    throw std::out_of_range("no grid type at position " + std::to_string(position));
  return rows_[static_cast<size_t>(position - 1)];
}

GridVersion& GridVersions::Item(int position) {
  return const_cast<GridVersion&>(static_cast<const GridVersions&>(*this).Item(position));
}

const GridVersion& GridVersions::Item(const std::string& libid) const {
  size_t index = IndexOf(libid);
  if (index >= rows_.size()) throw std::out_of_range("no grid type with LIBID " + libid);
  return rows_[index];
}

void GridVersions::Remove(int position) {
  Item(position);
  rows_.erase(rows_.begin() + (position - 1));
}

void GridVersions::Remove(const std::string& libid) {
  Item(libid);
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(IndexOf(libid)));
}

GridVersions& GridCatalogue() {
  static GridVersions catalogue;
  return catalogue;
}

namespace {

// The GUID names in table order, and each row's Data1 per name (0: no entry).
constexpr const char* kGuidNames[] = {
    "CLSID_MsPlover", "LIBID_MsPlover",   "IID_DPlColumns",   "IID_DPlColumn",     "IID_DVrSplits",
    "IID_DVrSplit",   "IID_DVrValueList", "IID_DVrValueItem", "CLSID_VrValueItem", "IID_DVrStyles",
    "IID_DVrStyle",   "CLSID_VrStyle",    "CLSID_VireoDrop"};

constexpr uint32_t kData1[6][13] = {
    {0x7D4E5B13, 0x7D4E5B14, 0x7D4E5B19, 0x7D4E5B1A, 0x7D4E5B1C, 0x7D4E5B1F, 0, 0, 0, 0, 0, 0, 0},
    {0x7D4E5B33, 0x7D4E5B34, 0x7D4E5B39, 0x7D4E5B3A, 0x7D4E5B3B, 0x7D4E5B3C, 0x7D4E5B3F, 0x7D4E5B40,
     0x7D4E5B41, 0x7D4E5B42, 0x7D4E5B43, 0x7D4E5B49, 0x7D4E5BE3},
    {0x7D4E5B63, 0x7D4E5B64, 0x7D4E5B69, 0x7D4E5B6A, 0x7D4E5B6F, 0x7D4E5B70, 0, 0, 0, 0, 0, 0, 0},
    {0x3F6A9061, 0x3F6A9062, 0x3F6A9067, 0x3F6A9068, 0x3F6A9069, 0x3F6A906A, 0x3F6A906D, 0x3F6A906E,
     0x3F6A906F, 0x3F6A9070, 0x3F6A9071, 0x3F6A9076, 0},
    {0x7D4E5B22, 0x7D4E5B23, 0x7D4E5B28, 0x7D4E5B29, 0x7D4E5B2A, 0x7D4E5B2B, 0x7D4E5B2E, 0x7D4E5B2F,
     0x7D4E5B30, 0x7D4E5B31, 0x7D4E5B32, 0x7D4E5B51, 0x7D4E5B55},
    {0x3F6A907A, 0x3F6A907B, 0x3F6A9080, 0x3F6A9081, 0x3F6A9082, 0x3F6A9083, 0x3F6A9086, 0x3F6A9087,
     0x3F6A9088, 0x3F6A9089, 0x3F6A908A, 0x3F6A908F, 0x3F6A9093}};

struct GuidTail {
  uint16_t data2, data3;
  uint8_t bytes[8];
};
constexpr GuidTail kFamilyA = {0x1A2C, 0x11CF, {0x8E, 0x41, 0x00, 0x80, 0x5F, 0x2C, 0x6A, 0x19}};
constexpr GuidTail kFamilyB = {0x5C17, 0x11D0, {0xA3, 0xB8, 0x00, 0x60, 0x97, 0x4E, 0x21, 0xD5}};

void FillGuidTable(GridVersion& row, const uint32_t (&data1)[13], const GuidTail& tail) {
  for (size_t i = 0; i < 13; ++i) {
    if (data1[i] == 0) continue;
    const uint8_t* b = tail.bytes;
    row.Add(kGuidNames[i], static_cast<int32_t>(data1[i]), static_cast<int16_t>(tail.data2),
            static_cast<int16_t>(tail.data3), b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7]);
  }
}

}  // namespace

void FillGridCatalogue() {
  GridVersions& catalogue = GridCatalogue();
  if (catalogue.Count() > 0) return;
  catalogue.Add("MSPlover.Plover", "Plover", "PLOVER", "#1.0#0",
                "7D4E5B14-1A2C-11CF-8E41-00805F2C6A19");
  catalogue.Add("VireoCore.VireoCtl", "VireoCtl", "VIRA", "#4.0#0",
                "7D4E5B34-1A2C-11CF-8E41-00805F2C6A19");
  catalogue.Add("VireoCoreStd.VireoCtlS", "VireoCtlS", "VIRAS", "#1.0#0",
                "7D4E5B64-1A2C-11CF-8E41-00805F2C6A19");
  catalogue.Add("VireoCore.VireoCtl", "VireoCtl", "EVIRA", "#4.0#0",
                "3F6A9062-5C17-11D0-A3B8-0060974E21D5");
  catalogue.Add("VireoCore45.VireoCtl", "VireoCtl", "VIRA5_", "#4.5#0",
                "7D4E5B23-1A2C-11CF-8E41-00805F2C6A19");
  catalogue.Add("VireoCore45.VireoCtl", "VireoCtl", "EVIR5_", "#4.5#0",
                "3F6A907B-5C17-11D0-A3B8-0060974E21D5");
  for (int position = 1; position <= 6; ++position) {
    bool family_b = position == 4 || position == 6;
    FillGuidTable(catalogue.Item(position), kData1[position - 1], family_b ? kFamilyB : kFamilyA);
  }
}

}  // namespace vireo
