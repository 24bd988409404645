#include "cli/real_paths.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_files.h"

namespace vireo {
namespace {

namespace fs = std::filesystem;

// Whatever the shortcut taken, the answer is the path the file reaches.
TEST(RealPathsTest, EachFileReachesWhereTheSystemSaysItDoes) {
  testing::ScratchDir scratch;
  fs::create_directories(scratch.Join("real/sub"));
  scratch.Write("real/A.bas", "a");
  scratch.Write("real/sub/B.bas", "b");
  fs::create_directory_symlink(scratch.Join("real"), scratch.Join("linked"));
  fs::create_symlink(scratch.Join("real/sub/B.bas"), scratch.Join("real/ToB.bas"));
  RealPaths real_paths;
  fs::create_directory_symlink(scratch.Join("real/sub"), scratch.Join("real/sublink"));
  for (const char* file :
       {"real/A.bas", "linked/A.bas", "linked/ToB.bas", "real/ToB.bas", "linked/sub/../A.bas",
        "real/Missing.bas", "linked/sub/..", "linked/sub/B.bas", "real/sublink/B.bas",
        "linked/sublink/B.bas", "linked/sublink/../A.bas", "missing/sub/C.bas", "real/sub/B.bas"}) {
    std::string path = scratch.Join(file);
    EXPECT_EQ(real_paths.Of(path), fs::weakly_canonical(path)) << file;
  }
  EXPECT_EQ(real_paths.Of(scratch.Join("linked/ToB.bas")),
            fs::canonical(scratch.Join("real/sub/B.bas")));
}

}  // namespace
}  // namespace vireo
