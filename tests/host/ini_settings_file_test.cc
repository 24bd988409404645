#include "host/ini_settings_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/faulty_file_system.h"
#include "support/test_files.h"

namespace vireo {
namespace {

using testing::FileExists;
using testing::ReadFile;
using testing::ScratchDir;

class IniSettingsFileTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& content) { return scratch.Write("VB.INI", content); }
  bool Set(IniSettingsFile& ini, const std::string& section, const std::string& key,
           const std::string& value) {
    return ini.WriteString(section, key, &value);
  }
  ScratchDir scratch;
};

TEST_F(IniSettingsFileTest, AnAbsentFileSectionOrKeyGivesTheDefault) {
  IniSettingsFile missing(scratch.Join("VB.INI"));
  EXPECT_EQ(missing.GetString("Add-Ins32", "A", "NotFound"), "NotFound");
  EXPECT_EQ(missing.GetString("Add-Ins32", "A", "NotFound  "), "NotFound");

  IniSettingsFile ini(Write("A=before any section\r\n[Other]\r\nA=1\r\n[Add-Ins32]\r\nB=2\r\n"));
  EXPECT_EQ(ini.GetString("Add-Ins32", "A", "NotFound"), "NotFound");
  EXPECT_EQ(ini.GetString("Missing", "B", "NotFound"), "NotFound");
}

TEST_F(IniSettingsFileTest, ReadingIgnoresCaseAndSpacesAndTakesTheFirstEquals) {
  IniSettingsFile ini(
      Write("; comment\n[ add-ins32 ]\r\n  viramu32.CONNECT \t=  0 \r\nNoEquals\r\nX=a=b\r"
            "Q=\"quoted \"\r\nE=\r\n"));
  EXPECT_EQ(ini.GetString("Add-Ins32", "VIRAMU32.Connect", "NotFound"), "0");
  EXPECT_EQ(ini.GetString("ADD-INS32", "x", "NotFound"), "a=b");
  EXPECT_EQ(ini.GetString("Add-Ins32", "Q", "NotFound"), "quoted ");
  EXPECT_EQ(ini.GetString("Add-Ins32", "E", "NotFound"), "");
  EXPECT_EQ(ini.GetString("Add-Ins32", "NoEquals", "NotFound"), "NotFound");
}

TEST_F(IniSettingsFileTest, WritingCreatesTheFileAndTheSection) {
  IniSettingsFile ini(scratch.Join("VB.INI"));
  EXPECT_TRUE(Set(ini, "Add-Ins32", "VIRAMU32.Connect", "0"));
  EXPECT_EQ(ReadFile(ini.path()), "[Add-Ins32]\r\nVIRAMU32.Connect=0\r\n");
  EXPECT_EQ(ini.GetString("add-ins32", "viramu32.connect", "NotFound"), "0");
}

TEST_F(IniSettingsFileTest, ANewKeyGoesAtTheEndOfItsSectionAndEveryOtherLineIsKept) {
  IniSettingsFile ini(Write("[Add-Ins32]\nA=1 \n\n[Other]\r\nB=2"));
  EXPECT_TRUE(Set(ini, "ADD-INS32", "New", "0"));
  EXPECT_EQ(ReadFile(ini.path()), "[Add-Ins32]\nA=1 \nNew=0\r\n\n[Other]\r\nB=2");
  EXPECT_TRUE(Set(ini, "Other", "C", "3"));
  EXPECT_EQ(ReadFile(ini.path()), "[Add-Ins32]\nA=1 \nNew=0\r\n\n[Other]\r\nB=2\r\nC=3\r\n");
}

TEST_F(IniSettingsFileTest, ANewSectionIsAppendedAfterABlankLine) {
  IniSettingsFile ini(Write("[Visual Basic]\nvbpath=C:\\VB"));
  EXPECT_TRUE(Set(ini, "Add-Ins32", "K", "0"));
  EXPECT_EQ(ReadFile(ini.path()), "[Visual Basic]\nvbpath=C:\\VB\r\n\r\n[Add-Ins32]\r\nK=0\r\n");
}

