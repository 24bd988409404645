#include "host/posix/wine_registry.h"

#include <gtest/gtest.h>

#include "support/test_files.h"

namespace vireo {
namespace {

constexpr char kGridKey[] = "CLSID\\{7D4E5B22-1A2C-11CF-8E41-00805F2C6A19}";

class WineRegistryTest : public ::testing::Test {
 protected:
  testing::ScratchDir prefix;
};

TEST_F(WineRegistryTest, FindsClassKeysOfTheMachineIgnoringCase) {
  prefix.Write(
      "system.reg",
      "WINE REGISTRY Version 2\n"
      ";; All keys relative to \\\\Machine\n"
      "\n"
      "#arch=win32\n"
      "[Software\\\\Classes\\\\CLSID\\\\{7d4e5b22-1a2c-11cf-8e41-00805f2c6a19}] 1700000000\n"
      "#time=1d9f0a0b0c0d0e0\n"
      "@=\"Vireo Pro grid\"\n");
  WineRegistry registry(prefix.path());
  EXPECT_TRUE(registry.HasRegistryFiles());
  EXPECT_TRUE(registry.KeyExists(kGridKey));
  EXPECT_TRUE(registry.KeyExists("clsid"));
  EXPECT_FALSE(registry.KeyExists("CLSID\\{7D4E5B13-1A2C-11CF-8E41-00805F2C6A19}"));
  EXPECT_FALSE(registry.KeyExists("CLSID\\{7D4E5B22-1A2C-11CF-8E41-00805F2C6A19"));
}

TEST_F(WineRegistryTest, AKeyListedOnlyThroughItsSubkeyExists) {
  prefix.Write("system.reg",
               "[Software\\\\Classes\\\\CLSID\\\\{7D4E5B22-1A2C-11CF-8E41-00805F2C6A19}"
               "\\\\InprocServer32] 1700000000\r\n"
               "@=\"C:\\\\windows\\\\system32\\\\VIRA5_32.OCX\"\r\n");
  WineRegistry registry(prefix.path());
  EXPECT_TRUE(registry.KeyExists(kGridKey));
  EXPECT_TRUE(registry.KeyExists(std::string(kGridKey) + "\\InprocServer32"));
}

TEST_F(WineRegistryTest, KeysOutsideTheClassRootDoNotCount) {
  prefix.Write(
      "system.reg",
      "[Software\\\\Vireo\\\\CLSID\\\\{7D4E5B22-1A2C-11CF-8E41-00805F2C6A19}] 1\n"
      "[CLSID\\\\{7D4E5B22-1A2C-11CF-8E41-00805F2C6A19}] 1\n"
      "\"[Software\\\\Classes\\\\CLSID\\\\{7D4E5B22-1A2C-11CF-8E41-00805F2C6A19}]\"=\"\"\n");
  WineRegistry registry(prefix.path());
  EXPECT_FALSE(registry.KeyExists(kGridKey));
}

TEST_F(WineRegistryTest, ReadsTheUsersClassesAndFileNamesInAnyCase) {
  prefix.Write("USER.REG",
               "WINE REGISTRY Version 2\n"
               ";; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n"
               "[Software\\\\Classes\\\\CLSID\\\\{7D4E5B33-1A2C-11CF-8E41-00805F2C6A19}] 1\n");
  WineRegistry registry(prefix.path());
  EXPECT_TRUE(registry.HasRegistryFiles());
  EXPECT_TRUE(registry.KeyExists("CLSID\\{7D4E5B33-1A2C-11CF-8E41-00805F2C6A19}"));
}

TEST_F(WineRegistryTest, ThirtyTwoBitClassesOfA64BitPrefixCount) {
  prefix.Write("system.reg",
               "#arch=win64\n"
               "[Software\\\\Classes\\\\Wow6432Node\\\\CLSID\\\\"
               "{7D4E5B22-1A2C-11CF-8E41-00805F2C6A19}] 1\n");
  EXPECT_TRUE(WineRegistry(prefix.path()).KeyExists(kGridKey));
}

TEST_F(WineRegistryTest, EscapedBracketsStayInsideTheKeyName) {
  prefix.Write("system.reg", "[Software\\\\Classes\\\\odd\\]name\\\\sub] 1\n");
  WineRegistry registry(prefix.path());
  EXPECT_TRUE(registry.KeyExists("odd]name\\sub"));
  EXPECT_FALSE(registry.KeyExists("odd"));
}

TEST_F(WineRegistryTest, APrefixWithoutRegistryFilesSaysSo) {
  prefix.Write("drive_c/windows/win.ini", "");
  WineRegistry registry(prefix.path());
  EXPECT_FALSE(registry.HasRegistryFiles());
  EXPECT_FALSE(registry.KeyExists(kGridKey));
  EXPECT_FALSE(WineRegistry(prefix.Join("missing")).HasRegistryFiles());
}

TEST_F(WineRegistryTest, VbIniIsFoundIgnoringCaseOrNamedWhereItWillBe) {
  EXPECT_EQ(WineVbIniPath(prefix.path()), prefix.Join("drive_c/windows/VB.INI"));
  prefix.Write("Drive_C/WINDOWS/win.ini", "");
  EXPECT_EQ(WineVbIniPath(prefix.path()), prefix.Join("Drive_C/WINDOWS/VB.INI"));
  prefix.Write("Drive_C/WINDOWS/vb.ini", "[Add-Ins32]\r\n");
  EXPECT_EQ(WineVbIniPath(prefix.path()), prefix.Join("Drive_C/WINDOWS/vb.ini"));
}

}  // namespace
}  // namespace vireo
