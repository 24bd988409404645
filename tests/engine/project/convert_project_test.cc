#include "engine/project/convert_project.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "engine/catalogue/grid_catalogue.h"
#include "host/posix/path_resolver_posix.h"
#include "support/fake_ide.h"
#include "support/fake_ui.h"
#include "support/frx_builder.h"
#include "support/reference_lines.h"
#include "support/test_files.h"

namespace vireo {
namespace {

using testing::kProLine;
using testing::kVireo40Line;

using testing::CrLf;
using testing::ReadFile;

class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FillGridCatalogue();
    ::setenv("TMPDIR", temp_dir.path().c_str(), 1);
    ui.pointer = 7;
  }
  void TearDown() override { ::unsetenv("TMPDIR"); }

  // A project with one grid form, one form without .frx, and `modules` modules.
  void WriteProject(const std::vector<std::string>& modules) {
    std::string vbp = "Form=Grid.frm\r\nForm=Plain.frm\r\n";
    for (size_t i = 0; i < modules.size(); ++i) {
      std::string name = "M" + std::to_string(i + 1);
      vbp += "Module=" + name + "; " + name + ".bas\r\n";
      files[name + ".bas"] = project.Write(name + ".bas", modules[i]);
    }
    vbp += std::string(kVireo40Line) + "\r\n";
    files["vbp"] = project.Write("P.vbp", vbp);
    files["Grid.frm"] = project.Write("Grid.frm", grid_form);
    files["Grid.frx"] =
        project.Write("Grid.frx", testing::Record(testing::GuidBytes(2, "LIBID_MsPlover")));
    files["Plain.frm"] = project.Write("Plain.frm", plain_form);
    for (const auto& [name, path] : files) before[name] = ReadFile(path);
    ide.OpenProject(files["vbp"]);
  }

  RunResult Run(int16_t from = 2, int16_t to = 5) {
    dialog.from = from;
    dialog.to = to;
    RunServices services{ui, dialog, status, resolver};
    return ConvertProject(ide, services);
  }

  void ExpectUntouched() {
    for (const auto& [name, path] : files) EXPECT_EQ(ReadFile(path), before[name]) << name;
  }
  int TempFilesLeft() { return testing::CountFilesWithPrefix(temp_dir.path(), "vr5"); }

  testing::ScratchDir project, temp_dir;
  testing::FakeIde ide;
  testing::FakeUserInterface ui;
  testing::FakeConvertDialog dialog;
  testing::FakeStatusWindow status;
  PosixPathResolver resolver;
  std::map<std::string, std::string> files, before;
  std::string grid_form = CrLf({"Begin VB.Form GridForm", "   Begin VireoCore.VireoCtl Grid1",
                                "      OleObjectBlob = \"Grid.frx\":0000", "   End", "End"});
  // A form without a side file: its text is converted all the same.
  std::string plain_form =
      CrLf({"Begin VB.Form Plain", "   Begin VireoCore.VireoCtl G", "   End", "End"});
};

TEST_F(DriverTest, ConvertsEveryFileAndReloads) {
  WriteProject({"Dim A As VireoCore.Columns\r\n"});
  RunResult result = Run();
  ASSERT_EQ(result.outcome, RunOutcome::kConverted) << result.failure_reason;
  EXPECT_EQ(ui.messages, (std::vector<testing::ShownMessage>{
                             {"The current project was converted successfully.", 4160}}));
  EXPECT_EQ(ReadFile(files["vbp"]),
            CrLf({"Form=Grid.frm", "Form=Plain.frm", "Module=M1; M1.bas", kProLine}));
  EXPECT_EQ(ReadFile(files["Grid.frx"]), testing::Record(testing::GuidBytes(5, "LIBID_MsPlover")));
  EXPECT_EQ(ReadFile(files["Plain.frm"]),
            CrLf({"Begin VB.Form Plain", "   Begin VireoCore45.VireoCtl G", "   End", "End"}))
      << "no .frx: its text is converted";
  EXPECT_EQ(ide.loaded_projects, std::vector<std::string>{files["vbp"]});
  EXPECT_EQ(ui.pointer_changes, (std::vector<int>{11, 7}));
  EXPECT_EQ(status.events,
            (std::vector<std::string>{
                "Show", "Text: Migrating GridForm...", "Text: Migrating GridForm...\r\n  Done!",
                "Text: Migrating Plain...", "Text: Migrating Plain...\r\n  Done!",
                "Text: Migrating " + files["M1.bas"] + "...",
                "Text: Migrating " + files["M1.bas"] + "...\r\n  Done!", "Hide"}));
  EXPECT_EQ(TempFilesLeft(), 0);
}

