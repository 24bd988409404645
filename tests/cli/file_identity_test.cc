// Files keep their identity through a conversion: a symbolic link stays a
// link and the file it reaches is converted, two paths to one file are one
// file, and the owner, group and extended attributes stay with the file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <filesystem>

#include "engine/catalogue/grid_catalogue.h"
#include "support/reference_lines.h"
#include "support/run_program.h"
#include "support/test_files.h"

namespace vireo {
namespace {

using testing::CrLf;
using testing::kVireo40Line;
using testing::ReadFile;

constexpr auto& kModule = testing::kDeclarationModule;
constexpr auto& kConverted = testing::kDeclarationConverted;

class FileIdentityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    shared = root.Write("shared/Grids.bas", kModule);
    folder = root.Join("project");
    std::filesystem::create_directories(folder);
  }
  testing::ProgramRun Convert() {
    return testing::RunProgram(VIREO_MIGRATE_BINARY, {"convert", "--quiet", "--from", "2", folder},
                               {{"TMPDIR", temp.path()},
                                {"HOME", temp.path()},
                                {"WINEPREFIX", ""},
                                {"LC_ALL", "C"},
                                {"TERM", "dumb"}});
  }
  void WriteProject(std::initializer_list<const char*> lines) {
    std::string text;
    for (const char* line : lines) text += std::string(line) + "\r\n";
    root.Write("project/P.vbp", text + kVireo40Line + "\r\n");
  }

  testing::ScratchDir root, temp;
  std::string shared, folder;
};

TEST_F(FileIdentityTest, ALinkedModuleStaysALinkAndItsTargetIsConverted) {
  std::filesystem::create_symlink("../shared/Grids.bas", folder + "/Grids.bas");
  std::filesystem::create_directory_symlink("../shared", folder + "/common");
  WriteProject({"Module=Grids; Grids.bas", "Module=Same; common\\Grids.bas"});
  auto run = Convert();
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(std::filesystem::is_symlink(folder + "/Grids.bas"));
  EXPECT_EQ(std::filesystem::read_symlink(folder + "/Grids.bas"), "../shared/Grids.bas");
  EXPECT_TRUE(std::filesystem::is_symlink(folder + "/common"));
  EXPECT_EQ(ReadFile(shared), kConverted) << "two paths to one file: converted once";
  EXPECT_EQ(testing::CountFilesWithPrefix(root.Join("shared"), "."), 0);
  EXPECT_EQ(testing::CountFilesWithPrefix(folder, "."), 0);
}

TEST_F(FileIdentityTest, AFileWithTwoNamesIsRewrittenInPlaceAndBothShowTheNewContent) {
  std::string module = root.Write("project/M.bas", kModule);
  std::string other = root.Join("shared/Other.bas");
  ASSERT_EQ(::link(module.c_str(), other.c_str()), 0);
  ::chmod(module.c_str(), 0640);
  struct stat before;
  ::stat(module.c_str(), &before);
  WriteProject({"Module=M; M.bas"});
  auto run = Convert();
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFile(module), kConverted);
  EXPECT_EQ(ReadFile(other), kConverted);
  struct stat after;
  ::stat(module.c_str(), &after);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_nlink, 2u);
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  EXPECT_EQ(testing::CountFilesWithPrefix(folder, "."), 0);
}

TEST_F(FileIdentityTest, OwnerGroupAndExtendedAttributesStay) {
  std::string module = root.Write("project/M.bas", kModule);
  WriteProject({"Module=M; M.bas"});
  bool root_user = ::geteuid() == 0;
  if (root_user) {
    ASSERT_EQ(::chown(module.c_str(), 1234, 5678), 0);
  }
  if (::setxattr(module.c_str(), "user.origin", "kept", 4, 0) != 0)
    GTEST_SKIP() << "this file system keeps no extended attributes";
  auto run = Convert();
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFile(module), kConverted);
  char value[16] = {};
  ASSERT_EQ(::getxattr(module.c_str(), "user.origin", value, sizeof value), 4);
  EXPECT_STREQ(value, "kept");
  if (!root_user) GTEST_SKIP() << "owner and group can be carried over only when run as root";
  struct stat st{};
  ASSERT_EQ(::stat(module.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 1234u);
  EXPECT_EQ(st.st_gid, 5678u);
}

// A run that may not give a new file someone else's owner (not root)
// rewrites such a file in place, so it keeps its owner and group.
TEST_F(FileIdentityTest, AFileWhoseOwnerTheRunCannotGiveIsRewrittenInPlace) {
  if (::geteuid() != 0 || ::access("/usr/bin/setpriv", X_OK) != 0)
    GTEST_SKIP() << "needs root to arrange files owned by others, and setpriv to run as nobody";
  // The run, as nobody, must reach and write in the project's folder: the
  // folders up to the tests' own private one are opened to it.
  std::vector<std::filesystem::path> ours;
  for (std::filesystem::path p = folder; p != p.parent_path(); p = p.parent_path()) {
    ours.push_back(p);
    if (p.filename().string().rfind("vireo-tests-", 0) == 0) break;
  }
  if (ours.back().filename().string().rfind("vireo-tests-", 0) != 0)
    GTEST_SKIP() << "the scratch folder does not lie in the tests' private folder";
  for (const auto& p : ours) ::chmod(p.c_str(), 0777);
  std::string module = root.Write("project/M.bas", kModule);
  WriteProject({"Module=M; M.bas"});
  std::string project = folder + "/P.vbp";
  ASSERT_EQ(::chown(module.c_str(), 1234, 5678), 0);
  ::chmod(module.c_str(), 0666);
  ::chmod(project.c_str(), 0666);
  struct stat before{};
  ::stat(module.c_str(), &before);
  auto run = testing::RunProgram(
      "/usr/bin/setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups",
                           VIREO_MIGRATE_BINARY, "convert", "--quiet", "--from", "2", folder},
      {{"TMPDIR", folder}, {"HOME", folder}, {"WINEPREFIX", ""}, {"LC_ALL", "C"},
       {"TERM", "dumb"}});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFile(module), kConverted);
  struct stat after{};
  ::stat(module.c_str(), &after);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_uid, 1234u);
  EXPECT_EQ(after.st_gid, 5678u);
  ::stat(project.c_str(), &after);
  EXPECT_EQ(after.st_uid, 0u) << "the project file keeps its owner too";
  EXPECT_EQ(testing::CountFilesWithPrefix(folder, "."), 0);
}

}  // namespace
}  // namespace vireo
