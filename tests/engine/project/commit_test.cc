#include "engine/project/commit.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>

#include "engine/project/journal.h"
#include "engine/project/recovery.h"
#include "engine/project/staging.h"
#include "host/posix/path_resolver_posix.h"
#include "support/faulty_file_system.h"
#include "support/test_files.h"
#include "support/walk.h"

namespace vireo {
namespace {

using testing::ReadFile;

class CommitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("TMPDIR", temp_dir.path().c_str(), 1);
    for (int i = 0; i < 3; ++i) {
      // Appended piecewise: GCC 12 at -O3 warns falsely (-Wrestrict) about
      // "f" + std::to_string(i) + ".txt" inlined here.
      std::string name = "f";
      name += std::to_string(i);
      name += ".txt";
      originals.push_back(project.Write(name, "old " + name));
      std::string temp = temp_dir.Write("vr5" + name, "new " + name);
      run.push_back({originals.back(), temp, false, std::nullopt});
    }
  }
  void TearDown() override { ::unsetenv("TMPDIR"); }

  void ExpectAllOld() {
    for (int i = 0; i < 3; ++i)
      EXPECT_EQ(ReadFile(originals[i]), "old f" + std::to_string(i) + ".txt");
  }
  void ExpectNothingLeftBehind() {
    EXPECT_EQ(testing::CountFilesWithPrefix(temp_dir.path(), "vr5"), 0);
    EXPECT_EQ(testing::CountFilesWithPrefix(project.path(), "."), 0) << "staged or backup files";
  }

  testing::ScratchDir project, temp_dir;
  std::vector<StagedCopy> run;
  std::vector<std::string> originals;
};

TEST_F(CommitTest, ReplacesEveryOriginalAndKeepsPermissions) {
  ::chmod(originals[1].c_str(), 0640);
  CommitOutcome outcome = CommitCopies(run);
  ASSERT_TRUE(outcome.ok) << outcome.reason;
  EXPECT_EQ(outcome.replaced, 3);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(ReadFile(originals[i]), "new f" + std::to_string(i) + ".txt");
  struct stat st;
  ::stat(originals[1].c_str(), &st);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  ExpectNothingLeftBehind();
}

TEST_F(CommitTest, AnIdenticalCopyLeavesTheOriginalUntouched) {
  testing::WriteFile(run[0].copy, "old f0.txt");
  struct stat before;
  ::stat(originals[0].c_str(), &before);
  CommitOutcome outcome = CommitCopies(run);
  ASSERT_TRUE(outcome.ok);
  EXPECT_EQ(outcome.unchanged, 1);
  EXPECT_EQ(outcome.replaced, 2);
  struct stat after;
  ::stat(originals[0].c_str(), &after);
  EXPECT_EQ(before.st_ino, after.st_ino);
  EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);
}

TEST_F(CommitTest, AFileListedTwiceTakesItsLastCopy) {
  std::string temp = temp_dir.Write("vr5again", "newer f1.txt");
  run.push_back({originals[1], temp, false, std::nullopt});
  CommitOutcome outcome = CommitCopies(run);
  ASSERT_TRUE(outcome.ok) << outcome.reason;
  EXPECT_EQ(outcome.replaced, 3);
  EXPECT_EQ(ReadFile(originals[1]), "newer f1.txt");
  ExpectNothingLeftBehind();
}

TEST_F(CommitTest, AReadOnlyOriginalFailsTheWholeCommit) {
  ::chmod(originals[2].c_str(), 0444);
  CommitOutcome outcome = CommitCopies(run);
  EXPECT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.failed_file, originals[2]);
  EXPECT_NE(outcome.reason.find("is read-only"), std::string::npos);
  ExpectAllOld();
  ExpectNothingLeftBehind();
}

TEST_F(CommitTest, AReadOnlyFolderFailsTheWholeCommit) {
  ::chmod(project.path().c_str(), 0555);
  CommitOutcome outcome = CommitCopies(run);
  ::chmod(project.path().c_str(), 0755);
  EXPECT_FALSE(outcome.ok);
  EXPECT_NE(outcome.reason.find("is read-only"), std::string::npos) << outcome.reason;
  ExpectAllOld();
  ExpectNothingLeftBehind();
}

TEST_F(CommitTest, AMissingOriginalFailsTheWholeCommit) {
  ::unlink(originals[1].c_str());
  CommitOutcome outcome = CommitCopies(run);
  EXPECT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.failed_file, originals[1]);
  EXPECT_EQ(ReadFile(originals[0]), "old f0.txt");
  EXPECT_EQ(ReadFile(originals[2]), "old f2.txt");
  ExpectNothingLeftBehind();
}

TEST_F(CommitTest, ARenameThatFailsRestoresTheOriginalsAlreadyReplaced) {
  testing::FaultyFileSystem faulty;
  faulty.FailWhen("Rename", "f2.txt", std::errc::io_error);
  ScopedFileSystem scope(faulty);
  CommitOutcome outcome = CommitCopies(run);
  EXPECT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.failed_file, originals[2]);
  ExpectAllOld();
  ExpectNothingLeftBehind();
}

