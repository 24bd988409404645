// The review page's parts: escaping of any bytes, the diff's rows, and what
// a long diff leaves out.
#include "cli/html_report.h"

#include <gtest/gtest.h>

namespace vireo {
namespace {

TEST(HtmlEscapedTest, MarkupIsTextAndEveryByteBecomesACharacter) {
  EXPECT_EQ(HtmlEscaped("<a href=\"x\">&'"), "&lt;a href=&quot;x&quot;&gt;&amp;&#39;");
  EXPECT_EQ(HtmlEscaped("Caf\xC3\xA9"), "Caf\xC3\xA9") << "UTF-8 stays";
  EXPECT_EQ(HtmlEscaped("Caf\xE9"), "Caf&#xE9;") << "an ANSI byte is read as Latin-1";
  EXPECT_EQ(HtmlEscaped(std::string("a\0b\x1b", 4)), "a&#xFFFD;b&#xFFFD;");
}

TEST(HighlightedVbTest, KeywordsStringsAndCommentsAreMarked) {
  EXPECT_EQ(HighlightedVb("Dim s As String ' <x>"),
            "<span class=\"k\">Dim</span> s <span class=\"k\">As</span> <span "
            "class=\"k\">String</span> <span class=\"c\">&#39; &lt;x&gt;</span>");
  EXPECT_EQ(HighlightedVb("x = \"Sub ' no\""),
            "x = <span class=\"s\">&quot;Sub &#39; no&quot;</span>");
  EXPECT_EQ(HighlightedVb("  Rem Dim"), "  <span class=\"c\">Rem Dim</span>");
  EXPECT_EQ(HighlightedVb("Remark = 1"), "Remark = 1");
}

ReviewPage PageWithDiff(const std::string& diff) {
  ReviewPage page;
  page.title = "t";
  ReviewProject& project = page.projects.emplace_back();
  project.path = "P.vbp";
  project.outcome = project.outcome_key = "converted";
  PreviewFile file;
  file.shown_path = "M.bas";
  file.differs = true;
  file.lines_changed = 1;
  file.diff = diff;
  project.preview.files.push_back(file);
  return page;
}

TEST(ReviewHtmlTest, MarkerAndOldTextRowsAreToldApartWithTheirLineNumbers) {
  std::string html = ReviewHtml(
      PageWithDiff("--- a/M.bas\n+++ b/M.bas\n@@ -1,2 +1,4 @@\n Option Explicit\n"
                   "+'*** ORYX Migration Utility Code Change ***\n+'Dim S As VireoCore.StyleDisp\n"
                   "-Dim S As VireoCore.StyleDisp\n+Dim S As VireoPro.StyleDisp\n"));
  EXPECT_NE(html.find("<tr class=\"ctx\"><td class=\"ln\">1</td><td class=\"ln\">1</td>"),
            std::string::npos);
  EXPECT_NE(html.find("<tr class=\"marker\"><td class=\"ln\"></td><td class=\"ln\">2</td>"),
            std::string::npos);
  EXPECT_NE(html.find("<tr class=\"old\"><td class=\"ln\"></td><td class=\"ln\">3</td>"),
            std::string::npos);
  EXPECT_NE(html.find("<tr class=\"del\"><td class=\"ln\">2</td>"), std::string::npos);
  EXPECT_NE(html.find("<tr class=\"add\"><td class=\"ln\"></td><td class=\"ln\">4</td>"),
            std::string::npos);
  EXPECT_EQ(html.find("id=\"left-out\""), std::string::npos);
}

TEST(ReviewHtmlTest, ALongDiffIsFoldedAndThePageSaysWhatItLeftOut) {
  std::string diff = "--- a/M.bas\n+++ b/M.bas\n@@ -1,0 +1,500 @@\n";
  for (int i = 0; i < 500; ++i) diff += "+x\n";
  ReviewPage page = PageWithDiff(diff);
  page.file_diff_lines = 100;
  std::string html = ReviewHtml(page);
  EXPECT_NE(html.find("401 more diff lines left out"), std::string::npos);
  EXPECT_NE(html.find("Left out of this page: 401 diff lines of 1 files"), std::string::npos);
}

}  // namespace
}  // namespace vireo
