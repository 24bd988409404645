// The profile functions behind VB.INI, the registry behind the grid
// catalogue, and Windows project paths.
#include <gtest/gtest.h>

#include "dialogs/convert_form.h"
#include "engine/catalogue/grid_catalogue.h"
#include "base/text.h"
#include "host/win32/path_resolver_win32.h"
#include "host/win32/profile_settings_file.h"
#include "host/win32/windows_registry.h"
#include "scratch_folder.h"
#include "shell/registration.h"
#include "support/fake_ui.h"

namespace vireo {
namespace {

using testing::ReadBytes;
using testing::ScratchFolder;
using testing::WriteBytes;

TEST(ProfileSettingsFile, ReadsWritesAndDeletesKeysKeepingTheRest) {
  ScratchFolder folder;
  ProfileSettingsFile ini(folder / "VB.INI");
  EXPECT_EQ(ini.GetString("Add-Ins32", "VIRAMU32.Connect", "NotFound"), "NotFound");
  std::string zero = "0";
  EXPECT_TRUE(ini.WriteString("Add-Ins32", "VIRAMU32.Connect", &zero));
  EXPECT_EQ(ini.GetString("add-ins32", "viramu32.connect", "NotFound"), "0");

  WriteBytes(folder / "VB.INI",
             "[Options]\r\nFontSize=9\r\n[Add-Ins32]\r\nVIRATool32.Connector=1\r\nOther=\r\n");
  EXPECT_EQ(ini.GetString("Add-Ins32", "Other", "NotFound"), "");  // present, empty
  EXPECT_TRUE(ini.WriteString("Add-Ins32", "VIRATool32.Connector", nullptr));
  EXPECT_EQ(ini.GetString("Add-Ins32", "VIRATool32.Connector", "NotFound"), "NotFound");
  EXPECT_EQ(ini.GetString("Options", "FontSize", ""), "9");

  std::string long_value(700, 'v');
  EXPECT_TRUE(ini.WriteString("Add-Ins32", "Long", &long_value));
  EXPECT_EQ(ini.GetString("Add-Ins32", "Long", ""), long_value);
}

// Main on the real VB.INI of the Windows directory, as the add-in runs it.
TEST(ProfileSettingsFile, MainListsTheAddInInTheWindowsVbIniOnce) {
  char windows[MAX_PATH];
  ::GetWindowsDirectoryA(windows, MAX_PATH);
  std::string vb_ini = std::string(windows) + "\\VB.INI";
  std::string saved = ReadBytes(vb_ini);
  WriteBytes(vb_ini, "[Add-Ins32]\r\nVIRATool32.Connector=0\r\n");

  ProfileSettingsFile settings("VB.INI");
  testing::FakeUserInterface ui;
  EXPECT_TRUE(Main(settings, ui));
  EXPECT_EQ(
      ui.messages,
      (std::vector<testing::ShownMessage>{{"Add-in registered successfully.", kStyleInformation}}));
  std::string after = ReadBytes(vb_ini);
  EXPECT_NE(after.find("VIRAMU32.Connect=0"), std::string::npos) << after;
  EXPECT_EQ(after.find("VIRATool32.Connector"), std::string::npos) << after;

  settings.WriteString("Add-Ins32", "VIRATool32.Connector", &after);  // back again
  EXPECT_FALSE(Main(settings, ui));
  EXPECT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(settings.GetString("Add-Ins32", "VIRATool32.Connector", "gone"), "gone");

  if (saved == "<missing>") {
    ::DeleteFileA(vb_ini.c_str());
  } else {
    WriteBytes(vb_ini, saved);
  }
}

// Registers the control of a catalogue row the way its setup would.
class RegisteredControl {
 public:
  explicit RegisteredControl(int position)
      : key_("CLSID\\{" + GridCatalogue().Item(position).Item("CLSID_MsPlover").ToString() + "}") {
    HKEY key;
    EXPECT_EQ(::RegCreateKeyA(HKEY_CLASSES_ROOT, key_.c_str(), &key), ERROR_SUCCESS);
    ::RegSetValueA(key, nullptr, REG_SZ, "grid", 4);
    ::RegCloseKey(key);
  }
  ~RegisteredControl() { ::RegDeleteKeyA(HKEY_CLASSES_ROOT, key_.c_str()); }
  const std::string& key() const { return key_; }

