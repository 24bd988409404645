#include "engine/catalogue/grid_catalogue.h"

#include <gtest/gtest.h>

#include <set>

#include "support/fake_registry.h"

namespace vireo {
namespace {

class CatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override { FillGridCatalogue(); }
  const GridVersion& Row(int position) { return GridCatalogue().Item(position); }
};

TEST(GuidTest, TextAndBytesOfANegativeData1) {
  GUID guid;
  guid.Data1 = static_cast<int32_t>(0x8D4E5B13u);
  guid.Data2 = static_cast<int16_t>(0xFA2C);
  guid.Data3 = 0x0001;
  guid.Byte1 = 0x0E, guid.Byte2 = 0x41, guid.Byte3 = 0x00, guid.Byte4 = 0x80;
  guid.Byte5 = 0x5F, guid.Byte6 = 0x2C, guid.Byte7 = 0x6A, guid.Byte8 = 0x09;
  EXPECT_EQ(guid.ToString(), "8D4E5B13-FA2C-0001-0E41-00805F2C6A09");
  std::array<uint8_t, 16> bytes{};
  guid.ToBytes(bytes);
  const std::array<uint8_t, 16> expected = {0x13, 0x5B, 0x4E, 0x8D, 0x2C, 0xFA, 0x01, 0x00,
                                            0x0E, 0x41, 0x00, 0x80, 0x5F, 0x2C, 0x6A, 0x09};
  EXPECT_EQ(bytes, expected);
}

TEST(GuidTest, SmallValuesArePaddedWithZeros) {
  GUID guid;
  EXPECT_EQ(guid.ToString(), "00000000-0000-0000-0000-000000000000");
}

TEST_F(CatalogueTest, RowsHoldTheirFields) {
  ASSERT_EQ(GridCatalogue().Count(), 6);
  EXPECT_EQ(Row(1).FullName, "MSPlover.Plover");
  EXPECT_EQ(Row(3).GridLibName(), "VireoCoreStd");
  EXPECT_EQ(Row(3).ShortName, "VireoCtlS");
  EXPECT_EQ(Row(5).OCXFileName(), "VIRA5_32.OCX");
  EXPECT_EQ(Row(5).Version, "#4.5#0");
  EXPECT_EQ(Row(4).FullName, Row(2).FullName);
  EXPECT_EQ(Row(4).OCXFileName(), "EVIRA32.OCX");
  EXPECT_EQ(Row(2).OCXFileName(), "VIRA32.OCX");
  EXPECT_EQ(Row(6).GridLibName(), "VireoCore45");
  EXPECT_EQ(Row(6).LIBID, "3F6A907B-5C17-11D0-A3B8-0060974E21D5");
}

TEST_F(CatalogueTest, GuidTablesHaveTheirCountsAndMatchTheLibids) {
  const int counts[] = {6, 13, 6, 12, 13, 13};
  for (int position = 1; position <= 6; ++position) {
    EXPECT_EQ(Row(position).Count(), counts[position - 1]) << position;
    EXPECT_EQ(Row(position).Item("LIBID_MsPlover").ToString(), Row(position).LIBID);
    EXPECT_EQ(Row(position).Item(1).Name, "CLSID_MsPlover");
  }
  EXPECT_EQ(Row(2).Item(13).ToString(), "7D4E5BE3-1A2C-11CF-8E41-00805F2C6A19");
  EXPECT_EQ(Row(6).Item("CLSID_VireoDrop").ToString(), "3F6A9093-5C17-11D0-A3B8-0060974E21D5");
  EXPECT_EQ(Row(4).Item(12).Name, "CLSID_VrStyle");
  EXPECT_EQ(Row(5).Item("CLSID_VrStyle").ToString(), "7D4E5B51-1A2C-11CF-8E41-00805F2C6A19");
}

TEST_F(CatalogueTest, All63GuidsAreDistinctInTextAndBytes) {
  std::set<std::string> texts;
  std::set<std::array<uint8_t, 16>> forms;
  int total = 0;
  for (const GridVersion& row : GridCatalogue().Items()) {
    for (const GUID& guid : row.Items()) {
      std::array<uint8_t, 16> bytes{};
      guid.ToBytes(bytes);
      texts.insert(guid.ToString());
      forms.insert(bytes);
      ++total;
    }
  }
  EXPECT_EQ(total, 63);
  EXPECT_EQ(texts.size(), 63u);
  EXPECT_EQ(forms.size(), 63u);
}

TEST_F(CatalogueTest, FillingAgainChangesNothing) {
  FillGridCatalogue();
  EXPECT_EQ(GridCatalogue().Count(), 6);
  EXPECT_EQ(Row(2).Count(), 13);
}

TEST_F(CatalogueTest, LookupsByKeyAndMissingEntries) {
  EXPECT_EQ(&GridCatalogue().Item("7d4e5b23-1a2c-11cf-8e41-00805f2c6a19"), &Row(5));
  EXPECT_THROW(GridCatalogue().Item(0), std::out_of_range);
  EXPECT_THROW(GridCatalogue().Item(7), std::out_of_range);
  EXPECT_THROW(Row(1).Item("CLSID_VireoDrop"), std::out_of_range);
  EXPECT_THROW(Row(1).Item(7), std::out_of_range);
  GridVersion row;
  row.Add("A", 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11);
  EXPECT_THROW(row.Add("A", 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11), std::invalid_argument);
  row.Remove("A");
  EXPECT_EQ(row.Count(), 0);
}

TEST_F(CatalogueTest, RegisteredAsksForTheBracedClsidKey) {
  testing::FakeRegistry registry;
  EXPECT_FALSE(Row(5).Registered(registry));
  registry.keys.insert("CLSID\\{7D4E5B22-1A2C-11CF-8E41-00805F2C6A19}");
  EXPECT_TRUE(Row(5).Registered(registry));
  EXPECT_FALSE(Row(6).Registered(registry));
}

}  // namespace
}  // namespace vireo
