#include <gtest/gtest.h>
#include <sys/resource.h>

#include "host/open_file_limit.h"

namespace vireo {
namespace {

TEST(OpenFileLimitTest, ALoweredLimitIsRaisedToTheHardLimit) {
  struct rlimit before;
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &before), 0);
  if (before.rlim_max <= 64) GTEST_SKIP() << "the hard limit leaves nothing to raise";
  struct rlimit lowered = before;
  lowered.rlim_cur = 64;
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);

  EXPECT_TRUE(RaiseOpenFileLimit());
  struct rlimit after;
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &after), 0);
  EXPECT_EQ(after.rlim_cur, before.rlim_max);
  EXPECT_EQ(after.rlim_max, before.rlim_max) << "the hard limit stays";
  EXPECT_TRUE(RaiseOpenFileLimit()) << "raised already";
  if (before.rlim_max != RLIM_INFINITY) {
    EXPECT_EQ(OpenFileLimit(), before.rlim_max);
  }

  ::setrlimit(RLIMIT_NOFILE, &before);
}

}  // namespace
}  // namespace vireo
