#include "shell/registration.h"

#include <gtest/gtest.h>

#include "host/ini_settings_file.h"
#include "support/fake_ui.h"
#include "support/test_files.h"

namespace vireo {
namespace {

using testing::ReadFile;
using testing::ShownMessage;

const ShownMessage kRegistered{"Add-in registered successfully.", kStyleInformation};

class RegistrationTest : public ::testing::Test {
 protected:
  testing::ScratchDir scratch;
  std::string vb_ini_path = scratch.Join("VB.INI");
  IniSettingsFile vb_ini{vb_ini_path};
  testing::FakeUserInterface ui;
};

TEST_F(RegistrationTest, TheFirstStartRegistersAndSaysSoOnce) {
  EXPECT_TRUE(Main(vb_ini, ui));
  EXPECT_EQ(ReadFile(vb_ini_path), "[Add-Ins32]\r\nVIRAMU32.Connect=0\r\n");
  EXPECT_EQ(ui.messages, std::vector<ShownMessage>{kRegistered});

  EXPECT_FALSE(Main(vb_ini, ui));
  EXPECT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ReadFile(vb_ini_path), "[Add-Ins32]\r\nVIRAMU32.Connect=0\r\n");
}

TEST_F(RegistrationTest, AnyValueAlreadyListedIsLeftAlone) {
  for (const char* listed : {"VIRAMU32.Connect=1\r\n", "viramu32.connect=\r\n"}) {
    std::string content = std::string("[Add-Ins32]\r\n") + listed;
    scratch.Write("VB.INI", content);
    EXPECT_FALSE(Main(vb_ini, ui));
    EXPECT_EQ(ReadFile(vb_ini_path), content);
  }
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(RegistrationTest, TheSiblingIsRemovedAtEveryStartAndOtherLinesKept) {
  const std::string others = "[Visual Basic]\nvbpath=C:\\VB\n\n";
  scratch.Write("VB.INI", others + "[Add-Ins32]\nVIRATool32.Connector=0\nOther.Connect=1\n");
  EXPECT_TRUE(Main(vb_ini, ui));
  EXPECT_EQ(ReadFile(vb_ini_path), others + "[Add-Ins32]\nOther.Connect=1\nVIRAMU32.Connect=0\r\n");

  scratch.Write("VB.INI", "[Add-Ins32]\r\nVIRAMU32.Connect=1\r\nviratool32.connector=1\r\n");
  EXPECT_FALSE(Main(vb_ini, ui));
  EXPECT_EQ(ReadFile(vb_ini_path), "[Add-Ins32]\r\nVIRAMU32.Connect=1\r\n");
}

TEST_F(RegistrationTest, OnlyTheBufferFullOfTheValueCounts) {
  // A value of "NotFound" reads like an absent key; a longer one never does.
  scratch.Write("VB.INI", "[Add-Ins32]\r\nVIRAMU32.Connect=NotFound\r\n");
  EXPECT_TRUE(Main(vb_ini, ui));
  EXPECT_EQ(ReadFile(vb_ini_path), "[Add-Ins32]\r\nVIRAMU32.Connect=0\r\n");

  std::string long_value = "NotFound" + std::string(300, 'x');
  scratch.Write("VB.INI", "[Add-Ins32]\r\nVIRAMU32.Connect=" + long_value + "\r\n");
  EXPECT_FALSE(Main(vb_ini, ui));

  scratch.Write("VB.INI", std::string("[Add-Ins32]\r\nVIRAMU32.Connect=NotFound\0x\r\n", 42));
  EXPECT_TRUE(Main(vb_ini, ui));
  EXPECT_EQ(ui.messages.size(), 2u);
}

// Records the profile calls; every key reads as absent.
class RecordingSettings : public SettingsFile {
 public:
  std::string GetString(const std::string& section, const std::string& key,
                        const std::string& default_value) override {
    calls.push_back("Get " + section + " " + key + " " + default_value);
    return default_value;
  }
  bool WriteString(const std::string& section, const std::string& key,
                   const std::string* value) override {
    calls.push_back("Write " + section + " " + key + " " + (value ? *value : "(null)"));
    return true;
  }
  std::vector<std::string> calls;
};

TEST(RegistrationOrderTest, DeletesTheSiblingBeforeReadingThenWrites) {
  RecordingSettings settings;
  testing::FakeUserInterface ui;
  EXPECT_TRUE(Main(settings, ui));
  EXPECT_EQ(settings.calls, (std::vector<std::string>{
                                "Write Add-Ins32 VIRATool32.Connector (null)",
                                "Get Add-Ins32 VIRAMU32.Connect NotFound",
                                "Write Add-Ins32 VIRAMU32.Connect 0",
                            }));
}

}  // namespace
}  // namespace vireo
