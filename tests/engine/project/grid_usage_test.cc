#include "engine/project/grid_usage.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <csignal>

#include "engine/catalogue/grid_catalogue.h"
#include "engine/project/project_file.h"
#include "host/posix/path_resolver_posix.h"
#include "support/frx_builder.h"
#include "support/test_files.h"

namespace vireo {
namespace {

using testing::CrLf;

constexpr int16_t kPro = 5;

class GridUsageTest : public ::testing::Test {
 protected:
  void SetUp() override { FillGridCatalogue(); }

  // A project of one form (with a grid of `grid_class`, whose record holds
  // the CLSID of row `record_row`, 0 for none) and one module.
  void WriteProject(const std::string& references, const std::string& grid_class, int record_row,
                    const std::string& module = "Option Explicit\r\n") {
    project.Write("P.vbp", "Form=F.frm\r\nModule=M; M.bas\r\n" + references);
    project.Write(
        "F.frm", CrLf({"VERSION 4.00", "Begin VB.Form F", ("   Begin " + grid_class + " G").c_str(),
                       "      OleObjectBlob = \"F.frx\":0000", "   End", "End"}));
    project.Write("F.frx",
                  record_row ? testing::Record(testing::GuidBytes(record_row, "CLSID_MsPlover"), 6)
                             : testing::Record("no guid here", 6));
    project.Write("M.bas", module);
  }
  SourceChoice Choose(int16_t target = kPro) {
    return ChooseSource(project.Join("P.vbp"), target, resolver);
  }

