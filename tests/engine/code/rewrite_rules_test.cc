#include "engine/code/rewrite_rules.h"

#include <gtest/gtest.h>

#include "engine/catalogue/grid_catalogue.h"
#include "support/converter_work.h"

namespace vireo {
namespace {

constexpr int16_t kVireo40 = 2, kVireoPro = 5, kEval = 6, kPlover = 1;

class RulesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FillGridCatalogue();
    run->GridControlNames = {"Grid1", "VrGrid"};
    run->DropDownControlNames = {"Drop1"};
    run->GridEventNames = {"_FetchCellStyle", "_UnboundReadData",  "_UnboundReadDateEx",
                           "_UnboundAddData", "_UnboundWriteData", "_FirstRowChange",
                           "_LeftColChange"};
    run->DropDownEventNames = {"_FetchCellStyle", "_UnboundReadData", "_UnboundReadDateEx",
                               "_UnboundAddData", "_UnboundWriteData"};
  }
  bool IsEvent(const std::string& line) {
    EventProcedureIndex index(*run);
    return IsGridEventProcedure(index, line);
  }
  std::string Event(std::string line, int16_t from = kVireo40, int16_t to = kVireoPro) {
    bool changed = RewriteEventLine(*run, line, from, to);
    return (changed ? "changed: " : "same: ") + line;
  }
  std::string Declarations(std::string line, int16_t from = kVireo40, int16_t to = kVireoPro) {
    bool found = RewriteDeclarations(line, from, to);
    return (found ? "changed: " : "same: ") + line;
  }
  testing::ConverterWork work;
  std::unique_ptr<FileWork> run = work.Fresh();
};

TEST_F(RulesTest, CommentsAreQuoteOrRemAfterLeadingSpaces) {
  EXPECT_TRUE(IsCommentLine("' Sub Grid1_FetchCellStyle"));
  EXPECT_TRUE(IsCommentLine("    'x"));
  EXPECT_TRUE(IsCommentLine("  Rem old"));
  EXPECT_TRUE(IsCommentLine("Remainder = 1"));
  EXPECT_FALSE(IsCommentLine("REM upper case is code for these rules"));
  EXPECT_FALSE(IsCommentLine("\t' a tab is not a space"));
  EXPECT_FALSE(IsCommentLine(""));
}

TEST_F(RulesTest, EventProceduresOfRecordedControls) {
  EXPECT_TRUE(IsEvent("Private Sub Grid1_FetchCellStyle(ByVal Condition As Integer)"));
  EXPECT_TRUE(IsEvent("private sub grid1_unboundreaddateex(RowBuf As RowBuffer)"));
  EXPECT_TRUE(IsEvent("Sub VrGrid_LeftColChange()"));
  EXPECT_TRUE(IsEvent("Sub Drop1_UnboundAddData(RowBuf As RowBuffer)"));
  EXPECT_FALSE(IsEvent("Sub Drop1_FirstRowChange()")) << "not a drop-down event";
  EXPECT_FALSE(IsEvent("Sub Drop1_LeftColChange()"));
  EXPECT_FALSE(IsEvent("Sub Grid12_FetchCellStyle(S As Object)")) << "name only begins alike";
  EXPECT_FALSE(IsEvent("Sub Grid2_FetchCellStyle(S As Object)"));
  EXPECT_FALSE(IsEvent("  ' Sub Grid1_FetchCellStyle(S As Object)"));
  EXPECT_FALSE(IsEvent("Sub  Grid1_FetchCellStyle(S As Object)")) << "two spaces";
  EXPECT_TRUE(IsEvent("Call MySub Grid1_UnboundReadData")) << "the test is textual";
}

TEST_F(RulesTest, EventNamesWithUnderscoresAndManyNames) {
  run->GridControlNames.clear();
  for (int i = 0; i < 500; ++i) run->GridControlNames.push_back("G_" + std::to_string(i));
  EXPECT_TRUE(IsEvent("Sub G_499_FirstRowChange()"));
  EXPECT_TRUE(IsEvent("Sub Foo() : Sub G_7_FetchCellStyle"));
  EXPECT_FALSE(IsEvent("Sub G_500_FirstRowChange()"));
  EXPECT_FALSE(IsEvent("Sub G__FirstRowChange()"));
}

