#include "shell/connect.h"

#include <gtest/gtest.h>

#include "engine/catalogue/grid_catalogue.h"
#include "host/posix/path_resolver_posix.h"
#include "support/fake_ide.h"
#include "support/fake_ui.h"
#include "support/test_files.h"

namespace vireo {
namespace {

using testing::CrLf;
using testing::FakeIde;
using testing::ReadFile;
using testing::ShownMessage;

class ConnectTest : public ::testing::Test {
 protected:
  void TearDown() override { VBInst().reset(); }

  std::shared_ptr<testing::FakeMenuItems> Menu() { return ide->menu->items; }

  std::shared_ptr<FakeIde> ide = std::make_shared<FakeIde>();
  testing::FakeUserInterface ui;
  testing::FakeConvertDialog dialog;
  testing::FakeStatusWindow status;
  PosixPathResolver resolver;
  Connect connect{RunServices{ui, dialog, status, resolver}};
};

TEST_F(ConnectTest, CreationFillsTheCatalogue) { EXPECT_EQ(GridCatalogue().Count(), 6); }

TEST_F(ConnectTest, ConnectingAddsTheMenuCommandAndListensToIt) {
  connect.ConnectAddIn(ide);
  EXPECT_EQ(VBInst(), ide);
  ASSERT_EQ(Menu()->items.size(), 1u);
  const auto& item = Menu()->items[0];
  EXPECT_EQ(item->caption, "&Vireo Pro 5.0 Migration Utility");
  EXPECT_EQ(connect.MenuItem(), item);
  EXPECT_EQ(item->sink, &connect);
  EXPECT_EQ(connect.MenuCookie(), item->cookie);
}

TEST_F(ConnectTest, DisconnectingWithAnyModeRemovesTheCommandAndTheHost) {
  for (int mode : {0, 1, -7}) {
    connect.ConnectAddIn(ide);
    auto item = Menu()->items.at(0);
    connect.DisconnectAddIn(mode);
    EXPECT_EQ(item->disconnected_with, std::vector<int32_t>{item->cookie}) << mode;
    EXPECT_EQ(item->sink, nullptr);
    EXPECT_TRUE(Menu()->items.empty());
    EXPECT_EQ(connect.MenuItem(), nullptr);
    EXPECT_EQ(VBInst(), nullptr);
  }
  EXPECT_EQ(Menu()->removed.size(), 3u);
}

TEST_F(ConnectTest, ReconnectingAddsAFreshItem) {
  connect.ConnectAddIn(ide);
  auto first = connect.MenuItem();
  int32_t first_cookie = connect.MenuCookie();
  connect.DisconnectAddIn(0);
  connect.ConnectAddIn(ide);
  EXPECT_EQ(VBInst(), ide);
  ASSERT_EQ(Menu()->items.size(), 1u);
  EXPECT_NE(Menu()->items[0], first);
  EXPECT_NE(connect.MenuCookie(), first_cookie);
  EXPECT_EQ(Menu()->added.size(), 2u);
}

TEST_F(ConnectTest, HostFailuresReachTheCaller) {
  EXPECT_THROW(connect.DisconnectAddIn(0), HostError);
  EXPECT_THROW(connect.ConnectAddIn(nullptr), HostError);
}

TEST_F(ConnectTest, AClickRunsTheConversionAndNothingElse) {
  connect.ConnectAddIn(ide);
  testing::ScratchDir folder;
  ide->project->file_name = folder.Write("Project.vbp", "Name=\"Project\"\r\n");
  EXPECT_TRUE(ide->ClickMenuItem(kMenuCaption));
  EXPECT_EQ(dialog.shown, 1);  // cancelled: a silent end
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(connect.LastResult().outcome, RunOutcome::kCancelled);

  ide->project->dirty = true;
  EXPECT_TRUE(ide->ClickMenuItem(kMenuCaption));
  EXPECT_EQ(dialog.shown, 1);
  EXPECT_EQ(ui.messages, (std::vector<ShownMessage>{{kUnsavedMessage, kStyleWarning}}));
}

TEST_F(ConnectTest, AClickAfterDisconnectingDoesNothing) {
  connect.ConnectAddIn(ide);
  connect.DisconnectAddIn(0);
  connect.AfterClick();
  EXPECT_EQ(dialog.shown, 0);
}

TEST_F(ConnectTest, TwoClicksAreTwoIndependentRuns) {
  testing::ScratchDir dir;
  dir.Write("Grids.bas",
            CrLf({"Attribute VB_Name = \"Grids\"", "Public S As VireoCore.StyleDisp"}));
  std::string vbp = dir.Write(
      "Project.vbp", CrLf({"Object={7D4E5B34-1A2C-11CF-8E41-00805F2C6A19}#4.0#0; VIRA32.OCX",
                           "Module=Grids; Grids.bas"}));
  ide->OpenProject(vbp);
  connect.ConnectAddIn(ide);
  dialog.from = 2;
  dialog.to = 5;

  EXPECT_TRUE(ide->ClickMenuItem(kMenuCaption));
  EXPECT_EQ(ui.messages, (std::vector<ShownMessage>{{kConvertedMessage, kStyleInformation}}));
  EXPECT_EQ(ide->loaded_projects, std::vector<std::string>{vbp});
  EXPECT_EQ(ReadFile(vbp),
            CrLf({"Object={7D4E5B23-1A2C-11CF-8E41-00805F2C6A19}#4.5#0; VIRA5_32.OCX",
                  "Module=Grids; Grids.bas"}));
  EXPECT_NE(ReadFile(dir.Join("Grids.bas")).find("Public S As VireoCore45.StyleDisp"),
            std::string::npos);

  // The project now uses the target grid: the same choice finds nothing.
  EXPECT_TRUE(ide->ClickMenuItem(kMenuCaption));
  EXPECT_EQ(dialog.shown, 2);
  ASSERT_EQ(ui.messages.size(), 2u);
  EXPECT_EQ(ui.messages[1], (ShownMessage{kNothingToConvertMessage, kStyleInformation}));
  EXPECT_EQ(connect.LastResult().outcome, RunOutcome::kNothingToConvert);
  EXPECT_EQ(ide->loaded_projects.size(), 1u);
}

}  // namespace
}  // namespace vireo