TEST_F(IniSettingsFileTest, AnExistingKeyIsRewrittenOnlyWhenItsValueChanges) {
  const std::string original = "[S]\nKey = 1\nOther=2\n";
  IniSettingsFile ini(Write(original));
  EXPECT_TRUE(Set(ini, "s", "KEY", "1"));
  EXPECT_EQ(ReadFile(ini.path()), original);
  EXPECT_TRUE(Set(ini, "s", "KEY", "5"));
  EXPECT_EQ(ReadFile(ini.path()), "[S]\nKey=5\r\nOther=2\n");
}

TEST_F(IniSettingsFileTest, ANullValueDeletesOnlyThatKey) {
  IniSettingsFile ini(Write("[A]\r\nK=1\r\n[S]\nx=1\nviratool32.connector=1\ny=2\n"));
  EXPECT_TRUE(ini.WriteString("S", "VIRATool32.Connector", nullptr));
  EXPECT_EQ(ReadFile(ini.path()), "[A]\r\nK=1\r\n[S]\nx=1\ny=2\n");
  EXPECT_TRUE(ini.WriteString("S", "VIRATool32.Connector", nullptr));
  EXPECT_TRUE(ini.WriteString("None", "K", nullptr));
  EXPECT_EQ(ReadFile(ini.path()), "[A]\r\nK=1\r\n[S]\nx=1\ny=2\n");
}

TEST_F(IniSettingsFileTest, DeletingFromAnAbsentFileCreatesNothing) {
  IniSettingsFile ini(scratch.Join("VB.INI"));
  EXPECT_TRUE(ini.WriteString("S", "K", nullptr));
  EXPECT_FALSE(FileExists(ini.path()));
}

TEST_F(IniSettingsFileTest, OnlyTheFirstSectionOfANameGetsNewKeys) {
  IniSettingsFile ini(Write("[S]\r\nA=1\r\n[T]\r\n[s]\r\nB=2\r\n"));
  EXPECT_EQ(ini.GetString("S", "B", "none"), "2");
  EXPECT_TRUE(Set(ini, "S", "C", "3"));
  EXPECT_EQ(ReadFile(ini.path()), "[S]\r\nA=1\r\nC=3\r\n[T]\r\n[s]\r\nB=2\r\n");
}

TEST_F(IniSettingsFileTest, AFailedWriteLeavesTheFileAsItWasAndNoLeftovers) {
  const std::string original = "[S]\r\nA=1\r\n";
  IniSettingsFile ini(Write(original));
  testing::FaultyFileSystem faulty;
  faulty.FailWhen("Rename", "VB.INI", std::errc::no_space_on_device);
  ScopedFileSystem scope(faulty);
  EXPECT_FALSE(Set(ini, "S", "A", "2"));
  EXPECT_EQ(ReadFile(ini.path()), original);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scratch.path()), {}), 1);
}

TEST_F(IniSettingsFileTest, AnUnreadableFileIsNotOverwritten) {
  IniSettingsFile ini(Write("[S]\r\nA=1\r\n"));
  testing::FaultyFileSystem faulty;
  faulty.FailWhen("Open", "VB.INI", std::errc::permission_denied);
  ScopedFileSystem scope(faulty);
  EXPECT_EQ(ini.GetString("S", "A", "NotFound"), "NotFound");
  EXPECT_FALSE(Set(ini, "S", "B", "2"));
  EXPECT_EQ(faulty.failures(), 2);
}

TEST_F(IniSettingsFileTest, RewritingKeepsThePermissions) {
  IniSettingsFile ini(Write("[S]\r\n"));
  ASSERT_EQ(::chmod(ini.path().c_str(), 0640), 0);
  EXPECT_TRUE(Set(ini, "S", "A", "1"));
  struct stat st;
  ASSERT_EQ(::stat(ini.path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

}  // namespace
}  // namespace vireo
