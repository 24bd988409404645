#include "cli/preview.h"

#include <gtest/gtest.h>

#include "support/faulty_file_system.h"
#include "support/test_files.h"

namespace vireo {
namespace {

using testing::CrLf;

class PreviewTest : public ::testing::Test {
 protected:
  // Records a pair whose original lies in the project folder.
  std::string AddPair(const std::string& name, const std::string& old_content,
                      const std::string& new_content, bool binary = false) {
    std::string original = project.Write(name, old_content);
    std::string temp = temp_dir.Write("vr5" + std::to_string(run.copies.size()), new_content);
    run.copies.push_back({original, temp, binary, std::nullopt});
    return original;
  }
  void AddGuid(const std::string& file, int64_t record, int64_t at, const std::string& role) {
    run.guid_replacements.push_back({file, record, at, role, "OLD-" + role, "NEW-" + role, "VB4"});
  }
  // A form with one changed line and two records, three GUIDs in all; a module
  // left as it was.
  void AddSampleProject() {
    form = AddPair("Form1.frm", CrLf({"Begin SSGrid", "End"}), CrLf({"Begin VireoGrid", "End"}));
    run.changed_lines[form] = 1;
    frx =
        AddPair("Form1.frx", std::string("\x01\x02\x03", 3), std::string("\x01\x09\x03", 3), true);
    AddGuid(frx, 24, 40, "CLSID_Grid");
    AddGuid(frx, 24, 56, "IID_Events");
    AddGuid("elsewhere.frx", 24, 40, "CLSID_Grid");
    AddGuid(frx, 512, 530, "CLSID_Grid");
    module =
        AddPair("Module1.bas", CrLf({"Sub Main()", "End Sub"}), CrLf({"Sub Main()", "End Sub"}));
  }

