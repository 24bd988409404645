#include "engine/project/project_guard.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "engine/project/journal.h"
#include "host/posix/path_resolver_posix.h"
#include "support/test_files.h"

namespace vireo {
namespace {

class ProjectGuardTest : public ::testing::Test {
 protected:
  void SetUp() override { project_file = dir.Write("P.vbp", "Module=M; M.bas\r\n"); }
  testing::ScratchDir dir;
  PosixPathResolver resolver;
  std::string project_file;
};

TEST_F(ProjectGuardTest, ASecondRunIsBusyWhileTheFirstHoldsTheProject) {
  ProjectGuard first, second;
  ASSERT_TRUE(first.Take(project_file, resolver, false).ok);
  for (bool dry_run : {false, true}) {
    GuardResult result = second.Take(project_file, resolver, dry_run);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.busy);
    EXPECT_NE(result.problem.find("another conversion of this project is under way"),
              std::string::npos);
  }
}

TEST_F(ProjectGuardTest, OnlyADryRunGoesOnWithoutALock) {
  ASSERT_EQ(::mkdir((project_file + ".vr5lock").c_str(), 0755), 0);
  ProjectGuard real, dry;
  GuardResult refused = real.Take(project_file, resolver, false);
  EXPECT_FALSE(refused.ok);
  EXPECT_TRUE(refused.no_lock);
  EXPECT_FALSE(refused.busy);
  EXPECT_TRUE(dry.Take(project_file, resolver, true).ok);
}

TEST_F(ProjectGuardTest, ADryRunLeavesAWaitingJournalAlone) {
  std::string module = dir.Write("M.bas", "old");
  Journal journal;
  journal.token = NewRunToken();
  journal.entries = {{module, 1, 2}};
  ASSERT_FALSE(WriteJournal(JournalPathFor(project_file), journal));
  std::string before = testing::ReadFile(JournalPathFor(project_file));
  ProjectGuard dry;
  GuardResult result = dry.Take(project_file, resolver, true);
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.problem.find("run `vireo-migrate recover"), std::string::npos);
  EXPECT_EQ(testing::ReadFile(JournalPathFor(project_file)), before);
}

}  // namespace
}  // namespace vireo