TEST_F(RulesTest, FetchCellStyleTakesTheFirstMatchingRule) {
  EXPECT_EQ(Event("Private Sub Grid1_FetchCellStyle(ByVal Cond As Integer, CellStyle As Object, "
                  "Tag As Object)"),
            "changed: Private Sub Grid1_FetchCellStyle(ByVal Cond As Integer, CellStyle As "
            "VireoCore45.StyleDisp, Tag As Object)");
  EXPECT_EQ(Event("Sub Grid1_FetchCellStyle(S as styledisp)"),
            "changed: Sub Grid1_FetchCellStyle(S As VireoCore45.StyleDisp)");
  EXPECT_EQ(Event("Sub Grid1_FetchCellStyle(S As vireocore.StyleDisp)"),
            "changed: Sub Grid1_FetchCellStyle(S As VireoCore45.StyleDisp)");
  EXPECT_EQ(Event("Sub Grid1_FetchCellStyle(S As VireoCore45.StyleDisp)"),
            "same: Sub Grid1_FetchCellStyle(S As VireoCore45.StyleDisp)");
  EXPECT_EQ(Event("Sub Grid1_FetchCellStyle(S As Variant) ' _Unbound As RowBuffer"),
            "same: Sub Grid1_FetchCellStyle(S As Variant) ' _Unbound As RowBuffer")
      << "a group whose sub-rules fail stops the search";
}

TEST_F(RulesTest, UnboundEventsGetTheTargetRowBuffer) {
  EXPECT_EQ(Event("Sub Grid1_UnboundReadData(ByVal RowBuf As RowBuffer, StartLocation)"),
            "changed: Sub Grid1_UnboundReadData(ByVal RowBuf As VireoCore45.RowBuffer, "
            "StartLocation)");
  EXPECT_EQ(Event("Sub Drop1_UnboundWriteData(RowBuf As VIREOCORE.ROWBUFFER)"),
            "changed: Sub Drop1_UnboundWriteData(RowBuf As VireoCore45.RowBuffer)");
  EXPECT_EQ(Event("Sub Grid1_UnboundAddData(RowBuf As Object)"),
            "same: Sub Grid1_UnboundAddData(RowBuf As Object)");
}

TEST_F(RulesTest, SplitIndexParameterAndGuardLine) {
  EXPECT_EQ(Event("Private Sub VrGrid_LeftColChange()"),
            "changed: Private Sub VrGrid_LeftColChange(ByVal SplitIndex as Integer)");
  EXPECT_EQ(Event("Private Sub VrGrid_LeftColChange(ByVal SplitIndex As Integer)"),
            "same: Private Sub VrGrid_LeftColChange(ByVal SplitIndex As Integer)");
  EXPECT_EQ(Event("Sub VrGrid_FirstRowChange()"),
            "changed: Sub VrGrid_FirstRowChange(ByVal SplitIndex as Integer)\r\n"
            "If SplitIndex <> VrGrid.Split Then Exit Sub");
  EXPECT_EQ(Event("Sub Other_FirstRowChange()"),
            "changed: Sub Other_FirstRowChange(ByVal SplitIndex as Integer)\r\n");
  run->GridControlNames = {"Grid1", "Grid10"};
  EXPECT_EQ(Event("Sub Grid10_FirstRowChange()"),
            "changed: Sub Grid10_FirstRowChange(ByVal SplitIndex as Integer)\r\n"
            "If SplitIndex <> Grid10.Split Then Exit Sub")
      << "the last recorded name the line contains";
}

