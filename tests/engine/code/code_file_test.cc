#include "engine/code/code_file.h"

#include <gtest/gtest.h>

#include "engine/catalogue/grid_catalogue.h"
#include "support/converter_work.h"
#include "support/test_files.h"

namespace vireo {
namespace {

using testing::CrLf;

constexpr int16_t kVireo40 = 2, kVireoPro = 5, kEval = 6;
const std::string kMarker = "'*** ORYX Migration Utility Code Change ***";

class CodeFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FillGridCatalogue();
    ::setenv("TMPDIR", temp_dir.path().c_str(), 1);
  }
  void TearDown() override { ::unsetenv("TMPDIR"); }

  // Converts `content` and returns the temporary copy's bytes.
  std::string Convert(const std::string& content, int16_t expected_result, int16_t from = kVireo40,
                      int16_t to = kVireoPro) {
    std::string path = project.Write("Module1.bas", content);
    int16_t result = ConvertCodeFile(*run, path, from, to);
    EXPECT_EQ(result, expected_result) << run->result.failure_reason;
    EXPECT_EQ(testing::OriginalsOf(*run), std::vector<std::string>{path});
    EXPECT_EQ(testing::ReadFile(path), content) << "the original is never written";
    return result == kFailed ? "" : testing::ReadFile(run->result.copies.at(0).copy);
  }

  testing::ScratchDir project, temp_dir;
  testing::ConverterWork work;
  std::unique_ptr<FileWork> run = work.Fresh();
};

TEST_F(CodeFileTest, AModuleWithoutDeclarationsIsCopiedLineForLine) {
  std::string content = "Attribute VB_Name = \"Module1\"\nDim x As Integer\r\nDim y _\n  As Long";
  EXPECT_EQ(Convert(content, kUnchanged),
            CrLf({"Attribute VB_Name = \"Module1\"", "Dim x As Integer", "Dim y _", "  As Long"}));
  EXPECT_EQ(testing::CountFilesWithPrefix(temp_dir.path(), "vr5"), 1);
}

TEST_F(CodeFileTest, AnEmptyModuleGivesAnEmptyCopy) { EXPECT_EQ(Convert("", kUnchanged), ""); }

TEST_F(CodeFileTest, AChangedLineIsMarkedAndKeepsItsOldText) {
  EXPECT_EQ(
      Convert(CrLf({"Option Explicit", "  Public S As VireoCore.StyleDisp", "Sub A()"}), kChanged),
      CrLf({"Option Explicit", kMarker.c_str(), "'  Public S As VireoCore.StyleDisp",
            "  Public S As VireoCore45.StyleDisp", "Sub A()"}));
  EXPECT_EQ(run->result.changed_lines.begin()->second, 1);
}

TEST_F(CodeFileTest, AContinuedDeclarationIsJoinedIntoOneLine) {
  std::string content = CrLf({"Dim a As Integer, _", "    b As VireoCore.Columns,   _  ",
                              "\tc As New VireoCore.RowBuffer", "x = 1"});
  EXPECT_EQ(Convert(content, kChanged),
            CrLf({kMarker.c_str(), "'Dim a As Integer, _", "'    b As VireoCore.Columns,   _  ",
                  "'\tc As New VireoCore.RowBuffer",
                  "Dim a As Integer, b As VireoCore45.Columns, \tc As New VireoCore45.RowBuffer",
                  "x = 1"}));
}

TEST_F(CodeFileTest, CommentsAreNeverRewrittenNorJoined) {
  std::string content = CrLf({"' Dim a As VireoCore.X _", "Rem Dim b As VireoCore.X",
                              "   ' Dim c As VireoCore.X", "Remark = 1: Dim d As VireoCore.X"});
  EXPECT_EQ(Convert(content, kUnchanged), content);
}

TEST_F(CodeFileTest, EqualLibraryNamesStillMarkTheLine) {
  EXPECT_EQ(Convert("dim a as vireocore45.x\n", kChanged, kEval, kVireoPro),
            CrLf({kMarker.c_str(), "'dim a as vireocore45.x", "dim a As VireoCore45.x"}));
}

TEST_F(CodeFileTest, AFileEndingInsideAContinuationFails) {
  Convert(CrLf({"Dim a As Integer", "Dim b _"}), kFailed);
  EXPECT_NE(
      run->result.failure_reason.find("Module1.bas: ends inside the continued line that begins at "
                                      "line 2"),
      std::string::npos)
      << run->result.failure_reason;
  EXPECT_EQ(run->result.copies.size(), 1u) << "the pair stays recorded for the discard";
}

TEST_F(CodeFileTest, AMissingModuleFailsNamingIt) {
  int16_t result = ConvertCodeFile(*run, project.Join("Gone.bas"), kVireo40, kVireoPro);
  EXPECT_EQ(result, kFailed);
  EXPECT_NE(run->result.failure_reason.find("Gone.bas: cannot be opened"), std::string::npos);
}

TEST_F(CodeFileTest, NoTemporaryFolderFailsAndRecordsNothing) {
  ::setenv("TMPDIR", project.Join("no-such-folder").c_str(), 1);
  std::string path = project.Write("Module1.bas", "x\r\n");
  EXPECT_EQ(ConvertCodeFile(*run, path, kVireo40, kVireoPro), kFailed);
  EXPECT_TRUE(run->result.copies.empty());
  EXPECT_NE(run->result.failure_reason.find("cannot create a temporary file"), std::string::npos);
}

}  // namespace
}  // namespace vireo