TEST_F(DriverTest, UnsavedChangesAreRefusedBeforeAnythingElse) {
  WriteProject({"x\r\n"});
  ide.project->components[1]->dirty = true;
  RunResult result = Run();
  EXPECT_EQ(result.outcome, RunOutcome::kUnsaved);
  EXPECT_EQ(ui.messages,
            (std::vector<testing::ShownMessage>{{"The current project contains unsaved changes.\r"
                                                 "Please save the project, then retry.",
                                                 4144}}));
  EXPECT_EQ(dialog.shown, 0);
  EXPECT_TRUE(ui.pointer_changes.empty());
  ide.project->components[1]->dirty = false;
  ide.project->dirty = true;
  EXPECT_EQ(Run().outcome, RunOutcome::kUnsaved);
  ExpectUntouched();
}

TEST_F(DriverTest, CancellingEndsSilently) {
  WriteProject({"Dim A As VireoCore.Columns\r\n"});
  EXPECT_EQ(Run(0, 0).outcome, RunOutcome::kCancelled);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_TRUE(ui.pointer_changes.empty());
  EXPECT_EQ(status.shown, 0);
  ExpectUntouched();
}

TEST_F(DriverTest, NothingToConvertLeavesNoTemporaryFile) {
  grid_form = CrLf({"Begin VB.Form GridForm", "End"});
  plain_form = CrLf({"Begin VB.Form Plain", "End"});
  WriteProject({"Dim A As Integer\r\n"});
  RunResult result = Run();
  EXPECT_EQ(result.outcome, RunOutcome::kNothingToConvert);
  EXPECT_EQ(ui.messages, (std::vector<testing::ShownMessage>{
                             {"The current project does not contain any grids that require "
                              "conversion.\rNo changes were made.",
                              4160}}));
  EXPECT_EQ(TempFilesLeft(), 0);
  EXPECT_EQ(status.hidden, 1);
  EXPECT_EQ(ui.pointer, 7);
  ExpectUntouched();
}

TEST_F(DriverTest, AFailureInTheThirdModuleTouchesNothing) {
  WriteProject({"Dim A As VireoCore.Columns\r\n", "x\r\n", "Dim B _\r\n"});
  RunResult result = Run();
  EXPECT_EQ(result.outcome, RunOutcome::kFailed);
  EXPECT_EQ(
      ui.messages,
      (std::vector<testing::ShownMessage>{{"Error converting file: " + files["M3.bas"], 4144}}));
  EXPECT_NE(result.failure_reason.find("M3.bas: ends inside the continued line"),
            std::string::npos);
  EXPECT_EQ(TempFilesLeft(), 0);
  EXPECT_TRUE(ide.loaded_projects.empty());
  ExpectUntouched();
}

TEST_F(DriverTest, AModuleOnlyChangeStillRewritesTheProjectFile) {
  grid_form = CrLf({"Begin VB.Form GridForm", "End"});
  WriteProject({"Dim A As VireoCore.Columns\r\n"});
  ASSERT_EQ(Run().outcome, RunOutcome::kConverted);
  EXPECT_NE(ReadFile(files["vbp"]).find(kProLine), std::string::npos);
}