 private:
  std::string key_;
};

TEST(WindowsRegistry, AKeyExistsWhenTheClassRootOpensIt) {
  FillGridCatalogue();
  WindowsRegistry registry;
  EXPECT_TRUE(registry.KeyExists("CLSID"));
  EXPECT_FALSE(registry.KeyExists("CLSID\\{00000000-1111-2222-3333-444444444444}"));
  std::string key;
  {
    RegisteredControl vireo4(2);
    key = vireo4.key();
    EXPECT_TRUE(registry.KeyExists(key));
    EXPECT_TRUE(registry.KeyExists(AsciiLowerCopy(key)));
  }
  EXPECT_FALSE(registry.KeyExists(key));
}

TEST(WindowsRegistry, TheDialogOffersTheRegisteredGridsOnly) {
  FillGridCatalogue();
  WindowsRegistry registry;
  RegisteredControl plover(1), evaluation(6), target(5), never_offered(4);
  ConvertForm form;
  form.Load(registry);
  ASSERT_EQ(form.FromCombo.ListCount(), 2);
  EXPECT_EQ(form.FromCombo.entries[0].text, "Plover 1.0");
  EXPECT_EQ(form.FromCombo.entries[1].text, "Vireo Pro 5.0 for VB4 (Eval)");
  EXPECT_EQ(form.FromCombo.entries[1].item_data, 6);
  ASSERT_EQ(form.ToCombo.ListCount(), 1);
  EXPECT_TRUE(form.OKEnabled());
}

TEST(WindowsPathResolver, ListedPathsOpenFromTheProjectFolder) {
  WindowsPathResolver resolver;
  EXPECT_EQ(resolver.Resolve("C:\\VB\\Proj\\", "Main.frm"), "C:\\VB\\Proj\\Main.frm");
  EXPECT_EQ(resolver.Resolve("C:\\VB\\Proj\\", "Forms/Main.frm"), "C:\\VB\\Proj\\Forms\\Main.frm");
  EXPECT_EQ(resolver.Resolve("C:\\VB\\Proj\\", "..\\Shared\\Grids.bas"),
            "C:\\VB\\Proj\\..\\Shared\\Grids.bas");
  EXPECT_EQ(resolver.Resolve("C:\\VB\\Proj", "Main.frm"), "C:\\VB\\Proj\\Main.frm");
  EXPECT_EQ(resolver.Resolve("C:\\VB\\Proj\\", "D:\\Lib\\Grids.bas"), "D:\\Lib\\Grids.bas");
  EXPECT_EQ(resolver.Resolve("C:\\VB\\Proj\\", "d:Grids.bas"), "d:Grids.bas");
  EXPECT_EQ(resolver.Resolve("C:\\VB\\Proj\\", "\\\\server\\share\\G.bas"),
            "\\\\server\\share\\G.bas");
  EXPECT_EQ(resolver.Resolve("C:\\VB\\Proj\\", "\\Lib\\G.bas"), "\\Lib\\G.bas");
}

TEST(WindowsPathResolver, TheResolvedPathOpensWhateverCaseTheProjectFileUsed) {
  ScratchFolder folder;
  ::CreateDirectoryA((folder / "Forms").c_str(), nullptr);
  WriteBytes(folder / "Forms\\Main.frm", "form");
  WindowsPathResolver resolver;
  EXPECT_EQ(ReadBytes(resolver.Resolve(folder.path() + "\\", "FORMS\\main.FRM")), "form");
}

}  // namespace
}  // namespace vireo