  testing::ScratchDir project, temp_dir;
  RunChanges run;
  std::string form, frx, module;
};

TEST_F(PreviewTest, OneEntryPerPairWithItsDifferenceAndCounts) {
  AddSampleProject();
  Preview preview = BuildPreview(run, {project.path(), false});
  ASSERT_EQ(preview.files.size(), 3u);

  const PreviewFile& text = preview.files[0];
  EXPECT_EQ(text.path, form);
  EXPECT_EQ(text.shown_path, "Form1.frm");
  EXPECT_FALSE(text.binary);
  EXPECT_TRUE(text.differs);
  EXPECT_EQ(text.lines_changed, 1);
  EXPECT_TRUE(text.diff.empty()) << "no diff without the option";

  const PreviewFile& binary = preview.files[1];
  EXPECT_TRUE(binary.binary);
  EXPECT_TRUE(binary.differs);
  ASSERT_EQ(binary.records.size(), 2u);
  EXPECT_EQ(binary.records[0].record_offset, 24);
  ASSERT_EQ(binary.records[0].replacements.size(), 2u);
  EXPECT_EQ(binary.records[0].replacements[1].role, "IID_Events");
  EXPECT_EQ(binary.records[1].record_offset, 512);
  EXPECT_EQ(binary.GuidCount(), 3);

  EXPECT_FALSE(preview.files[2].differs);
  EXPECT_EQ(preview.files[2].lines_changed, 0);
}

TEST_F(PreviewTest, BytesThatDifferOnlyInLineEndsAreNoChange) {
  AddPair("Module1.bas", "Sub Main()\nEnd Sub\n", CrLf({"Sub Main()", "End Sub"}));
  Preview preview = BuildPreview(run, {project.path(), true});
  ASSERT_EQ(preview.files.size(), 1u);
  EXPECT_FALSE(preview.files[0].differs) << "the commit leaves such a file as it is";
  EXPECT_EQ(preview.files[0].diff, "");
}

TEST_F(PreviewTest, SummaryHasOneLinePerFile) {
  AddSampleProject();
  EXPECT_EQ(RenderPreview(run, project.path(), false),
            "changed   Form1.frm: 1 line changed\n"
            "changed   Form1.frx: 3 GUIDs replaced in 2 records\n"
            "unchanged Module1.bas: 0 lines changed\n");
}

TEST_F(PreviewTest, DiffOptionAddsTextDiffsAndOneLinePerGuid) {
  AddSampleProject();
  Preview preview = BuildPreview(run, {project.path(), true});
  EXPECT_EQ(preview.files[1].diff, "") << "binary files get no text diff";
  EXPECT_EQ(FormatPreview(preview),
            "changed   Form1.frm: 1 line changed\n"
            "changed   Form1.frx: 3 GUIDs replaced in 2 records\n"
            "unchanged Module1.bas: 0 lines changed\n"
            "\n"
            "--- a/Form1.frm\n"
            "+++ b/Form1.frm\n"
            "@@ -1,2 +1,2 @@\n"
            "-Begin SSGrid\n"
            "+Begin VireoGrid\n"
            " End\n"
            "\n"
            "Form1.frx offset 40: CLSID_Grid OLD-CLSID_Grid -> NEW-CLSID_Grid\n"
            "Form1.frx offset 56: IID_Events OLD-IID_Events -> NEW-IID_Events\n"
            "Form1.frx offset 530: CLSID_Grid OLD-CLSID_Grid -> NEW-CLSID_Grid\n");
}

TEST_F(PreviewTest, SingularCountsAndPathsOutsideTheBase) {
  std::string frx_path = AddPair("a.frx", "x", "y", true);
  AddGuid(frx_path, 0, 8, "CLSID_Grid");
  Preview preview = BuildPreview(run, {"/elsewhere", false});
  EXPECT_EQ(FormatPreview(preview), "changed   " + frx_path + ": 1 GUID replaced in 1 record\n");
}

TEST_F(PreviewTest, AFileThatCannotBeReadIsReportedNotFatal) {
  AddPair("Form1.frm", "a\r\n", "b\r\n");
  AddPair("Module1.bas", "a\r\n", "a\r\n");
  testing::FaultyFileSystem files;
  files.FailWhen("Open", "Form1.frm", std::errc::permission_denied);
  ScopedFileSystem scoped(files);
  for (bool diff : {false, true}) {
    Preview preview = BuildPreview(run, {project.path(), diff});
    ASSERT_EQ(preview.files.size(), 2u);
    EXPECT_FALSE(preview.files[0].error.empty());
    EXPECT_TRUE(preview.files[1].error.empty());
    std::string text = FormatPreview(preview);
    EXPECT_EQ(text.rfind("error     Form1.frm: cannot compare (", 0), 0u) << text;
    EXPECT_NE(text.find("unchanged Module1.bas"), std::string::npos);
  }
}

TEST(ShownPathTest, RelativeOnlyInsideTheBaseFolder) {
  EXPECT_EQ(ShownPath("/p/proj/Form1.frm", "/p/proj"), "Form1.frm");
  EXPECT_EQ(ShownPath("/p/proj/sub/Form1.frm", "/p/proj/"), "sub/Form1.frm");
  EXPECT_EQ(ShownPath("/p/project/Form1.frm", "/p/proj"), "/p/project/Form1.frm");
  EXPECT_EQ(ShownPath("/q/Form1.frm", "/p/proj"), "/q/Form1.frm");
  EXPECT_EQ(ShownPath("/p/proj", "/p/proj"), "/p/proj");
  EXPECT_EQ(ShownPath("/p/proj/Form1.frm", ""), "/p/proj/Form1.frm");
  EXPECT_EQ(ShownPath("/Form1.frm", "/"), "Form1.frm");
  EXPECT_EQ(ShownPath("C:\\VB\\PROJ\\FORM1.FRM", "C:\\VB\\PROJ"), "FORM1.FRM");
}

}  // namespace
}  // namespace vireo
