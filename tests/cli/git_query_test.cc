// Reading git's answers: the filter drivers a work tree's configuration
// names, and the paths `git status -z` lists.
#include "cli/git_query.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "support/test_files.h"

namespace vireo {
namespace {

using namespace std::string_literals;

bool Holds(const std::vector<std::string>& words, const std::string& word) {
  return std::find(words.begin(), words.end(), word) != words.end();
}

TEST(GitQuery, EveryFilterDriverLosesItsCommandsOnce) {
  std::vector<std::string> plain = SafetyArguments("");
  std::vector<std::string> arguments =
      SafetyArguments("filter.a.b.clean\nfilter.a.b.smudge\nfilter.lfs.process");
  // A driver's name may hold dots; only the last one ends it.
  for (const char* setting : {"filter.a.b.clean=", "filter.a.b.smudge=", "filter.a.b.process=",
                              "filter.a.b.required=false", "filter.lfs.clean="})
    EXPECT_TRUE(Holds(arguments, setting)) << setting;
  EXPECT_EQ(arguments.size(), plain.size() + 2 * 2 * 4);
  EXPECT_TRUE(Holds(plain, "core.fsmonitor=false"));
  EXPECT_EQ(plain.front(), "-c");
}

TEST(GitQuery, StatusPathsAreTakenWholeBetweenNuls) {
  EXPECT_EQ(ListedPaths(" M a b.bas\0?? dir/\"q\"\nx.frm\0!! ignored\0"s),
            (std::set<std::string>{"a b.bas", "dir/\"q\"\nx.frm", "ignored"}));
  EXPECT_EQ(ListedPaths(""), std::set<std::string>{});
}

TEST(GitQuery, TheFirstLineOfAComplaint) {
  EXPECT_EQ(FirstLine("fatal: bad\r\nhint: more\n"), "fatal: bad");
  EXPECT_EQ(FirstLine(""), "git failed");
}

#ifndef _WIN32
// git writing much to both pipes, its complaints first, must not wait on us.
TEST(GitQuery, BothPipesAreReadAsTheyFill) {
  testing::ScratchDir folder;
  std::string git = folder.Write(
      "git", "#!/bin/sh\nhead -c 200000 /dev/zero >&2\nhead -c 300000 /dev/zero\nexit 3\n");
  ASSERT_EQ(::chmod(git.c_str(), 0700), 0);
  GitRun run = RunGit(git, folder.path(), {"status"});
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.err.size(), 200000u);
  EXPECT_EQ(run.out.size(), 300000u);
}
#endif

}  // namespace
}  // namespace vireo
