#include "engine/project/held_files.h"

#include <gtest/gtest.h>

#include "support/test_files.h"

namespace vireo {
namespace {

class HeldFilesTest : public ::testing::Test {
 protected:
  testing::ScratchDir dir;
  std::string a = dir.Write("A.bas", "a"), b = dir.Write("B.bas", "b");
};

TEST_F(HeldFilesTest, HeldFilesKeepOtherHoldersOffUntilReleased) {
  std::string problem;
  {
    HeldFiles held;
    ASSERT_EQ(HoldAll({a, b}, {}, &held, &problem), HoldResult::kHeld) << problem;
    FileHandle other = -1;
    EXPECT_EQ(Files().Hold(b, &other), std::errc::resource_unavailable_try_again);
    EXPECT_EQ(testing::ReadFile(b), "b") << "reading is not blocked";
  }
  FileHandle again = -1;
  ASSERT_FALSE(Files().Hold(b, &again)) << "let go when the run ends";
  Files().Close(again);
}

TEST_F(HeldFilesTest, ABusyFileLeavesNoneHeldAndNamesIt) {
  FileHandle other = -1;
  ASSERT_FALSE(Files().Hold(b, &other));
  HeldFiles held;
  std::string problem, waited_for;
  HoldPolicy policy{0, [&](const std::string& file) { waited_for = file; }};
  EXPECT_EQ(HoldAll({a, b}, policy, &held, &problem), HoldResult::kBusy);
  EXPECT_TRUE(held.empty());
  EXPECT_EQ(problem, b + ": another run is converting it; gave up waiting after 0 seconds");
  FileHandle free_a = -1;
  EXPECT_FALSE(Files().Hold(a, &free_a)) << "the file taken first was let go";
  Files().Close(free_a);
  Files().Close(other);
}

TEST_F(HeldFilesTest, AMissingOrSpecialFileIsAFailureNotAWait) {
  HeldFiles held;
  std::string problem;
  EXPECT_EQ(HoldAll({dir.Join("gone.bas")}, {}, &held, &problem), HoldResult::kFailed);
  EXPECT_NE(problem.find("gone.bas: cannot be opened"), std::string::npos) << problem;
  EXPECT_EQ(HoldAll({dir.path()}, {}, &held, &problem), HoldResult::kFailed);
}

}  // namespace
}  // namespace vireo
