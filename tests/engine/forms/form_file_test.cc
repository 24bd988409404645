#include "engine/forms/form_file.h"

#include <gtest/gtest.h>

#include "base/checksum.h"
#include "support/converter_work.h"
#include "support/faulty_file_system.h"
#include "support/frx_builder.h"
#include "support/test_files.h"

namespace vireo {
namespace {

using testing::CrLf;
using testing::GuidBytes;
using testing::LbRecord;
using testing::Record;

constexpr int16_t kVireo40 = 2, kVireoPro = 5, kEval = 6;

const char* const kForm[] = {
    "VERSION 4.00",
    "Begin VB.Form Form1 ",
    "   Caption         =   \"Form1\"",
    "   Tag             =   \"As VireoCore.Columns\"",
    "   Begin VB.Frame Frame1 ",
    "      Caption         =   \"Frame1\"",
    "      begin vireocore.vireoctl Grid1 ",
    "         Height          =   1215",
    "         BeginProperty Font ",
    "            Name            =   \"Arial\"",
    "         EndProperty",
    "         OleObjectBlob   =   \"Form1.frx\":0000",
    "      End",
    "   End",
    "   Begin VireoCore.VireoDropDown Drop1 ",
    "      OleObjectBlob   =   \"Form1.frx\":0027",
    "   End",
    "   Begin VireoCore.VireoCtl Grid10 ",
    "      Height          =   615",
    "   End",
    "   Begin VB.TextBox Text1 ",
    "   End",
    "End",
    "Attribute VB_Name = \"Form1\"",
    "Dim S As VireoCore.StyleDisp",
    "' Private Sub Grid1_FetchCellStyle(Cond As Integer, Style As Object)",
    "Private Sub Grid1_FetchCellStyle(Cond As Integer, _",
    "      Style As Object, Tag As Object)",
    "End Sub",
    "Private Sub Grid10_FirstRowChange()",
    "End Sub",
    "Private Sub Grid1_LeftColChange(ByVal SplitIndex as Integer)",
    "End Sub",
    "Private Sub Drop1_UnboundReadData(ByVal RowBuf As RowBuffer)",
    "End Sub",
    "Private Sub Drop1_FirstRowChange()",
    "End Sub",
    "Private Sub Grid2_FetchCellStyle(Cond As Integer, Style As VireoCore.StyleDisp)",
    "   End",
};

const char* const kConverted[] = {
    "VERSION 4.00",
    "Begin VB.Form Form1 ",
    "   Caption         =   \"Form1\"",
    "   Tag             =   \"As VireoCore.Columns\"",
    "   Begin VB.Frame Frame1 ",
    "      Caption         =   \"Frame1\"",
    "      begin VireoCore45.VireoCtl Grid1 ",
    "         Height          =   1215",
    "         BeginProperty Font ",
    "            Name            =   \"Arial\"",
    "         EndProperty",
    "         OleObjectBlob   =   \"Form1.frx\":0000",
    "      End",
    "   End",
    "   Begin VireoCore45.VireoDropDown Drop1 ",
    "      OleObjectBlob   =   \"Form1.frx\":0027",
    "   End",
    "   Begin VireoCore45.VireoCtl Grid10 ",
    "      Height          =   615",
    "   End",
    "   Begin VB.TextBox Text1 ",
    "   End",
    "End",
    "Attribute VB_Name = \"Form1\"",
    "'*** ORYX Migration Utility Code Change ***",
    "'Dim S As VireoCore.StyleDisp",
    "Dim S As VireoCore45.StyleDisp",
    "' Private Sub Grid1_FetchCellStyle(Cond As Integer, Style As Object)",
    "'*** ORYX Migration Utility Code Change ***",
    "'Private Sub Grid1_FetchCellStyle(Cond As Integer, _",
    "'      Style As Object, Tag As Object)",
    ("Private Sub Grid1_FetchCellStyle(Cond As Integer, Style As VireoCore45.StyleDisp, Tag As "
     "Object)"),
    "End Sub",
    "'*** ORYX Migration Utility Code Change ***",
    "'Private Sub Grid10_FirstRowChange()",
    "Private Sub Grid10_FirstRowChange(ByVal SplitIndex as Integer)",
    "If SplitIndex <> Grid10.Split Then Exit Sub",
    "End Sub",
    "Private Sub Grid1_LeftColChange(ByVal SplitIndex as Integer)",
    "End Sub",
    "'*** ORYX Migration Utility Code Change ***",
    "'Private Sub Drop1_UnboundReadData(ByVal RowBuf As RowBuffer)",
    "Private Sub Drop1_UnboundReadData(ByVal RowBuf As VireoCore45.RowBuffer)",
    "End Sub",
    "Private Sub Drop1_FirstRowChange()",
    "End Sub",
    "'*** ORYX Migration Utility Code Change ***",
    "'Private Sub Grid2_FetchCellStyle(Cond As Integer, Style As VireoCore.StyleDisp)",
    "Private Sub Grid2_FetchCellStyle(Cond As Integer, Style As VireoCore45.StyleDisp)",
    "   End",
};

std::string Join(const char* const* lines, size_t count, const char* end) {
  std::string text;
  for (size_t i = 0; i < count; ++i) text += std::string(lines[i]) + end;
  return text;
}

class FormFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FillGridCatalogue();
    ::setenv("TMPDIR", temp_dir.path().c_str(), 1);
    // Grid1's record at 0, Drop1's at 0x26.
    frx = Record(GuidBytes(2, "CLSID_MsPlover") + "x" + GuidBytes(2, "LIBID_MsPlover"), 6) +
          Record(GuidBytes(2, "CLSID_VireoDrop"), 6) + "end";
  }
  void TearDown() override { ::unsetenv("TMPDIR"); }

