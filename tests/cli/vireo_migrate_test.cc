// Runs the built vireo-migrate on projects written by the tests.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <tuple>

#include "engine/catalogue/grid_catalogue.h"
#include "support/frx_builder.h"
#include "support/reference_lines.h"
#include "support/run_program.h"
#include "support/test_files.h"

namespace vireo {
namespace {

using testing::kProLine;
using testing::kVireo40Line;

using testing::CrLf;
using testing::GuidBytes;
using testing::ReadFile;
using testing::Record;

class VireoMigrateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FillGridCatalogue();
    project.Write("Orders.frm", CrLf({"VERSION 4.00", "Begin VB.Form frmOrders ",
                                      "   Begin VireoCore.VireoCtl grdOrders ",
                                      "      OleObjectBlob   =   \"Orders.frx\":0000", "   End",
                                      "End", "Attribute VB_Name = \"frmOrders\"",
                                      "Private Sub grdOrders_LeftColChange()", "End Sub"}));
    project.Write("Orders.frx", Record(GuidBytes(2, "CLSID_MsPlover") + "z", 6));
    project.Write("Util.bas",
                  CrLf({"Attribute VB_Name = \"Util\"", "Dim S As VireoCore.StyleDisp"}));
    project.Write("P.vbp", CrLf({"Form=Orders.frm", "Module=Util; Util.bas", kVireo40Line}));
    before = Snapshot();
  }

  testing::ProgramRun Run(std::vector<std::string> args) {
    return testing::RunProgram(VIREO_MIGRATE_BINARY, args,
                               {{"TMPDIR", temp_dir.path()},
                                {"HOME", home.path()},
                                {"WINEPREFIX", ""},
                                {"LC_ALL", "C"},
                                {"TERM", "dumb"}});
  }
  std::map<std::string, std::string> Snapshot() {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(project.path()))
      files[entry.path().filename()] = ReadFile(entry.path());
    return files;
  }

  testing::ScratchDir project, temp_dir, home;
  std::map<std::string, std::string> before;
};

