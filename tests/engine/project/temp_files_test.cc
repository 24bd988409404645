#include "engine/project/temp_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>

#include "support/test_files.h"

namespace vireo {
namespace {

class TempFilesTest : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("TMPDIR", temp_dir.path().c_str(), 1); }
  void TearDown() override { ::unsetenv("TMPDIR"); }
  testing::ScratchDir temp_dir;
  ConversionRun run;
};

TEST_F(TempFilesTest, NamesAreNewPrivateAndBeginWithVr5) {
  std::set<std::string> names;
  for (int i = 0; i < 200; ++i) {
    std::string path;
    FileHandle path_file = -1;
    ASSERT_TRUE(MakeTempFile(run, "original", &path, &path_file));
    Files().Close(path_file);
    EXPECT_EQ(path.rfind(temp_dir.path() + "/vr5", 0), 0u) << path;
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(st.st_size, 0);
    names.insert(path);
    RecordPair(run, "original" + std::to_string(i), path);
  }
  EXPECT_EQ(names.size(), 200u);
  EXPECT_EQ(testing::CountFilesWithPrefix(temp_dir.path(), "vr5"), 200);
  EXPECT_TRUE(DiscardTempFiles(run).empty());
  EXPECT_TRUE(run.OriginalFiles.empty());
  EXPECT_EQ(testing::CountFilesWithPrefix(temp_dir.path(), "vr5"), 0);
}

TEST_F(TempFilesTest, WithoutTmpdirTheSystemFolderIsUsed) {
  ::unsetenv("TMPDIR");
  std::string path;
  FileHandle path_file = -1;
  ASSERT_TRUE(MakeTempFile(run, "original", &path, &path_file));
  Files().Close(path_file);
  EXPECT_EQ(path.rfind("/tmp/vr5", 0), 0u);
  ::unlink(path.c_str());
}

TEST_F(TempFilesTest, AMissingFolderFailsWithAReason) {
  ::setenv("TMPDIR", temp_dir.Join("gone").c_str(), 1);
  std::string path;
  FileHandle path_file = -1;
  EXPECT_FALSE(MakeTempFile(run, "Form1.frm", &path, &path_file));
  EXPECT_NE(run.failure_reason.find("Form1.frm: cannot create a temporary file in"),
            std::string::npos);
}

}  // namespace
}  // namespace vireo