  int16_t Convert(const std::string& form, const std::string& binary, int16_t from = kVireo40,
                  int16_t to = kVireoPro) {
    form_path = project.Write("Form1.frm", form);
    frx_path = project.Write("Form1.frx", binary);
    return ConvertFormFile(*run, form_path, frx_path, from, to);
  }
  std::string ConvertedText() { return testing::ReadFile(run->result.copies.at(0).copy); }
  std::string ConvertedBinary() { return testing::ReadFile(run->result.copies.at(1).copy); }

  testing::ScratchDir project, temp_dir;
  testing::ConverterWork work;
  std::unique_ptr<FileWork> run = work.Fresh();
  std::string frx, form_path, frx_path;
};

TEST_F(FormFileTest, ConvertsBlocksRecordsAndCode) {
  std::string form = Join(kForm, std::size(kForm), "\r\n");
  ASSERT_EQ(Convert(form, frx), kChanged) << run->result.failure_reason;
  EXPECT_EQ(ConvertedText(), Join(kConverted, std::size(kConverted), "\r\n"));
  EXPECT_EQ(ConvertedBinary(),
            Record(GuidBytes(5, "CLSID_MsPlover") + "x" + GuidBytes(5, "LIBID_MsPlover"), 6) +
                Record(GuidBytes(5, "CLSID_VireoDrop"), 6) + "end");
  EXPECT_EQ(run->GridControlNames, (std::vector<std::string>{"Grid1", "Grid10"}));
  EXPECT_EQ(run->DropDownControlNames, std::vector<std::string>{"Drop1"});
  EXPECT_EQ(testing::OriginalsOf(*run), (std::vector<std::string>{form_path, frx_path}));
  EXPECT_EQ(testing::ReadFile(form_path), form);
  EXPECT_EQ(testing::ReadFile(frx_path), frx);
  EXPECT_EQ(run->result.guid_replacements.size(), 3u);
  // The binary copy's facts are those of its bytes as they end, after the
  // GUIDs were written into it, so it can be sealed without a second look.
  const std::optional<CopyFacts>& facts = run->result.copies.at(1).facts;
  ASSERT_TRUE(facts.has_value());
  EXPECT_FALSE(facts->same);
  ASSERT_TRUE(facts->new_known);
  uint64_t written = 0, original = 0;
  ASSERT_FALSE(FileChecksum(run->result.copies.at(1).copy, ChecksumKind::kXxh3, &written));
  ASSERT_FALSE(FileChecksum(frx_path, ChecksumKind::kXxh3, &original));
  EXPECT_EQ(facts->new_checksum, written);
  EXPECT_EQ(facts->old_checksum, original);
}