TEST_F(DriverTest, AFileThatNeedsNoChangeKeepsEveryByteLineEndsToo) {
  WriteProject({"Dim A As VireoCore.Columns\r\n", "\xEF\xBB\xBF" "Dim B As Integer\nDim C As Long"});
  struct stat before;
  ::stat(files["M2.bas"].c_str(), &before);
  RunResult result = Run();
  ASSERT_EQ(result.outcome, RunOutcome::kConverted);
  EXPECT_EQ(ReadFile(files["M2.bas"]), "\xEF\xBB\xBF" "Dim B As Integer\nDim C As Long");
  struct stat after;
  ::stat(files["M2.bas"].c_str(), &after);
  EXPECT_EQ(before.st_ino, after.st_ino) << "not rewritten";
  EXPECT_EQ(result.files.size(), 5u);
  EXPECT_EQ(result.files[3].path, files["M2.bas"]);
  EXPECT_EQ(result.files[3].result, kUnchanged);
  EXPECT_GE(result.unchanged, 1);
  EXPECT_EQ(TempFilesLeft(), 0);
}

TEST_F(DriverTest, AByteOrderMarkIsKeptAndDoesNotHideTheFirstLine) {
  WriteProject({"\xEF\xBB\xBF" "Dim A As VireoCore.Columns\r\n"});
  ASSERT_EQ(Run().outcome, RunOutcome::kConverted);
  std::string module = ReadFile(files["M1.bas"]);
  EXPECT_EQ(module.rfind("\xEF\xBB\xBF" "'*** ORYX", 0), 0u) << module;
}

TEST_F(DriverTest, AFailedCommitRestoresEverythingAndSaysWhichFile) {
  WriteProject({"Dim A As VireoCore.Columns\r\n"});
  ::chmod(files["M1.bas"].c_str(), 0444);
  RunResult result = Run();
  EXPECT_EQ(result.outcome, RunOutcome::kFailed);
  EXPECT_EQ(
      ui.messages,
      (std::vector<testing::ShownMessage>{{"Error converting file: " + files["M1.bas"], 4144}}));
  EXPECT_TRUE(ide.loaded_projects.empty());
  ExpectUntouched();
}

TEST_F(DriverTest, AFaultThatIsNotTheHostsIsNotSwallowed) {
  WriteProject({"Dim A As VireoCore.Columns\r\n"});
  struct Broken final : testing::FakeStatusWindow {
    void SetText(const std::string&) override { throw std::logic_error("a fault of ours"); }
  } broken;
  dialog.from = 2;
  dialog.to = 5;
  RunServices services{ui, dialog, broken, resolver};
  EXPECT_THROW(ConvertProject(ide, services), std::logic_error);
  ExpectUntouched();
}

TEST_F(DriverTest, AFormWithoutItsSideFileFailsOnARecordLineNamingTheFile) {
  plain_form = CrLf({"Begin VB.Form Plain", "   Begin VireoCore.VireoCtl G",
                     "      OleObjectBlob = \"Plain.frx\":0000", "   End", "End"});
  WriteProject({"Dim A As VireoCore.Columns\r\n"});
  RunResult result = Run();
  EXPECT_EQ(result.outcome, RunOutcome::kFailed);
  EXPECT_NE(result.failure_reason.find("Plain.frm: line 3 names a record in its binary file "
                                       "Plain.frx, which is missing"),
            std::string::npos)
      << result.failure_reason;
  ExpectUntouched();
  EXPECT_EQ(TempFilesLeft(), 0);
}

TEST_F(DriverTest, HostFailuresAreSkipped) {
  WriteProject({"Dim A As VireoCore.Columns\r\n"});
  ide.project->components[0]->failing.insert("Name");
  ide.failing.insert("LoadProject");
  RunResult result = Run();
  EXPECT_EQ(result.outcome, RunOutcome::kConverted);
  EXPECT_EQ(status.texts.front(), " Migrating ...");
}

}  // namespace
}  // namespace vireo
