#include "host/posix/path_resolver_posix.h"

#include <gtest/gtest.h>

#include "support/test_files.h"

namespace vireo {
namespace {

// A backslash is an ordinary character in a POSIX folder name. "Old\VB4" sits
// beside "Old/VB4", which a resolver turning the folder's backslashes would
// wrongly pick.
class PosixPathResolverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root.Write("Old/VB4/M.bas", "decoy");
    root.Write("Old/VB4/Sub/N.bas", "decoy");
    root.Write("Old\\VB4/M.bas", "");
    root.Write("Old\\VB4/Sub/N.bas", "");
  }
  testing::ScratchDir root;
  std::string folder = root.Join("Old\\VB4/");
  PosixPathResolver resolver;
};

TEST_F(PosixPathResolverTest, TheProjectFolderIsTakenAsItIs) {
  EXPECT_EQ(resolver.Resolve(folder, "M.bas"), folder + "M.bas");
  EXPECT_EQ(resolver.Resolve(folder, "m.BAS"), folder + "M.bas");
  EXPECT_EQ(resolver.Resolve(folder, "Sub\\N.bas"), folder + "Sub/N.bas");
  EXPECT_EQ(resolver.Resolve(folder, "SUB\\n.bas"), folder + "Sub/N.bas");
}

TEST_F(PosixPathResolverTest, ANameNotFoundKeepsTheFolderAndTheListedPath) {
  EXPECT_EQ(resolver.Resolve(folder, "Gone\\X.bas"), folder + "Gone/X.bas");
  EXPECT_EQ(resolver.Resolve(root.Join("No\\Such/"), "M.bas"), root.Join("No\\Such/M.bas"));
}

}  // namespace
}  // namespace vireo