TEST_F(FormFileTest, LfOnlyAndCrOnlyFormsConvertLikeTheirCrLfTwin) {
  std::string expected = Join(kConverted, std::size(kConverted), "\r\n");
  for (const char* end : {"\n", "\r"}) {
    run = work.Fresh();
    ASSERT_EQ(Convert(Join(kForm, std::size(kForm), end), frx), kChanged)
        << run->result.failure_reason;
    EXPECT_EQ(ConvertedText(), expected);
  }
}

TEST_F(FormFileTest, AFormWithoutSourceGridsIsCopied) {
  std::string form = CrLf({"VERSION 4.00", "Begin VB.Form Form1", "   Begin VireoCore45.VireoCtl G",
                           "   End", "End", "Private Sub G_FirstRowChange()", "End Sub"});
  EXPECT_EQ(Convert(form, frx), kUnchanged);
  EXPECT_EQ(ConvertedText(), form);
  EXPECT_EQ(ConvertedBinary(), frx);
  EXPECT_TRUE(run->GridControlNames.empty());
}

TEST_F(FormFileTest, OnlyTheFormsOwnEndStartsTheCode) {
  std::string form = CrLf(
      {"Begin VB.Form Form1", "   Dim a As VireoCore.X", " End", "end", "Dim b As VireoCore.X"});
  EXPECT_EQ(Convert(form, frx), kChanged);
  EXPECT_EQ(ConvertedText(), CrLf({"Begin VB.Form Form1", "   Dim a As VireoCore.X", " End", "end",
                                   "'*** ORYX Migration Utility Code Change ***",
                                   "'Dim b As VireoCore.X", "Dim b As VireoCore45.X"}));
}

TEST_F(FormFileTest, AFileEndingInsideABlockLosesNoLine) {
  std::string form =
      CrLf({"Begin VB.Form Form1", "   Begin VireoCore.VireoCtl Grid1", "      Height = 5"});
  EXPECT_EQ(Convert(form, frx), kChanged);
  EXPECT_EQ(ConvertedText(), CrLf({"Begin VB.Form Form1", "   Begin VireoCore45.VireoCtl Grid1",
                                   "      Height = 5"}));
  form = "Begin VB.Form Form1\r\n   Begin VireoCore.VireoCtl Grid1";
  run = work.Fresh();
  EXPECT_EQ(Convert(form, frx), kChanged);
  EXPECT_EQ(ConvertedText(), CrLf({"Begin VB.Form Form1", "   Begin VireoCore45.VireoCtl Grid1"}));
}

TEST_F(FormFileTest, BetweenTypesOfOneLibraryNameOnlyTextThatDiffersIsAChange) {
  std::string form = CrLf({"Begin VB.Form F", "   Begin vireocore45.VIREOCTL G1", "   End", "End",
                           "Sub G1_FetchCellStyle(S As VireoCore45.StyleDisp)"});
  EXPECT_EQ(Convert(form, frx, kEval, kVireoPro), kChanged);
  EXPECT_EQ(ConvertedText(), CrLf({"Begin VB.Form F", "   Begin VireoCore45.VireoCtl G1", "   End",
                                   "End", "Sub G1_FetchCellStyle(S As VireoCore45.StyleDisp)"}))
      << "the Begin line's spelling changed; the header's text did not, so it has no marker";
  EXPECT_EQ(run->result.changed_lines[form_path], 1);
  run = work.Fresh();
  form = CrLf({"Begin VB.Form F", "   Begin VireoCore45.VireoCtl G1", "   End", "End",
               "Dim S As VireoCore45.StyleDisp"});
  EXPECT_EQ(Convert(form, frx, kEval, kVireoPro), kUnchanged)
      << "a form already in the target's words and records is unchanged";
  EXPECT_EQ(ConvertedText(), form);
}

