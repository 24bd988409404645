#include "engine/project/early_seals.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/faulty_file_system.h"
#include "support/test_files.h"

namespace vireo {
namespace {

class EarlySealsTest : public ::testing::Test {
 protected:
  // An original (mode 0640) and its copy beside it (0600, as copies are made).
  StagedCopy Copy(const std::string& name, bool same = false, bool known = true) {
    std::string original = folder.Write(name, "old");
    std::string copy = folder.Write("." + name + ".new", "new");
    ::chmod(original.c_str(), 0640);
    ::chmod(copy.c_str(), 0600);
    CopyFacts facts;
    facts.same = same;
    facts.new_known = known;
    return {original, copy, false, facts};
  }
  static unsigned Mode(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
  }

  testing::ScratchDir folder;
  testing::FaultyFileSystem files;
};

TEST_F(EarlySealsTest, OnlyChangedCopiesWrittenToTheirEndAreSealed) {
  ScopedFileSystem scoped(files);
  EarlySeals seals;
  seals.BeginWith(1);
  StagedCopy changed = Copy("a.bas"), same = Copy("b.bas", true),
             unknown = Copy("c.bas", false, false);
  for (const StagedCopy& copy : {changed, same, unknown}) seals.Add(copy);
  EXPECT_EQ(seals.Finish(), std::set<std::string>{changed.copy});
  EXPECT_EQ(Mode(changed.copy), 0640u) << "the original's permissions";
  EXPECT_EQ(Mode(same.copy), 0600u);
  EXPECT_EQ(Mode(unknown.copy), 0600u);
}

// The commit seals those itself.
TEST_F(EarlySealsTest, ACopyWrittenAgainOrNotSealedIsNotCounted) {
  files.FailWhen("Open", ".b.bas.new", std::errc::io_error);
  ScopedFileSystem scoped(files);
  EarlySeals seals;
  seals.BeginWith(1);
  StagedCopy again = Copy("a.bas"), failing = Copy("b.bas"), kept = Copy("c.bas");
  seals.Add(again);
  seals.Distrust(again.copy);
  seals.Add(again);
  seals.Add(failing);
  seals.Add(kept);
  EXPECT_EQ(seals.Finish(), std::set<std::string>{kept.copy});
  EXPECT_EQ(seals.Finish(), std::set<std::string>{kept.copy}) << "asked again";
  seals.Add(Copy("d.bas"));
  EXPECT_EQ(seals.Finish(), std::set<std::string>{kept.copy}) << "nothing is sealed after";
}

// Sealed copies are synced together when the conversion ends; one whose
// sync fails must be left to the commit, which would otherwise skip it.
TEST_F(EarlySealsTest, ACopyWhoseSyncFailsIsNotCounted) {
  files.FailWhen("Sync", "", std::errc::io_error);
  ScopedFileSystem scoped(files);
  EarlySeals seals;
  seals.BeginWith(1);
  StagedCopy copy = Copy("a.bas");
  seals.Add(copy);
  EXPECT_TRUE(seals.Finish().empty());
  EXPECT_EQ(Mode(copy.copy), 0640u) << "sealed, but not synced";
  EXPECT_GT(files.failures(), 0);
}

// A run of few copies leaves them to the commit, which syncs them together.
TEST_F(EarlySealsTest, SealingBeginsWithTheCopyItIsSetTo) {
  ScopedFileSystem scoped(files);
  EarlySeals few, many;
  few.BeginWith(3);
  many.BeginWith(3);
  std::set<std::string> all;
  for (const char* name : {"a.bas", "b.bas", "c.bas"}) {
    StagedCopy copy = Copy(name);
    if (all.size() < 2) few.Add(copy);
    many.Add(copy);
    all.insert(copy.copy);
  }
  EXPECT_TRUE(few.Finish().empty());
  EXPECT_EQ(many.Finish(), all) << "the copies before the third are sealed too";
  EarlySeals never;
  never.BeginWith(0);
  never.Add(Copy("d.bas"));
  EXPECT_TRUE(never.Finish().empty());
}

}  // namespace
}  // namespace vireo
