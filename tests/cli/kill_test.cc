// Kills vireo-migrate with SIGKILL at many moments of a run on a large
// generated project, recovers, and checks that every file is byte for byte
// entirely old or entirely new.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

#include "engine/catalogue/grid_catalogue.h"
#include "support/large_project.h"
#include "support/run_program.h"
#include "support/test_files.h"
#include "support/walk.h"

namespace vireo {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kForms = 30;
constexpr int kModules = 30;
constexpr int kKills = 24;

class KillTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FillGridCatalogue();
    testing::WriteLargeProject(project, kForms, kModules);
    tree.old_contents = Snapshot();
  }

  testing::Contents Snapshot() { return testing::SnapshotTree(project.path()); }
  void Restore() { testing::RestoreTree(project.path(), tree.old_contents); }

  pid_t Start() {
    std::fflush(nullptr);
    pid_t child = ::fork();
    if (child == 0) {
      ::setenv("TMPDIR", temp_dir.path().c_str(), 1);
      ::setenv("WINEPREFIX", "", 1);
      std::freopen("/dev/null", "w", stdout);
      std::freopen("/dev/null", "w", stderr);
      ::execl(VIREO_MIGRATE_BINARY, VIREO_MIGRATE_BINARY, "convert", "--from", "2",
              project.Join("Big.vbp").c_str(), static_cast<char*>(nullptr));
      std::_Exit(127);
    }
    return child;
  }

  testing::ScratchDir project, temp_dir;
  testing::OldAndNew tree;
};

TEST_F(KillTest, AKilledRunIsRecoveredToAllOldOrAllNew) {
  auto started = Clock::now();
  pid_t reference = Start();
  int status = 0;
  ::waitpid(reference, &status, 0);
  auto full_run = Clock::now() - started;
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  tree.new_contents = Snapshot();
  ASSERT_NE(tree.new_contents, tree.old_contents);
  Restore();

  std::mt19937 random(20261208);
  // Kill moments spread over the run; a run that ends first narrows the spread.
  long longest = std::chrono::duration_cast<std::chrono::microseconds>(full_run).count();
  int killed = 0, finished = 0, undone = 0, completed = 0, files_checked = 0;
  auto deadline = Clock::now() + std::chrono::seconds(90);
  for (int attempt = 0; attempt < kKills && Clock::now() < deadline; ++attempt) {
    pid_t child = Start();
    std::this_thread::sleep_for(
        std::chrono::microseconds(std::uniform_int_distribution<long>(0, longest)(random)));
    bool was_running = ::kill(child, SIGKILL) == 0;
    ::waitpid(child, &status, 0);
    if (WIFSIGNALED(status)) {
      ++killed;
    } else {
      ++completed;
      longest = longest * 4 / 5;
    }
    (void)was_running;
    auto recover = testing::RunProgram(VIREO_MIGRATE_BINARY, {"recover", project.Join("Big.vbp")},
                                       {{"TMPDIR", temp_dir.path()}});
    ASSERT_EQ(recover.status, 0) << recover.err;
    if (recover.out.find("was finished") != std::string::npos) ++finished;
    if (recover.out.find("was undone") != std::string::npos) ++undone;
    testing::Contents now = Snapshot();
    files_checked += static_cast<int>(now.size());
    EXPECT_TRUE(now == tree.old_contents || now == tree.new_contents)
        << "attempt " << attempt << ": " << tree.NotOld(now);
    Restore();
    testing::EmptyFolder(temp_dir.path());
  }
  std::printf(
      "[ kill test ] full run %.2fs; %d kills, %d runs ended before the kill, %d "
      "recoveries finished, %d undone; %d files compared byte for byte\n",
      std::chrono::duration<double>(full_run).count(), killed, completed, finished, undone,
      files_checked);
  EXPECT_GT(killed, kKills / 2);
}

}  // namespace
}  // namespace vireo