TEST_F(FormFileTest, AnEventHeaderHasItsDeclarationsMovedUnderTheSameMarker) {
  std::string form = CrLf({"Begin VB.Form F", "   Begin VireoCore.VireoCtl G1", "   End", "End",
                           "Sub G1_FetchCellStyle(S As Object, T As VireoCore.Columns)",
                           "Sub G1_UnboundReadData(S As Variant, T As VireoCore.Columns)"});
  EXPECT_EQ(Convert(form, frx), kChanged);
  EXPECT_EQ(ConvertedText(),
            CrLf({"Begin VB.Form F", "   Begin VireoCore45.VireoCtl G1", "   End", "End",
                  "'*** ORYX Migration Utility Code Change ***",
                  "'Sub G1_FetchCellStyle(S As Object, T As VireoCore.Columns)",
                  "Sub G1_FetchCellStyle(S As VireoCore45.StyleDisp, T As VireoCore45.Columns)",
                  "'*** ORYX Migration Utility Code Change ***",
                  "'Sub G1_UnboundReadData(S As Variant, T As VireoCore.Columns)",
                  "Sub G1_UnboundReadData(S As Variant, T As VireoCore45.Columns)"}));
  std::string once = ConvertedText();
  run = work.Fresh();
  EXPECT_EQ(Convert(once, frx), kUnchanged) << "a second run finds nothing left to change";
  EXPECT_EQ(ConvertedText(), once);
}

TEST_F(FormFileTest, ABadRecordFailsTheForm) {
  std::string form = CrLf({"Begin VB.Form F", "   Begin VireoCore.VireoCtl G1",
                           "      OleObjectBlob = \"F.frx\":00ZZ", "   End", "End"});
  EXPECT_EQ(Convert(form, frx), kFailed);
  EXPECT_NE(run->result.failure_reason.find("Form1.frm: line 3 names no valid record offset"),
            std::string::npos)
      << run->result.failure_reason;
  run = work.Fresh();
  form = CrLf({"Begin VB.Form F", "   Begin VireoCore.VireoCtl G1",
               "      OleObjectBlob = \"F.frx\":0100", "   End", "End"});
  EXPECT_EQ(Convert(form, frx), kFailed);
  EXPECT_NE(run->result.failure_reason.find("Form1.frx: the record at offset 256"),
            std::string::npos);
  EXPECT_EQ(run->result.copies.size(), 2u);
}

TEST_F(FormFileTest, AMissingBinaryFileFailsAndLeavesNoTemporaryFile) {
  form_path = project.Write("Form1.frm", "End\r\n");
  EXPECT_EQ(ConvertFormFile(*run, form_path, project.Join("Form1.frx"), kVireo40, kVireoPro),
            kFailed);
  EXPECT_TRUE(run->result.copies.empty());
  EXPECT_EQ(testing::CountFilesWithPrefix(temp_dir.path(), "vr5"), 0);
  EXPECT_NE(run->result.failure_reason.find("Form1.frx: cannot be copied"), std::string::npos);
}

TEST_F(FormFileTest, EventNameListsAreFilledPerCall) {
  Convert("End\r\n", frx);
  EXPECT_EQ(run->GridEventNames.size(), 7u);
  EXPECT_EQ(run->GridEventNames[2], "_UnboundReadDateEx");
  EXPECT_EQ(run->DropDownEventNames.size(), 5u);
}

// Reference lines as VB5 and VB6 write them above a form's first Begin line.
const char kSourceRef[] =
    "Object = \"{7D4E5B34-1A2C-11CF-8E41-00805F2C6A19}#4.0#0\"; \"VIRA32.OCX\"";
const char kTargetRef[] =
    "Object = \"{7D4E5B23-1A2C-11CF-8E41-00805F2C6A19}#4.5#0\"; \"VIRA5_32.OCX\"";
