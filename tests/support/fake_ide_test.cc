#include "support/fake_ide.h"

#include <gtest/gtest.h>

#include "support/test_files.h"

namespace vireo {
namespace {

using testing::FakeIde;

// The driver tests build their host from project files through these.
TEST(FakeIdeTest, OpenProjectListsTheComponentsOfTheProjectFile) {
  testing::ScratchDir dir;
  dir.Write("Main.frm", "VERSION 4.00\r\nBegin VB.Form frmMain \r\n   Caption = \"x\"\r\nEnd\r\n");
  dir.Write("main.FRX", "binary");
  dir.Write("Sub/Plain.frm", "VERSION 4.00\nBegin VB.Form Plain\nEnd\n");
  dir.Write("Code.bas", "");
  std::string vbp =
      dir.Write("Proj.vbp", testing::CrLf({
                                "Form=Main.frm",
                                "Module=Helpers; CODE.BAS",
                                "Object={7D4E5B34-1A2C-11CF-8E41-00805F2C6A19}#4.0#0; "
                                "VIRA32.OCX",
                                "Form=sub\\plain.frm",
                                "Class=Thing; Thing.cls",
                            }));
  FakeIde ide;
  ide.OpenProject(vbp);
  auto project = ide.ActiveProject();
  EXPECT_EQ(project->FileName(), vbp);
  auto components = project->Components();
  ASSERT_EQ(components.size(), 4u);
  EXPECT_EQ(components[0]->Name(), "frmMain");
  EXPECT_EQ(components[0]->FileCount(), 2);
  EXPECT_EQ(components[0]->FileNames(1), dir.Join("main.FRX"));
  EXPECT_EQ(components[1]->Name(), "Helpers");
  EXPECT_EQ(components[1]->FileNames(0), dir.Join("Code.bas"));
  EXPECT_EQ(components[2]->Name(), "Plain");
  EXPECT_EQ(components[2]->FileNames(0), dir.Join("Sub/Plain.frm"));
  EXPECT_EQ(components[2]->FileCount(), 1);
  EXPECT_EQ(components[3]->Name(), "Thing");
  EXPECT_THROW(components[3]->FileNames(1), HostError);
}

TEST(FakeIdeTest, ScriptedFailuresAndTheMenu) {
  FakeIde ide;
  auto& form = ide.project->AddComponent("Form1", {"/p/Form1.frm"}, true);
  form.failing.insert("Name");
  EXPECT_TRUE(ide.project->Components()[0]->IsDirty());
  EXPECT_THROW(ide.project->Components()[0]->Name(), HostError);
  ide.failing.insert("LoadProject");
  EXPECT_THROW(ide.LoadProject("/p/x.vbp"), HostError);
  ide.project.reset();
  EXPECT_THROW(ide.ActiveProject(), HostError);

  auto items = ide.AddInMenu()->MenuItems();
  auto item = items->Add("Item");
  EXPECT_FALSE(ide.ClickMenuItem("Item"));  // nothing listens yet
  items->Remove(item);
  EXPECT_THROW(items->Remove(item), HostError);
}

}  // namespace
}  // namespace vireo