  testing::ScratchDir project;
  PosixPathResolver resolver;
};

TEST_F(GridUsageTest, TheProjectFilesOwnOldReferencesDecideAlone) {
  WriteProject(ObjectLineFor(3) + "\r\n", "MSPlover.Plover", 1);
  SourceChoice choice = Choose();
  EXPECT_EQ(choice.finding, SourceFinding::kFound);
  EXPECT_EQ(choice.source, 3) << "the forms are not read when the project file tells";
  EXPECT_TRUE(choice.from_project_file);
  WriteProject(ObjectLineFor(2) + "\r\n" + ObjectLineFor(1) + "\r\n", "VireoCore.VireoCtl", 2);
  choice = Choose();
  EXPECT_EQ(choice.finding, SourceFinding::kSeveral);
  EXPECT_EQ(choice.candidates, (std::vector<int16_t>{1, 2}));
}

TEST_F(GridUsageTest, WhereTheProjectFileNamesNoOldLibraryTheFormsTell) {
  // Only the target named, but the form's grid and record are Vireo 4.0's.
  WriteProject(ObjectLineFor(kPro) + "\r\n", "VireoCore.VireoCtl", 2);
  SourceChoice choice = Choose();
  EXPECT_EQ(choice.finding, SourceFinding::kFound);
  EXPECT_EQ(choice.source, 2);
  EXPECT_FALSE(choice.from_project_file);
  // The record tells the row of a class name two rows share.
  WriteProject("", "VireoCore.VireoCtl", 4);
  EXPECT_EQ(Choose().source, 4);
  // The evaluation grid has the target's class name: only its record tells.
  WriteProject(ObjectLineFor(kPro) + "\r\n", "VireoCore45.VireoCtl", 6);
  EXPECT_EQ(Choose().source, 6);
  // With no record, a class name two rows share stands for the first.
  WriteProject("", "VireoCore.VireoCtl", 0);
  EXPECT_EQ(Choose().source, 2);
  // A declaration in code is enough.
  WriteProject("", "VB.PictureBox", 0, "Dim S As VireoCoreStd.Split\r\n");
  EXPECT_EQ(Choose().source, 3);
}

TEST_F(GridUsageTest, AlreadyConvertedOnlyWhenNothingOfAnOldTypeIsLeft) {
  WriteProject(ObjectLineFor(kPro) + "\r\n", "VireoCore45.VireoCtl", kPro,
               "Dim S As VireoCore45.StyleDisp\r\n' Dim T As VireoCore.Column\r\n");
  EXPECT_EQ(Choose().finding, SourceFinding::kAlreadyConverted)
      << "a comment naming the old library is no use of it";
  WriteProject(ObjectLineFor(kPro) + "\r\n", "VireoCore45.VireoCtl", kPro,
               "Dim T As VireoCore.Column\r\n");
  EXPECT_EQ(Choose().source, 2) << "an old declaration left over";
  WriteProject("", "VB.PictureBox", 0);
  EXPECT_EQ(Choose().finding, SourceFinding::kUnknown) << "no grid of any kind";
  WriteProject(ObjectLineFor(kPro) + "\r\n", "MSPlover.Plover", 0,
               "Dim T As VireoCoreStd.Column\r\n");
  SourceChoice several = Choose();
  EXPECT_EQ(several.finding, SourceFinding::kSeveral);
  EXPECT_EQ(several.candidates, (std::vector<int16_t>{1, 3}));
}

TEST_F(GridUsageTest, AFormsReferenceLinesAboveItsFirstBeginAreExact) {
  project.Write("P.vbp", "Form=F.frm\r\n");
  project.Write("F.frm",
                CrLf({"VERSION 5.00",
                      "Object = \"{3F6A9062-5C17-11D0-A3B8-0060974E21D5}#4.0#0\"; "
                      "\"EVIRA32.OCX\"",
                      "Begin VB.Form F", "   Begin VireoCore.VireoCtl G", "   End", "End"}));
  EXPECT_EQ(Choose().source, 4) << "the line names the row; the class name only its family";
}

TEST_F(GridUsageTest, AListedFifoIsNotOpened) {
  project.Write("P.vbp", "Module=M; M.bas\r\nForm=F.frm\r\n");
  ASSERT_EQ(::mkfifo(project.Join("M.bas").c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo(project.Join("F.frm").c_str(), 0600), 0);
  ::alarm(10);  // a read that blocks ends the test run instead of hanging it
  EXPECT_EQ(Choose().finding, SourceFinding::kUnknown);
  ::alarm(0);
}

TEST_F(GridUsageTest, GuidsAreFoundAnywhereAndAcrossPieces) {
  std::string clsid2 = testing::GuidBytes(2, "CLSID_MsPlover");
  std::string iid6 = testing::GuidBytes(6, "IID_DVrSplit");
  EXPECT_EQ(TypesOfGuidsIn("xyz" + clsid2 + "abc" + iid6), (std::set<int16_t>{2, 6}));
  EXPECT_EQ(TypesOfGuidsIn(clsid2.substr(0, 15)), std::set<int16_t>{});
  EXPECT_EQ(TypesOfGuidsIn(clsid2.substr(4)), std::set<int16_t>{}) << "a tail alone names none";
  // A record that straddles the binary scanner's 256 KiB pieces.
  std::string big(256 * 1024 - 7, 'x');
  WriteProject("", "VB.PictureBox", 0);
  project.Write("F.frx", big + clsid2 + big);
  EXPECT_EQ(Choose().source, 2);
}

TEST_F(GridUsageTest, DeclarationsNameTheLibraryAsAWholeWordAfterAsOrNew) {
  EXPECT_TRUE(DeclaresTypeOf("Dim a As VireoCore.Column", "VireoCore"));
  EXPECT_TRUE(DeclaresTypeOf("Set a = new  vireocore.Column", "VireoCore"));
  EXPECT_FALSE(DeclaresTypeOf("Dim a As VireoCore45.Column", "VireoCore"));
  EXPECT_FALSE(DeclaresTypeOf("Dim a As MyVireoCore.Column", "VireoCore"));
  EXPECT_FALSE(DeclaresTypeOf("x = VireoCore.Column", "VireoCore"));
  EXPECT_FALSE(DeclaresTypeOf("Dim a Alias VireoCore.Column", "VireoCore"));
}

}  // namespace
}  // namespace vireo
