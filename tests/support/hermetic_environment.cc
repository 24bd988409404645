#include "support/hermetic_environment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace fs = std::filesystem;

namespace vireo::testing {
namespace {

std::string root;

std::string MakeRoot() {
  // Beside whatever temporary folder the runner was given; every process of
  // a parallel run gets its own.
  const char* outer = std::getenv("TMPDIR");
  std::string pattern = std::string(outer && *outer ? outer : "/tmp") + "/vireo-tests-XXXXXX";
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed for " + pattern);
  fs::create_directories(pattern + "/home");
  fs::create_directories(pattern + "/tmp");
  return pattern;
}

void RemoveRoot() {
  std::error_code ignored;
  // Tests take write permissions away from what they made; give them back.
  for (auto it = fs::recursive_directory_iterator(root, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    if (!it->is_symlink(ignored))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::remove_all(root, ignored);
}

class HermeticEnvironment final : public ::testing::Environment {
 public:
  void SetUp() override { ApplyHermeticEnvironment(); }
  void TearDown() override { RemoveRoot(); }
};

// Before each test: what the test before it changed is put back.
class Reapply final : public ::testing::EmptyTestEventListener {
 public:
  void OnTestStart(const ::testing::TestInfo&) override { ApplyHermeticEnvironment(); }
};

const bool kRegistered = [] {
  ::testing::AddGlobalTestEnvironment(new HermeticEnvironment);
  ::testing::UnitTest::GetInstance()->listeners().Append(new Reapply);
  return true;
}();

}  // namespace

const std::string& HermeticRoot() {
  if (root.empty()) root = MakeRoot();
  return root;
}

void ApplyHermeticEnvironment() {
  const std::string& base = HermeticRoot();
  ::setenv("HOME", (base + "/home").c_str(), 1);
  ::setenv("TMPDIR", (base + "/tmp").c_str(), 1);
  ::setenv("WINEPREFIX", (base + "/no-wine-prefix").c_str(), 1);
  ::setenv("LC_ALL", "C", 1);
  ::setenv("TERM", "dumb", 1);
  ::unsetenv("NO_COLOR");
}

}  // namespace vireo::testing