// Fails every file operation of a commit in turn, with every kind of error.
TEST_F(CommitTest, AFailureAtAnyStepLeavesEveryOriginalOld) {
  int steps = 0;
  {
    testing::FaultyFileSystem counter;
    ScopedFileSystem scope(counter);
    std::vector<StagedCopy> copy = run;
    // Count on a copy of the same plan, then put the temporary files back.
    std::vector<std::string> contents;
    for (const StagedCopy& temp : run) contents.push_back(ReadFile(temp.copy));
    ASSERT_TRUE(CommitCopies(copy).ok);
    steps = counter.operations();
    for (size_t i = 0; i < originals.size(); ++i) {
      testing::WriteFile(originals[i], "old f" + std::to_string(i) + ".txt");
      testing::WriteFile(run[i].copy, contents[i]);
    }
  }
  ASSERT_GT(steps, 20);
  for (std::errc error :
       {std::errc::no_space_on_device, std::errc::io_error, std::errc::permission_denied}) {
    for (int step = 1; step <= steps; ++step) {
      std::vector<StagedCopy> attempt = run;
      std::vector<std::string> contents;
      for (const StagedCopy& temp : run) contents.push_back(ReadFile(temp.copy));
      testing::FaultyFileSystem faulty;
      faulty.FailNth(step, error);
      CommitOutcome outcome;
      {
        ScopedFileSystem scope(faulty);
        outcome = CommitCopies(attempt);
      }
      bool all_new = true, all_old = true;
      for (size_t i = 0; i < originals.size(); ++i) {
        std::string now = ReadFile(originals[i]);
        all_new = all_new && now == "new f" + std::to_string(i) + ".txt";
        all_old = all_old && now == "old f" + std::to_string(i) + ".txt";
      }
      if (outcome.ok) {
        EXPECT_TRUE(all_new) << "step " << step;
      } else {
        EXPECT_TRUE(all_old) << "step " << step << ": " << outcome.reason;
      }
      // Only a file whose deletion was the failing step may stay, and it is reported.
      int left = testing::CountFilesWithPrefix(project.path(), ".") +
                 testing::CountFilesWithPrefix(temp_dir.path(), "vr5");
      EXPECT_EQ(left, static_cast<int>(outcome.leftovers.size())) << "step " << step;
      EXPECT_LE(left, faulty.last_failure() == "Remove" ? 1 : 0) << "step " << step;
      for (const std::string& path : outcome.leftovers) ::unlink(path.c_str());
      // Put the project and the temporary files back for the next step.
      for (size_t i = 0; i < originals.size(); ++i) {
        testing::WriteFile(originals[i], "old f" + std::to_string(i) + ".txt");
        testing::WriteFile(run[i].copy, contents[i]);
      }
    }
  }
}

// A run that commits writes its copies beside the originals: the commit only
// renames them, and keeps the old bytes under a second name of the original.
class StagingBesideTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("TMPDIR", temp_dir.path().c_str(), 1);
    project_file = project.Write("P.vbp", "Module=A; a.bas\r\nModule=B; b.bas\r\n");
    a = project.Write("a.bas", "old a");
    b = project.Write("b.bas", "old b");
    ASSERT_TRUE(staging.Begin({project_file}, resolver, HoldPolicy{})) << staging.failure_reason();
  }
  void TearDown() override { ::unsetenv("TMPDIR"); }

  std::string Copy(const std::string& original, const std::string& bytes) {
    std::string temp, reason;
    FileHandle file = -1;
    EXPECT_TRUE(staging.MakeCopy(original, &temp, &file, &reason)) << reason;
    Files().Write(file, bytes.data(), bytes.size());
    Files().Close(file);
    std::erase_if(ready, [&](const StagedCopy& c) { return c.copy == temp; });
    ready.push_back({original, temp, false, std::nullopt});
    return temp;
  }
  CommitOutcome Commit() {
    staging.Ready(ready);
    return staging.Commit();
  }
  int OursLeft() {
    return testing::CountFilesWithPrefix(project.path(), ".") +
           testing::CountFilesWithPrefix(project.path(), "P.vbp.vr5") +
           testing::CountFilesWithPrefix(temp_dir.path(), "vr5");
  }

  testing::ScratchDir project, temp_dir;
  PosixPathResolver resolver;
  Staging staging;
  std::vector<StagedCopy> ready;
  std::string project_file, a, b;
};

