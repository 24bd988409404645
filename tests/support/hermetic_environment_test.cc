#include "support/hermetic_environment.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "support/run_program.h"

namespace vireo::testing {
namespace {

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "(unset)";
}

TEST(HermeticEnvironmentTest, EveryVariableIsPrivateOrFixed) {
  const std::string& root = HermeticRoot();
  EXPECT_EQ(Variable("HOME"), root + "/home");
  EXPECT_EQ(Variable("TMPDIR"), root + "/tmp");
  EXPECT_EQ(Variable("WINEPREFIX").rfind(root + "/", 0), 0u) << Variable("WINEPREFIX");
  struct stat status;
  EXPECT_NE(::stat(Variable("WINEPREFIX").c_str(), &status), 0) << "the prefix must not exist";
  EXPECT_EQ(::stat((root + "/home/.wine").c_str(), &status), -1) << "nor a ~/.wine";
  EXPECT_EQ(Variable("LC_ALL"), "C");
  EXPECT_EQ(Variable("TERM"), "dumb");
  EXPECT_EQ(Variable("NO_COLOR"), "(unset)");
  struct stat home;
  ASSERT_EQ(::stat(root.c_str(), &home), 0);
  EXPECT_EQ(home.st_mode & 077, 0u) << "the folder is the test process's alone";
}

TEST(HermeticEnvironmentTest, ProgramsStartedByTestsInheritIt) {
  ::setenv("NO_COLOR", "1", 1);  // put back before the next test
  ProgramRun run = RunProgram("/usr/bin/env", {});
  ASSERT_EQ(run.status, 0);
  std::string lines = "\n" + run.out;
  EXPECT_NE(lines.find("\nHOME=" + HermeticRoot() + "/home\n"), std::string::npos) << run.out;
  EXPECT_NE(lines.find("\nTERM=dumb\n"), std::string::npos) << run.out;
  EXPECT_NE(lines.find("\nNO_COLOR=1\n"), std::string::npos) << "a test's own change reaches it";
  ApplyHermeticEnvironment();
  EXPECT_EQ(Variable("NO_COLOR"), "(unset)");
}

}  // namespace
}  // namespace vireo::testing
