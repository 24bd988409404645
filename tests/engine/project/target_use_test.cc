#include "engine/project/target_use.h"

#include <gtest/gtest.h>

#include "engine/project/project_file.h"
#include "support/test_files.h"

namespace vireo {
namespace {

class TargetUseTest : public ::testing::Test {
 protected:
  bool Uses(const std::string& text, int16_t from, int16_t to) {
    return UsesTargetType(dir.Write("F.frm", text), from, to);
  }
  testing::ScratchDir dir;
};

TEST_F(TargetUseTest, ADeclarationOfATargetTypeTellsWhenTheLibraryNamesDiffer) {
  EXPECT_TRUE(Uses("Dim S As VireoCore45.StyleDisp\r\n", 2, 5));
  EXPECT_TRUE(Uses("  Set C = New vireocore45.Columns\r\n", 2, 5));
  EXPECT_FALSE(Uses("Dim S As VireoCore.StyleDisp\r\n", 2, 5)) << "the source's own library";
  EXPECT_FALSE(Uses("'Dim S As VireoCore45.StyleDisp\r\n", 2, 5)) << "a comment";
  EXPECT_FALSE(Uses("Dim S As MyVireoCore45.StyleDisp\r\n", 2, 5)) << "another library";
  EXPECT_FALSE(Uses("X = \"VireoCore45.\"\r\n", 2, 5)) << "not a declaration";
  // Positions 2 and 4 share the library and class names: only GUIDs differ.
  EXPECT_FALSE(Uses("Dim S As VireoCore.StyleDisp\r\n", 2, 4));
}

TEST_F(TargetUseTest, AFormsObjectLineOrGridBeginLineTells) {
  EXPECT_TRUE(Uses(ObjectLineFor(4) + "\r\nBegin VB.Form F\r\n", 2, 4));
  EXPECT_FALSE(Uses(ObjectLineFor(2) + "\r\nBegin VB.Form F\r\n", 2, 4));
  EXPECT_TRUE(Uses("Begin VB.Form F\r\n   Begin VireoCore45.VireoCtl G\r\n", 2, 5));
  EXPECT_FALSE(Uses("Begin VB.Form F\r\n   Begin VireoCore.VireoCtl G\r\n", 2, 4));
  EXPECT_FALSE(UsesTargetType(dir.Join("missing.frm"), 2, 5));
}

}  // namespace
}  // namespace vireo