TEST_F(VireoMigrateTest, ConvertsAndReportsProgressAndOutcome) {
  auto run = Run({"convert", project.Join("P.vbp")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "The current project was converted successfully.\n");
  EXPECT_NE(run.err.find(" Migrating Orders.frm...\n  Done!\n"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(" Migrating Util.bas...\n  Done!\n"), std::string::npos)
      << "every file is named by its path in the project";
  EXPECT_EQ(run.err.find("every grid type counts as registered"), std::string::npos)
      << "said with --verbose only";
  EXPECT_EQ(ReadFile(project.Join("P.vbp")),
            CrLf({"Form=Orders.frm", "Module=Util; Util.bas", kProLine}));
  EXPECT_EQ(ReadFile(project.Join("Orders.frx")), Record(GuidBytes(5, "CLSID_MsPlover") + "z", 6));
  EXPECT_NE(ReadFile(project.Join("Orders.frm"))
                .find("Private Sub grdOrders_LeftColChange(ByVal SplitIndex as Integer)\r\n"),
            std::string::npos);
  EXPECT_EQ(Snapshot().size(), before.size()) << "nothing of ours is left beside the files";
  EXPECT_EQ(testing::CountFilesWithPrefix(temp_dir.path(), "vr5"), 0);
}

TEST_F(VireoMigrateTest, AFolderWithOneProjectAndTypesByName) {
  auto run = Run({"convert", "--quiet", "--from", "vira32.ocx", "--to", "VIREO PRO 5.0 FOR VB4",
                  project.path()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
}

TEST_F(VireoMigrateTest, NothingToConvertExitsWithThree) {
  auto run = Run({"convert", "--from", "Plover 1.0", project.path()});
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.out,
            "The current project does not contain any grids that require conversion.\n"
            "No changes were made.\n" +
                project.Join("P.vbp") + " references Vireo 4.0 (VIRA32.OCX).\n");
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(VireoMigrateTest, AFailingFileChangesNothingAndSaysWhy) {
  project.Write("Util.bas", "Dim S As VireoCore.StyleDisp _\r\n");
  before = Snapshot();
  auto run = Run({"convert", project.path()});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("Error converting file: " + project.Join("Util.bas") + "\n"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("Util.bas: ends inside the continued line that begins at line 1"),
            std::string::npos);
  EXPECT_EQ(run.err.find("Done!"), std::string::npos)
      << "Orders.frm's copy was converted, but nothing was replaced: " << run.err;
  EXPECT_EQ(Snapshot(), before);
  EXPECT_EQ(testing::CountFilesWithPrefix(temp_dir.path(), "vr5"), 0);
}

TEST_F(VireoMigrateTest, BadArgumentsAreUsageErrors) {
  struct Case {
    std::vector<std::string> args;
    std::string says;
  };
  const Case cases[] = {
      {{"convert", "--from", "Vireo 9", project.path()}, "unknown grid type \"Vireo 9\""},
      {{"convert", "--from", "5", project.path()}, "--from and --to name the same grid type"},
      {{"convert", project.Join("none.vbp")}, "none.vbp: no such project file or folder"},
      {{"convert", temp_dir.path()}, "holds no .vbp or .mak project file"},
      {{"convert", "--wine-prefix", project.Join("nowhere"), project.path()}, "does not exist"},
      {{"convert"}, "PROJECT is required"},
      {{"convert", "--codepage", "9999", project.path()}, "unknown code page 9999"},
      {{"recover", "--codepage", "9999", project.path()}, "unknown code page 9999"},
      {{"convert", "--codepage", "latin1", project.path()}, "--codepage"},
      {{"frobnicate"}, ""},
  };
  for (const Case& c : cases) {
    auto run = Run(c.args);
    EXPECT_EQ(run.status, 2) << c.says << "\n" << run.err;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
  }
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(VireoMigrateTest, WithoutAReferenceLineTheSourceIsToldFromTheFormsOrNamed) {
  project.Write("P.vbp", CrLf({"Form=Orders.frm", "Module=Util; Util.bas"}));
  auto told = Run({"convert", "--dry-run", project.path()});
  EXPECT_EQ(told.status, 0) << told.err;
  project.Write("P.vbp", CrLf({"Module=Util; Util.bas"}));
  project.Write("Util.bas", "Option Explicit\r\n");
  auto run = Run({"convert", project.path()});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("name it with --from"), std::string::npos);
  EXPECT_NE(run.err.find("Vireo Standard 1.0"), std::string::npos) << "the types are listed";
}

TEST_F(VireoMigrateTest, ADryRunTouchesNothingAndShowsTheDiff) {
  auto run = Run({"convert", "--dry-run", "--diff", project.path()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Snapshot(), before);
  EXPECT_EQ(testing::CountFilesWithPrefix(temp_dir.path(), "vr5"), 0);
  EXPECT_NE(run.out.find("+Dim S As VireoCore45.StyleDisp"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("CLSID_MsPlover"), std::string::npos);
  EXPECT_NE(run.out.find("nothing was changed"), std::string::npos);
  EXPECT_EQ(run.out.find("converted successfully"), std::string::npos);
}

// Without --diff no copy is written (see the bad input tests: no temporary
// folder is needed), and the summary says what the run with copies said.
TEST_F(VireoMigrateTest, ADryRunWithoutDiffCountsWhatOneWithCopiesCounts) {
  auto counted = Run({"convert", "--dry-run", project.path()});
  EXPECT_EQ(counted.status, 0) << counted.err;
  auto shown = Run({"convert", "--dry-run", "--diff", project.path()});
  ASSERT_EQ(shown.status, 0) << shown.err;
  std::string summary = shown.out.substr(0, shown.out.find("\n\n") + 1);
  EXPECT_NE(summary.find("changed   Orders.frx: 1 GUID replaced in 1 record"), std::string::npos)
      << summary;
  EXPECT_EQ(counted.out.substr(0, summary.size()), summary);
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(VireoMigrateTest, ReportAndBackup) {
  std::string report = temp_dir.Join("report.json");
  std::string backup = home.Join("backup");
  auto run = Run({"convert", "--report", report, "--backup", backup, project.path()});
  ASSERT_EQ(run.status, 0) << run.err;
  std::string json = ReadFile(report);
  EXPECT_NE(json.find("\"converted\""), std::string::npos) << json;
  EXPECT_EQ(ReadFile(backup + "/Util.bas"), before["Util.bas"]);
  EXPECT_EQ(ReadFile(backup + "/Orders.frx"), before["Orders.frx"]);
  EXPECT_EQ(ReadFile(backup + "/P.vbp"), before["P.vbp"]);
}

// Every copy was converted, then the backup before the commit failed:
// nothing was replaced, so no file is said done.
TEST_F(VireoMigrateTest, NoFileIsSaidDoneWhenTheRunFailsBeforeItsCommit) {
  home.Write("backup/Util.bas", "other bytes\r\n");
  auto run = Run({"convert", "--backup", home.Join("backup"), project.path()});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.err.find("already exists and holds other bytes"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("Done!"), std::string::npos) << run.err;
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(VireoMigrateTest, ASecondRunWaitsForNone) {
  std::string lock_path = project.Join("P.vbp.vr5lock");
  int fd = ::open(lock_path.c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  auto run = Run({"convert", project.path()});
  ::close(fd);
  ::unlink(lock_path.c_str());
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("another conversion of this project is under way"), std::string::npos);
  EXPECT_EQ(Snapshot().size(), before.size());
}

TEST_F(VireoMigrateTest, RecoverWithNothingToRecover) {
  auto run = Run({"recover", project.path()});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("no interrupted conversion"), std::string::npos);
}

TEST_F(VireoMigrateTest, RegisterWritesVbIniOnce) {
  std::string prefix = home.Join("prefix");
  home.Write("prefix/drive_c/WINDOWS/vb.ini", "[Add-Ins32]\r\nVIRATool32.Connector=0\r\n");
  auto first = Run({"register", "--wine-prefix", prefix});
  EXPECT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(first.out, "Add-in registered successfully.\n");
  EXPECT_EQ(ReadFile(prefix + "/drive_c/WINDOWS/vb.ini"), "[Add-Ins32]\r\nVIRAMU32.Connect=0\r\n");
  auto second = Run({"register", "--wine-prefix", prefix});
  EXPECT_EQ(second.out, "");
}

TEST_F(VireoMigrateTest, RegisterSaysSoWhenVbIniCannotBeWritten) {
  std::string prefix = home.Join("empty-prefix");
  std::filesystem::create_directories(prefix);
  auto run = Run({"register", "--wine-prefix", prefix});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("could not be listed in the Wine prefix's VB.INI"), std::string::npos);
}

TEST_F(VireoMigrateTest, TypesListsTheCatalogueWithRegistration) {
  home.Write("prefix/system.reg",
             "WINE REGISTRY Version 2\n\n[Software\\\\Classes\\\\CLSID\\\\"
             "{7D4E5B22-1A2C-11CF-8E41-00805F2C6A19}] 1700000000\n@=\"Grid\"\n");
  auto run = Run({"types", "--wine-prefix", home.Join("prefix")});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("5  Vireo Pro 5.0 for VB4"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("VIRA5_32.OCX  7D4E5B23-1A2C-11CF-8E41-00805F2C6A19  registered"),
            std::string::npos);
  EXPECT_NE(run.out.find("VIRA32.OCX    7D4E5B34-1A2C-11CF-8E41-00805F2C6A19  not registered"),
            std::string::npos);
}

TEST_F(VireoMigrateTest, DetectionSaysWhatItSees) {
  ASSERT_EQ(Run({"convert", "--quiet", project.path()}).status, 0);
  auto again = Run({"convert", project.path()});
  EXPECT_EQ(again.status, 3) << again.err;
  EXPECT_NE(again.out.find("already uses Vireo Pro 5.0 for VB4; nothing needs conversion"),
            std::string::npos)
      << again.out;

  project.Write("P.vbp", CrLf({"Form=Orders.frm", "Module=Util; Util.bas", kVireo40Line,
                               "Object={7D4E5B14-1A2C-11CF-8E41-00805F2C6A19}#1.0#0; PLOVER32.OCX"}));
  auto two = Run({"convert", project.path()});
  EXPECT_EQ(two.status, 2);
  EXPECT_NE(two.err.find("references more than one grid library (Plover 1.0 (PLOVER32.OCX), "
                         "Vireo 4.0 (VIRA32.OCX)): name the one to convert with --from"),
            std::string::npos)
      << two.err;
}

TEST_F(VireoMigrateTest, AnUnregisteredTypeIsConvertedAfterAWarning) {
  // The prefix registers only the target.
  home.Write("prefix/system.reg",
             "WINE REGISTRY Version 2\n\n[Software\\\\Classes\\\\CLSID\\\\"
             "{7D4E5B22-1A2C-11CF-8E41-00805F2C6A19}] 1700000000\n@=\"Grid\"\n");
  auto run = Run({"convert", "--wine-prefix", home.Join("prefix"), project.path()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("warning: Vireo 4.0 (VIRA32.OCX) is not registered in the Wine prefix"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(run.err.find("Vireo Pro 5.0 for VB4 (VIRA5_32.OCX) is not registered"),
            std::string::npos);
}

TEST_F(VireoMigrateTest, UserControlsDocumentsAndPagesConvertAsFormsAndSoDoFormsWithoutASideFile) {
  std::vector<std::string> vbp{"Form=Orders.frm", "Module=Util; Util.bas"};
  for (auto [key, text, side] : {std::tuple{"UserControl", "GridBox.ctl", "GridBox.ctx"},
                                 std::tuple{"UserDocument", "Sheet.dob", "SHEET.DOX"},
                                 std::tuple{"PropertyPage", "Page.pag", "Page.pgx"}}) {
    project.Write(text, CrLf({"VERSION 5.00", "Begin VB.UserControl U", "   Begin VireoCore.VireoCtl G",
                              (std::string("      OleObjectBlob   =   \"") + side + "\":0000").c_str(),
                              "   End", "End"}));
    project.Write(side, Record(GuidBytes(2, "CLSID_MsPlover"), 6));
    vbp.push_back(std::string(key) + "=" + text);
  }
  project.Write("Bare.frm", CrLf({"Begin VB.Form Bare", "End", "Attribute VB_Name = \"Bare\"",
                                  "Dim C As VireoCore.Column"}));
  vbp.push_back("Form=Bare.frm");
  vbp.push_back(kVireo40Line);
  std::string text;
  for (const std::string& line : vbp) text += line + "\r\n";
  project.Write("P.vbp", text);
  auto run = Run({"convert", "--quiet", project.path()});
  ASSERT_EQ(run.status, 0) << run.err;
  for (const char* side : {"GridBox.ctx", "SHEET.DOX", "Page.pgx"})
    EXPECT_EQ(ReadFile(project.Join(side)), Record(GuidBytes(5, "CLSID_MsPlover"), 6)) << side;
  EXPECT_NE(ReadFile(project.Join("GridBox.ctl")).find("Begin VireoCore45.VireoCtl G"),
            std::string::npos);
  EXPECT_NE(ReadFile(project.Join("Bare.frm")).find("Dim C As VireoCore45.Column"),
            std::string::npos)
      << ReadFile(project.Join("Bare.frm"));
}

// VB wrote the names in the project file in its machine's code page; on disk
// they are in UTF-8. The project file's own bytes stay as they were.
TEST_F(VireoMigrateTest, NamesInTheProjectsCodePageAreFoundUnderTheirUtf8Names) {
  testing::ScratchDir accented;
  std::string form = ReadFile(project.Join("Orders.frm"));
  form.replace(form.find("Orders.frx"), 10, "Liste.frx");
  accented.Write("Écrans/Liste.frm", form);
  accented.Write("Écrans/Liste.frx", ReadFile(project.Join("Orders.frx")));
  accented.Write("CAFÉ.BAS", "Dim S As VireoCore.StyleDisp\r\n");
  const char* form_line = "Form=\311crans\\Liste.frm";  // É in Windows-1252
  accented.Write("P.vbp", CrLf({form_line, "Module=Cafe; caf\xE9.bas", kVireo40Line}));
  std::string report = temp_dir.Join("report.json");
  auto run = Run({"convert", "--report", report, accented.path()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find(" Migrating CAFÉ.BAS...\n"), std::string::npos) << run.err;
  EXPECT_NE(ReadFile(accented.Join("CAFÉ.BAS")).find("\nDim S As VireoCore45.StyleDisp\r\n"),
            std::string::npos);
  EXPECT_EQ(ReadFile(accented.Join("Écrans/Liste.frx")),
            Record(GuidBytes(5, "CLSID_MsPlover") + "z", 6));
  EXPECT_EQ(ReadFile(accented.Join("P.vbp")),
            CrLf({form_line, "Module=Cafe; caf\xE9.bas", kProLine}));
  std::string json = ReadFile(report);
  // Appended piecewise: GCC 12 at -O3 warns falsely (-Wrestrict) about
  // "\"" + name + "\"" inlined here.
  std::string quoted = "\"";
  quoted += accented.Join("CAFÉ.BAS");
  quoted += '"';
  EXPECT_NE(json.find(quoted), std::string::npos) << json;
  EXPECT_NE(json.find(accented.Join("Écrans/Liste.frm")), std::string::npos) << json;
  EXPECT_EQ(json.find("\\u00"), std::string::npos) << "no name is escaped as raw bytes";
}

TEST_F(VireoMigrateTest, CodepageNamesTheProjectsCodePageAndANameNotFoundIsShownDecoded) {
  project.Write("Отчёт.bas", "Dim S As VireoCore.StyleDisp\r\n");
  project.Write("P.vbp",
                CrLf({"Form=Orders.frm", "Module=Report; \xCE\xF2\xF7\xB8\xF2.bas", kVireo40Line}));
  before = Snapshot();
  std::string report = temp_dir.Join("report.json");
  auto western = Run({"convert", "--report", report, project.path()});
  EXPECT_EQ(western.status, 1);
  std::string as_western = project.Join("Îò÷¸ò.bas");  // the 1251 bytes read as 1252
  EXPECT_NE(western.err.find("a listed file is missing: Îò÷¸ò.bas; nothing was changed\n"),
            std::string::npos)
      << western.err;
  EXPECT_NE(ReadFile(report).find("a listed file is missing: Îò÷¸ò.bas"), std::string::npos)
      << ReadFile(report);
  EXPECT_EQ(Snapshot(), before);

  auto cyrillic = Run({"convert", "--quiet", "--codepage", "1251", project.path()});
  ASSERT_EQ(cyrillic.status, 0) << cyrillic.err;
  EXPECT_NE(ReadFile(project.Join("Отчёт.bas")).find("\nDim S As VireoCore45.StyleDisp\r\n"),
            std::string::npos);
}

TEST_F(VireoMigrateTest, HelpAndVersion) {
  auto help = Run({"convert", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--dry-run"), std::string::npos);
  EXPECT_NE(help.out.find("--codepage N"), std::string::npos);
  EXPECT_NE(help.out.find("3 nothing needed conversion"), std::string::npos);
  auto version = Run({"--version"});
  EXPECT_EQ(version.status, 0);
  // The version, then the commit when built from a git checkout.
  EXPECT_TRUE(std::regex_match(version.out,
                               std::regex(R"(vireo-migrate 1\.1\.0( \(commit [0-9a-f]{7,}(-dirty)?\))?\n)")))
      << version.out;
}

}  // namespace
}  // namespace vireo
