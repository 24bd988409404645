#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>

#include "base/file_system.h"
#include "support/test_files.h"

namespace vireo {
namespace {

using testing::ScratchDir;

// What the C library's realpath() says of `path`: its result, or its errno.
struct Walked {
  std::string real;
  int error = 0;
};
Walked WalkedByTheLibrary(const std::string& path) {
  Walked walked;
  char buffer[PATH_MAX];
  if (::realpath(path.c_str(), buffer)) {
    walked.real = buffer;
  } else {
    walked.error = errno;
  }
  return walked;
}

// Runs each case from inside the scratch folder, so that relative paths and
// ".." past the folder are tried too.
class RealPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = std::filesystem::current_path();
    scratch_.Write("a/b/file.bas", "x");
    scratch_.Write("c/other.bas", "y");
    std::filesystem::create_symlink(scratch_.Join("c"), scratch_.Join("a/link"));
    std::filesystem::create_symlink(scratch_.Join("missing"), scratch_.Join("a/dangling"));
    std::filesystem::current_path(scratch_.Join("a"));
  }
  void TearDown() override { std::filesystem::current_path(saved_); }

  static void ExpectAsTheLibrary(const std::string& path) {
    SCOPED_TRACE("path \"" + path + "\" from " + std::filesystem::current_path().string());
    Walked expected = WalkedByTheLibrary(path);
    std::string real;
    std::error_code error = Files().RealPath(path, &real);
    if (expected.error) {
      EXPECT_EQ(error.value(), expected.error);
    } else {
      EXPECT_FALSE(error) << error.message();
      EXPECT_EQ(real, expected.real);
    }
  }

  ScratchDir scratch_;
  std::filesystem::path saved_;
};

TEST_F(RealPathTest, EveryPathResolvesAsTheLibraryWalksIt) {
  const std::string root = scratch_.path();
  for (const std::string& path :
       {root + "/a/b/file.bas", root + "//a/./b//file.bas", root + "/a/b/../b/file.bas",
        root + "/a/b/", std::string("b/file.bas"), std::string("./b/../b/file.bas"),
        std::string(".."), std::string("../c/other.bas"), std::string("."),
        std::string("/../../") + root.substr(1) + "/c", root + "/a/link/other.bas",
        root + "/a/link/../a/b/file.bas", std::string("link/other.bas"), root + "/a/dangling",
        root + "/a/b/file.bas/", root + "/a/b/file.bas/..", root + "/a/nothing/../b",
        std::string(""), std::string("/")}) {
    ExpectAsTheLibrary(path);
  }
  // From the root, whose name already ends in a slash.
  std::filesystem::current_path("/");
  for (const std::string& path : {root.substr(1) + "/a/b/file.bas", std::string("."),
                                  std::string(".."), root.substr(1) + "/a/link/other.bas"})
    ExpectAsTheLibrary(path);
}

}  // namespace
}  // namespace vireo