TEST_F(RulesTest, AnEventHeaderLosesEveryNameOfTheSourceLibraryInOneStep) {
  auto header = [&](std::string line, int16_t from = kVireo40) {
    bool changed = RewriteEventHeader(*run, line, from, kVireoPro);
    return (changed ? "changed: " : "same: ") + line;
  };
  EXPECT_EQ(header("Sub Grid1_FetchCellStyle(ByVal S As VireoCore.StyleDisp, "
                   "ByVal oCol As VireoCore.Column)"),
            "changed: Sub Grid1_FetchCellStyle(ByVal S As VireoCore45.StyleDisp, "
            "ByVal oCol As VireoCore45.Column)");
  EXPECT_EQ(header("Sub Grid1_FetchCellStyle(S As VireoCore45.StyleDisp, C As VireoCore.Column)"),
            "changed: Sub Grid1_FetchCellStyle(S As VireoCore45.StyleDisp, C As "
            "VireoCore45.Column)")
      << "a header no event rule matches still has its declarations moved";
  EXPECT_EQ(header("Sub VrGrid_FirstRowChange() ' As VireoCore.Split"),
            "changed: Sub VrGrid_FirstRowChange(ByVal SplitIndex as Integer)\r\n"
            "If SplitIndex <> VrGrid.Split Then Exit Sub ' As VireoCore45.Split");
  std::string converted =
      "Sub Grid1_FetchCellStyle(S As VireoCore45.StyleDisp, C As "
      "VireoCore45.Column)";
  EXPECT_EQ(header(converted), "same: " + converted) << "a converted header is a fixed point";
  EXPECT_EQ(header(converted, kEval), "same: " + converted)
      << "between types of one library name the text stays, so nothing changed";
  EXPECT_EQ(header("Sub Grid1_UnboundReadData(R As VireoCore45.RowBuffer)", kEval),
            "same: Sub Grid1_UnboundReadData(R As VireoCore45.RowBuffer)");
}

TEST_F(RulesTest, DeclarationKinds) {
  EXPECT_EQ(FindDeclaration("Dim s As VireoCore.StyleDisp", kVireo40), kPlainDeclaration);
  EXPECT_EQ(FindDeclaration("Set s = New X: Dim b as new vireocore.Thing", kVireo40),
            kNewDeclaration);
  EXPECT_EQ(FindDeclaration("Dim s As VireoCore45.StyleDisp", kVireo40), kNoDeclaration);
  EXPECT_EQ(FindDeclaration("   ' Dim s As VireoCore.StyleDisp", kVireo40), kNoDeclaration);
  EXPECT_EQ(FindDeclaration("Rem Dim s As VireoCore.StyleDisp", kVireo40), kNoDeclaration);
}

TEST_F(RulesTest, EveryDeclarationOfALineMovesOnce) {
  EXPECT_EQ(Declarations("Dim a As VireoCore.StyleDisp, b As New vireocore.RowBuffer, "
                         "c as VIREOCORE.Columns"),
            "changed: Dim a As VireoCore45.StyleDisp, b As New VireoCore45.RowBuffer, "
            "c As VireoCore45.Columns");
  EXPECT_EQ(Declarations("Dim a As VireoCore45.StyleDisp", kEval, kVireoPro),
            "same: Dim a As VireoCore45.StyleDisp")
      << "a library moved to one of the same name and spelling is no change";
  EXPECT_EQ(
      Declarations("dim a as vireocore45.StyleDisp, b as new VireoCore45.X", kEval, kVireoPro),
      "changed: dim a As VireoCore45.StyleDisp, b As New VireoCore45.X");
  EXPECT_EQ(Declarations("Dim a As MSPlover.Column", kPlover),
            "changed: Dim a As VireoCore45.Column");
  EXPECT_EQ(Declarations("' Dim a As VireoCore.X"), "same: ' Dim a As VireoCore.X");
}

TEST_F(RulesTest, SingleDeclarationRewriteReplacesTheFirstOnly) {
  std::string line = "Dim a As VireoCore.X, b As VireoCore.Y";
  RewriteDeclaration(line, kVireo40, kVireoPro, kPlainDeclaration);
  EXPECT_EQ(line, "Dim a As VireoCore45.X, b As VireoCore.Y");
}

}  // namespace
}  // namespace vireo
