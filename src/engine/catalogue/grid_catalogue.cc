#include "engine/catalogue/grid_catalogue.h"

#include <stdexcept>

#include "base/text.h"

namespace vireo {

GUID& GridVersion::Add(const std::string& name, int32_t data1, int16_t data2, int16_t data3,
                       uint8_t b1, uint8_t b2, uint8_t b3, uint8_t b4, uint8_t b5, uint8_t b6,
                       uint8_t b7, uint8_t b8) {
  GUID guid;
  guid.Name = name;
  guid.Data1 = data1;
  guid.Data2 = data2;
  guid.Data3 = data3;
  guid.Byte1 = b1, guid.Byte2 = b2, guid.Byte3 = b3, guid.Byte4 = b4;
  guid.Byte5 = b5, guid.Byte6 = b6, guid.Byte7 = b7, guid.Byte8 = b8;
  return guids_.Add(std::move(guid));
}

std::string GridVersion::OCXFileName() const { return OCXName + "32.OCX"; }

std::string GridVersion::GridLibName() const { return FullName.substr(0, FullName.find('.')); }

bool GridVersion::Registered(const ControlRegistry& registry) const {
  return registry.KeyExists("CLSID\\{" + Item("CLSID_MsPlover").ToString() + "}");
}

GridVersion& GridVersions::Add(const std::string& full_name, const std::string& short_name,
                               const std::string& ocx_name, const std::string& version,
                               const std::string& libid) {
  GridVersion row;
  row.FullName = full_name;
  row.ShortName = short_name;
  row.OCXName = ocx_name;
  row.Version = version;
  row.LIBID = libid;
  return rows_.Add(std::move(row));
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
