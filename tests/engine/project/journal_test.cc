#include "engine/project/journal.h"

#include <gtest/gtest.h>

#include "support/test_files.h"

namespace vireo {
namespace {

using testing::ReadFile;
using testing::WriteFile;

class JournalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    project_file = dir.Write("P.vbp", "new project");
    // One original already replaced, one still staged.
    a = dir.Write("a.bas", "new a");
    dir.Write(".a.bas.vr5old", "old a");
    b = dir.Write("b bas\t%.bas", "old b");
    dir.Write(".b bas\t%.bas.vr5new", "new b");
    dir.Write(".b bas\t%.bas.vr5old", "old b");
    journal.entries = {Entry(a, "old a", "new a"), Entry(b, "old b", "new b")};
  }
  JournalEntry Entry(const std::string& original, const std::string& old_bytes,
                     const std::string& new_bytes) {
    std::string folder = dir.path() + "/";
    std::string name = original.substr(folder.size());
    JournalEntry entry{original, folder + "." + name + ".vr5new", folder + "." + name + ".vr5old"};
    entry.old_checksum = Checksum(old_bytes);
    entry.new_checksum = Checksum(new_bytes);
    return entry;
  }
  uint64_t Checksum(const std::string& bytes) {
    std::string path = scratch.Write("sum", bytes);
    uint64_t sum = 0;
    EXPECT_FALSE(FileChecksum(path, &sum));
    return sum;
  }

  testing::ScratchDir dir, scratch;
  std::string project_file, a, b;
  Journal journal;
};

TEST_F(JournalTest, WritesAndReadsBackPathsWithTabsAndPercents) {
  ASSERT_FALSE(WriteJournal(JournalPathFor(project_file), journal));
  Journal read;
  std::string problem;
  ASSERT_TRUE(ReadJournal(JournalPathFor(project_file), &read, &problem)) << problem;
  ASSERT_EQ(read.entries.size(), 2u);
  EXPECT_EQ(read.entries[1].original, b);
  EXPECT_EQ(read.entries[1].new_checksum, journal.entries[1].new_checksum);
  EXPECT_EQ(read.state, JournalState::kCommitting);
}

TEST_F(JournalTest, ACommittingJournalIsFinished) {
  ASSERT_FALSE(WriteJournal(JournalPathFor(project_file), journal));
  ASSERT_TRUE(HasInterruptedCommit(project_file));
  RecoveryOutcome outcome = RecoverInterruptedCommit(project_file);
  EXPECT_EQ(outcome.result, RecoveryResult::kFinished) << outcome.message;
  EXPECT_EQ(ReadFile(a), "new a");
  EXPECT_EQ(ReadFile(b), "new b");
  EXPECT_EQ(testing::CountFilesWithPrefix(dir.path(), "."), 0);
  EXPECT_FALSE(HasInterruptedCommit(project_file));
}

TEST_F(JournalTest, ARollingBackJournalIsUndone) {
  journal.state = JournalState::kRollingBack;
  ASSERT_FALSE(WriteJournal(JournalPathFor(project_file), journal));
  RecoveryOutcome outcome = RecoverInterruptedCommit(project_file);
  EXPECT_EQ(outcome.result, RecoveryResult::kUndone) << outcome.message;
  EXPECT_EQ(ReadFile(a), "old a");
  EXPECT_EQ(ReadFile(b), "old b");
  EXPECT_EQ(testing::CountFilesWithPrefix(dir.path(), "."), 0);
}

TEST_F(JournalTest, AMissingStagedFileMeansUndo) {
  ::unlink((dir.path() + "/.b bas\t%.bas.vr5new").c_str());
  ASSERT_FALSE(WriteJournal(JournalPathFor(project_file), journal));
  EXPECT_EQ(RecoverInterruptedCommit(project_file).result, RecoveryResult::kUndone);
  EXPECT_EQ(ReadFile(a), "old a");
}

TEST_F(JournalTest, ADamagedJournalIsKeptAndNothingMoves) {
  ASSERT_FALSE(WriteJournal(JournalPathFor(project_file), journal));
  std::string text = ReadFile(JournalPathFor(project_file));
  text[20] ^= 1;
  WriteFile(JournalPathFor(project_file), text);
  RecoveryOutcome outcome = RecoverInterruptedCommit(project_file);
  EXPECT_EQ(outcome.result, RecoveryResult::kFailed);
  EXPECT_NE(outcome.message.find("is damaged"), std::string::npos);
  EXPECT_EQ(ReadFile(a), "new a");
  EXPECT_EQ(ReadFile(b), "old b");
  EXPECT_TRUE(HasInterruptedCommit(project_file));
}

TEST_F(JournalTest, AnOriginalThatIsNeitherStopsRecovery) {
  WriteFile(a, "edited since");
  ::unlink((dir.path() + "/.a.bas.vr5old").c_str());
  ::unlink((dir.path() + "/.b bas\t%.bas.vr5new").c_str());
  ASSERT_FALSE(WriteJournal(JournalPathFor(project_file), journal));
  RecoveryOutcome outcome = RecoverInterruptedCommit(project_file);
  EXPECT_EQ(outcome.result, RecoveryResult::kFailed);
  EXPECT_NE(outcome.message.find("a.bas: cannot be brought back"), std::string::npos);
  EXPECT_EQ(ReadFile(a), "edited since");
}

TEST_F(JournalTest, NoJournalNothingToDo) {
  EXPECT_EQ(RecoverInterruptedCommit(project_file).result, RecoveryResult::kNothingToDo);
}

}  // namespace
}  // namespace vireo
