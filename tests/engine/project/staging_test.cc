#include "engine/project/staging.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>

#include "engine/project/journal.h"
#include "engine/project/recovery.h"
#include "host/posix/path_resolver_posix.h"
#include "support/test_files.h"

namespace vireo {
namespace {

class StagingTest : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("TMPDIR", temp_dir.path().c_str(), 1); }
  void TearDown() override { ::unsetenv("TMPDIR"); }

  std::string Make(Staging& staging, const std::string& original) {
    std::string path, reason;
    FileHandle file = -1;
    EXPECT_TRUE(staging.MakeCopy(original, &path, &file, &reason)) << reason;
    Files().Close(file);
    return path;
  }
  // A project listing one module, and the module.
  std::string WriteProject() {
    project.Write("M.bas", "Attribute VB_Name = \"M\"\r\n");
    return project.Write("P.vbp", "Module=M; M.bas\r\n");
  }

  testing::ScratchDir temp_dir, project;
};

TEST_F(StagingTest, CopiesOfARunNotBegunAreNewPrivateFilesInTheTemporaryFolder) {
  std::set<std::string> names;
  {
    Staging staging;
    for (int i = 0; i < 200; ++i) {
      std::string path = Make(staging, "original" + std::to_string(i));
      EXPECT_EQ(path.rfind(temp_dir.path() + "/vr5", 0), 0u) << path;
      struct stat st;
      ASSERT_EQ(::stat(path.c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 0777, 0600u);
      EXPECT_EQ(st.st_size, 0);
      names.insert(path);
    }
    EXPECT_EQ(names.size(), 200u);
    EXPECT_EQ(testing::CountFilesWithPrefix(temp_dir.path(), "vr5"), 200);
  }
  EXPECT_EQ(testing::CountFilesWithPrefix(temp_dir.path(), "vr5"), 0)
      << "a staging that was not committed deletes its copies";
}

TEST_F(StagingTest, WithoutTmpdirTheSystemFolderIsUsed) {
  ::unsetenv("TMPDIR");
  Staging staging;
  EXPECT_EQ(Make(staging, "original").rfind("/tmp/vr5", 0), 0u);
}

TEST_F(StagingTest, AMissingFolderFailsWithAReason) {
  ::setenv("TMPDIR", temp_dir.Join("gone").c_str(), 1);
  Staging staging;
  std::string path, reason;
  FileHandle file = -1;
  EXPECT_FALSE(staging.MakeCopy("Form1.frm", &path, &file, &reason));
  EXPECT_NE(reason.find("Form1.frm: cannot create a temporary file in"), std::string::npos);
}

TEST_F(StagingTest, ABegunStagingJournalsAndCopiesBesideTheOriginalsUntilDestroyed) {
  std::string project_file = WriteProject();
  {
    Staging staging;
    ASSERT_TRUE(staging.Begin({project_file}, PosixPathResolver(), {})) << staging.failure_reason();
    EXPECT_TRUE(HasInterruptedCommit(project_file));
    std::string first = Make(staging, project.Join("M.bas"));
    EXPECT_EQ(first.rfind(project.path() + "/", 0), 0u) << first;
    testing::WriteFile(first, "first");
    // The same file again: the last copy counts, the first is gone.
    std::string second = Make(staging, project.Join("M.bas"));
    EXPECT_EQ(second, first);
    EXPECT_EQ(testing::ReadFile(second), "");
    staging.Drop(project.Join("M.bas"));
    EXPECT_FALSE(testing::FileExists(second));
    Make(staging, project.Join("M.bas"));
  }
  EXPECT_FALSE(HasInterruptedCommit(project_file));
  EXPECT_EQ(testing::CountFilesWithPrefix(project.path(), "."), 0)
      << "no copy or journal outlives a staging that was not committed";
}

TEST_F(StagingTest, CommitPutsReadyCopiesInPlaceAndDeletesTheOthers) {
  std::string project_file = WriteProject();
  project.Write("Other.bas", "old other\r\n");
  Staging staging;
  ASSERT_TRUE(staging.Begin({project_file}, PosixPathResolver(), {}));
  std::string copy = Make(staging, project.Join("M.bas"));
  testing::WriteFile(copy, "new\r\n");
  std::string unready = Make(staging, project.Join("Other.bas"));
  staging.Ready({{project.Join("M.bas"), copy, false, std::nullopt}});
  CommitOutcome outcome = staging.Commit();
  ASSERT_TRUE(outcome.ok) << outcome.reason;
  EXPECT_EQ(outcome.replaced, 1);
  EXPECT_EQ(testing::ReadFile(project.Join("M.bas")), "new\r\n");
  EXPECT_EQ(testing::ReadFile(project.Join("Other.bas")), "old other\r\n");
  EXPECT_FALSE(testing::FileExists(unready));
  EXPECT_FALSE(HasInterruptedCommit(project_file));
  EXPECT_EQ(testing::CountFilesWithPrefix(project.path(), "."), 0);
  EXPECT_TRUE(staging.Discard().empty()) << "a committed staging has nothing left to discard";
  EXPECT_EQ(testing::ReadFile(project.Join("M.bas")), "new\r\n");
}

}  // namespace
}  // namespace vireo