TEST_F(StagingBesideTest, CopiesLieBesideTheirOriginalsUnderTheJournalsToken) {
  Journal journal;
  std::string problem;
  ASSERT_TRUE(ReadJournal(JournalPathFor(project_file), &journal, &problem)) << problem;
  EXPECT_EQ(journal.state, JournalState::kStaging);
  EXPECT_EQ(journal.entries.size(), 3u) << "the project file and both modules";
  EXPECT_EQ(Copy(a, "new a"), StagedPathFor(a, journal.token));
  EXPECT_EQ(testing::CountFilesWithPrefix(temp_dir.path(), "vr5"), 0);
  struct stat st;
  ASSERT_EQ(::stat(StagedPathFor(a, journal.token).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  // The same file listed again: its last copy counts, the first is gone.
  Copy(a, "newer a");
  EXPECT_EQ(testing::CountFilesWithPrefix(project.path(), "."), 1);
  EXPECT_EQ(ReadFile(StagedPathFor(a, journal.token)), "newer a");
}

TEST_F(StagingBesideTest, TheCommitRenamesTheCopiesAndKeepsOldBytesByALink) {
  ::chmod(a.c_str(), 0640);
  Copy(a, "new a");
  Copy(b, "old b");  // unchanged: dropped, never written over b
  struct stat b_before;
  ::stat(b.c_str(), &b_before);
  testing::FaultyFileSystem watcher;
  watcher.Watch("Link", ".vr5old.");
  CommitOutcome outcome;
  {
    ScopedFileSystem scope(watcher);
    outcome = Commit();
  }
  ASSERT_TRUE(outcome.ok) << outcome.reason;
  EXPECT_EQ(outcome.replaced, 1);
  EXPECT_EQ(outcome.unchanged, 1);
  EXPECT_GT(watcher.first_watched(), 0) << "the old bytes were copied, not linked";
  EXPECT_EQ(ReadFile(a), "new a");
  struct stat st;
  ::stat(a.c_str(), &st);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(st.st_nlink, 1u);
  struct stat b_after;
  ::stat(b.c_str(), &b_after);
  EXPECT_EQ(b_before.st_ino, b_after.st_ino);
  EXPECT_EQ(OursLeft(), 0);
  EXPECT_TRUE(outcome.leftovers.empty());
}

TEST_F(StagingBesideTest, WithoutHardLinksTheOldBytesAreCopied) {
  Copy(a, "new a");
  testing::FaultyFileSystem no_links;
  no_links.FailWhen("Link", "", std::errc::operation_not_permitted);
  ScopedFileSystem scope(no_links);
  CommitOutcome outcome = Commit();
  ASSERT_TRUE(outcome.ok) << outcome.reason;
  EXPECT_EQ(ReadFile(a), "new a");
  EXPECT_EQ(OursLeft(), 0);
}

TEST_F(StagingBesideTest, DiscardingRemovesTheCopiesAndTheJournal) {
  Copy(a, "new a");
  Copy(b, "new b");
  EXPECT_TRUE(staging.Discard().empty());
  EXPECT_EQ(ReadFile(a), "old a");
  EXPECT_EQ(ReadFile(b), "old b");
  EXPECT_EQ(OursLeft(), 0);
}

// A file listed under two names that are hard links is journaled under the
// first and committed by the last; a crash at any step of the commit leaves
// nothing that recovery cannot find.
TEST_F(StagingBesideTest, ACrashWhileCommittingALinkedNameLeavesNothingBehind) {
  staging.Discard();
  auto commit_by_second_name = [&](FileSystem* files) {
    testing::WriteFile(a, "old a");
    ::unlink(b.c_str());
    ::link(a.c_str(), b.c_str());
    Staging linked;
    EXPECT_TRUE(linked.Begin({project_file}, resolver, HoldPolicy{}));
    std::string copy, reason;
    FileHandle file = -1;
    EXPECT_TRUE(linked.MakeCopy(b, &copy, &file, &reason)) << reason;
    Files().Write(file, "new a", 5);
    Files().Close(file);
    linked.Ready({{b, copy, false, std::nullopt}});
    std::optional<ScopedFileSystem> scope;
    if (files) scope.emplace(*files);
    return linked.Commit().ok;
  };
  testing::FaultyFileSystem counter;
  ASSERT_TRUE(commit_by_second_name(&counter));
  int steps = counter.operations();
  for (int step = 1; step <= steps; ++step) {
    testing::ChildRun child = testing::CrashAt(
        step, [&](FileSystem& files) { return commit_by_second_name(&files) ? 0 : 1; });
    RecoveryOutcome recovered = RecoverInterruptedCommit(project_file, resolver);
    EXPECT_NE(recovered.result, RecoveryResult::kFailed) << recovered.message;
    std::string content = ReadFile(a);
    EXPECT_TRUE(content == "old a" || content == "new a") << "step " << step;
    EXPECT_EQ(OursLeft(), 0) << "step " << step << (child.crashed() ? " (crashed)" : "");
    for (const auto& entry : std::filesystem::directory_iterator(project.path())) {
      if (entry.path().filename().string()[0] == '.') std::filesystem::remove(entry.path());
    }
  }
}

}  // namespace
}  // namespace vireo