const char kOlderTargetRef[] =
    "Object = \"{7D4E5B23-1A2C-11CF-8E41-00805F2C6A19}#4.6#0\"; \"N.OCX\"";
const char kOtherRef[] = "Object = \"{5A0C93E1-3B2D-4C11-9E07-2F1D8A6B4C70}#1.0#0\"; \"OTHER.OCX\"";

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

std::string VbSixForm(const std::vector<std::string>& references) {
  std::vector<std::string> lines = {"VERSION 5.00"};
  lines.insert(lines.end(), references.begin(), references.end());
  lines.insert(lines.end(), {"Begin VB.Form Form1 ", "   Caption = \"F\"", "End",
                             "Attribute VB_Name = \"Form1\""});
  return Lines(lines);
}

TEST_F(FormFileTest, ReferenceLinesAboveTheFirstBegin) {
  struct Case {
    const char* what;
    std::vector<std::string> before, after;
    int16_t result;
  };
  const Case cases[] = {
      {"source only", {kSourceRef, kOtherRef}, {kTargetRef, kOtherRef}, kChanged},
      {"source, then target", {kSourceRef, kOlderTargetRef}, {kTargetRef}, kChanged},
      {"target, then source",
       {kOlderTargetRef, kOtherRef, kSourceRef},
       {kOtherRef, kTargetRef},
       kChanged},
      {"target only", {kOtherRef, kTargetRef}, {kOtherRef, kTargetRef}, kUnchanged},
      {"two source lines",
       {kSourceRef, "Object = \"{7D4E5B34-1A2C-11CF-8E41-00805F2C6A19}#4.1#0\"; \"V.OCX\""},
       {kTargetRef, "Object = \"{7D4E5B34-1A2C-11CF-8E41-00805F2C6A19}#4.1#0\"; \"V.OCX\""},
       kChanged},
      {"lower case",
       {"object = \"{7d4e5b34-1a2c-11cf-8e41-00805f2c6a19}#4.0#0\"; \"vira32.ocx\""},
       {kTargetRef},
       kChanged},
      {"other spacing, or no brace after the LIBID",
       {"Object=\"{7D4E5B34-1A2C-11CF-8E41-00805F2C6A19}#4.0#0\"; \"VIRA32.OCX\"",
        "Object  = \"{7D4E5B34-1A2C-11CF-8E41-00805F2C6A19}#4.0#0\"; \"VIRA32.OCX\"",
        " Object = \"{7D4E5B34-1A2C-11CF-8E41-00805F2C6A19}#4.0#0\"; \"VIRA32.OCX\"",
        "Object = \"{7D4E5B34-1A2C-11CF-8E41-00805F2C6A190}#4.0#0\"; \"VIRA32.OCX\"", kTargetRef},
       {"Object=\"{7D4E5B34-1A2C-11CF-8E41-00805F2C6A19}#4.0#0\"; \"VIRA32.OCX\"",
        "Object  = \"{7D4E5B34-1A2C-11CF-8E41-00805F2C6A19}#4.0#0\"; \"VIRA32.OCX\"",
        " Object = \"{7D4E5B34-1A2C-11CF-8E41-00805F2C6A19}#4.0#0\"; \"VIRA32.OCX\"",
        "Object = \"{7D4E5B34-1A2C-11CF-8E41-00805F2C6A190}#4.0#0\"; \"VIRA32.OCX\"", kTargetRef},
       kUnchanged},
  };
  for (const Case& c : cases) {
    run = work.Fresh();
    ASSERT_EQ(Convert(VbSixForm(c.before), frx), c.result)
        << c.what << ": " << run->result.failure_reason;
    EXPECT_EQ(ConvertedText(), VbSixForm(c.after)) << c.what;
    EXPECT_EQ(run->result.changed_lines[form_path], c.result == kChanged ? 1 : 0) << c.what;
  }
}

TEST_F(FormFileTest, ReferenceLinesBelowTheFirstBeginStay) {
  std::string form =
      Lines({"VERSION 5.00", kTargetRef, "  begin VB.Form Form1 ", kSourceRef, "End", kSourceRef});
  EXPECT_EQ(Convert(form, frx), kUnchanged);
  EXPECT_EQ(ConvertedText(), form);
}

