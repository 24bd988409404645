// The walk harness judges every walk: a state it calls "old" or "new" wrongly,
// or a child whose crash it misreads, would let a walk pass that should fail.
#include "support/walk.h"

#include <gtest/gtest.h>

#include "support/test_files.h"

namespace vireo::testing {
namespace {

TEST(OldAndNewTest, NamesTheStateOfATree) {
  OldAndNew tree{{{"a", "old a"}, {"b", "old b"}}, {{"a", "new a"}, {"b", "new b"}}};
  EXPECT_EQ(tree.StateOf({{"a", "old a"}, {"b", "old b"}}), "old");
  EXPECT_EQ(tree.StateOf({{"a", "new a"}, {"b", "new b"}}), "new");
  EXPECT_EQ(tree.StateOf({{"a", "new a"}, {"b", "old b"}}), "mixed");
  EXPECT_EQ(tree.StateOf({{"a", "new a"}, {"b", "new "}}), "b is neither");
  EXPECT_EQ(tree.StateOf({{"a", "old a"}, {"b", "old b"}, {".a.vr5new", "new a"}}),
            ".a.vr5new is neither");
  EXPECT_EQ(tree.StateOf({{"a", "old a"}}), "b is missing");
  EXPECT_EQ(tree.NotOld({{"a", "new a"}, {"b", "old b"}, {"c", ""}}), "a (new) c (neither) ");
}

TEST(TreeSnapshotTest, RestoringPutsBackTheBytesAndRemovesWhatARunLeft) {
  ScratchDir root;
  root.Write("P.vbp", "project");
  root.Write("sub/M.bas", "module");
  Contents before = SnapshotTree(root.path());
  root.Write("sub/M.bas", "converted");
  root.Write("sub/.M.bas.vr5new.1234", "copy");
  root.Write(".P.vbp.vr5journal", "journal");
  EXPECT_EQ(SnapshotTree(root.path()).size(), 4u) << "hidden files are part of the tree";
  RestoreTree(root.path(), before);
  EXPECT_EQ(SnapshotTree(root.path()), before);
}

TEST(ChildRunTest, ReportsHowTheChildEndedAndWhatItsFileSystemCounted) {
  ScratchDir root;
  std::string file = root.Write("f", "bytes");
  auto three_looks = [&](FileSystem& files) {
    PathStatus status;
    for (int i = 0; i < 3; ++i) files.Status(file, &status);
    return 5;
  };
  FaultyFileSystem watcher;
  watcher.Watch("Status", "/f");
  ChildRun whole = RunInChild(watcher, three_looks);
  EXPECT_TRUE(whole.exited);
  EXPECT_EQ(whole.status, 5);
  EXPECT_FALSE(whole.crashed());
  EXPECT_EQ(whole.operations, 3);
  EXPECT_EQ(whole.first_watched, 1);
  EXPECT_EQ(whole.last_watched, 3);

  ChildRun crashed = CrashAt(2, three_looks);
  EXPECT_TRUE(crashed.crashed());
  EXPECT_EQ(crashed.operations, 0) << "a child stopped dead reports nothing";

  EXPECT_EQ(CountSteps(three_looks), 3);
  EXPECT_EQ(StepsOf(three_looks, "Status", "/f"), std::make_pair(1, 3));
  EXPECT_EQ(StepsOf(three_looks, "Open", "/f"), std::make_pair(0, 0));
}

}  // namespace
}  // namespace vireo::testing