TEST_F(FormFileTest, SameSourceAndTargetKeepsOneReferenceLine) {
  EXPECT_EQ(Convert(VbSixForm({kOlderTargetRef, kTargetRef}), frx, kVireoPro, kVireoPro), kChanged);
  EXPECT_EQ(ConvertedText(), VbSixForm({kTargetRef}));
}

TEST_F(FormFileTest, AVbSixFormWithLbRecords) {
  std::string form =
      Lines({"VERSION 5.00", kSourceRef, "Begin VB.Form Form1 ",
             "   Begin VireoCore.VireoCtl Grid1 ", "      OleObjectBlob   =   \"Form1.frx\":0000",
             "   End", "   Begin VireoCore.VireoDropDown Drop1 ",
             "      OleObjectBlob   =   \"Form1.frx\":0028", "   End", "End"});
  std::string binary =
      LbRecord(GuidBytes(2, "CLSID_MsPlover")) + LbRecord(GuidBytes(2, "CLSID_VireoDrop")) + "x";
  ASSERT_EQ(Convert(form, binary), kChanged) << run->result.failure_reason;
  EXPECT_EQ(
      ConvertedText(),
      Lines({"VERSION 5.00", kTargetRef, "Begin VB.Form Form1 ",
             "   Begin VireoCore45.VireoCtl Grid1 ", "      OleObjectBlob   =   \"Form1.frx\":0000",
             "   End", "   Begin VireoCore45.VireoDropDown Drop1 ",
             "      OleObjectBlob   =   \"Form1.frx\":0028", "   End", "End"}));
  EXPECT_EQ(ConvertedBinary(), LbRecord(GuidBytes(5, "CLSID_MsPlover")) +
                                   LbRecord(GuidBytes(5, "CLSID_VireoDrop")) + "x");
  EXPECT_EQ(run->result.changed_lines[form_path], 3);
}

TEST_F(FormFileTest, LookingAheadForTheSourceReferenceCanFail) {
  form_path = project.Write("Form1.frm", VbSixForm({kTargetRef, kSourceRef}));
  frx_path = project.Write("Form1.frx", frx);
  int second_open = 0;
  {
    testing::FaultyFileSystem watcher;
    watcher.Watch("Open", "Form1.frm");
    ScopedFileSystem scope(watcher);
    ASSERT_EQ(ConvertFormFile(*run, form_path, frx_path, kVireo40, kVireoPro), kChanged);
    EXPECT_EQ(ConvertedText(), VbSixForm({kTargetRef}));
    second_open = watcher.last_watched();
    ASSERT_GT(second_open, watcher.first_watched());
  }
  run = work.Fresh();
  testing::FaultyFileSystem faulty;
  faulty.FailNth(second_open, std::errc::io_error);
  ScopedFileSystem scope(faulty);
  EXPECT_EQ(ConvertFormFile(*run, form_path, frx_path, kVireo40, kVireoPro), kFailed);
  EXPECT_NE(run->result.failure_reason.find("Form1.frm: cannot be opened again"), std::string::npos)
      << run->result.failure_reason;
}

TEST(RecordControlNameTest, TheNameIsTheTextAfterTheSecondSpace) {
  FillGridCatalogue();
  testing::ConverterWork work;
  std::unique_ptr<FileWork> run = work.Fresh();
  RecordControlName(*run, "   Begin VireoCore.VireoCtl   ", kVireo40);
  RecordControlName(*run, "  Begin VireoCore.VireoCtl My Grid ", kVireo40);
  RecordControlName(*run, "Begin VireoCore.VireoDropDown D", kVireo40);
  EXPECT_EQ(run->GridControlNames,
            (std::vector<std::string>{"Begin VireoCore.VireoCtl", "My Grid"}));
  EXPECT_EQ(run->DropDownControlNames, std::vector<std::string>{"D"});
}

}  // namespace
}  // namespace vireo
