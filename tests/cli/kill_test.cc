// Kills vireo-migrate with SIGKILL at many moments of a run on a large
// generated project, and of a batch whose units commit side by side,
// recovers, and checks that every file is byte for byte entirely old or
// entirely new: the project, or each unit of the batch, as a whole.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
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

// Starts vireo-migrate with `args`, its temporary files in `temp_dir` and its
// output thrown away.
pid_t Start(const std::vector<std::string>& args, const std::string& temp_dir) {
  std::fflush(nullptr);
  pid_t child = ::fork();
  if (child == 0) {
    ::setenv("TMPDIR", temp_dir.c_str(), 1);
    ::setenv("WINEPREFIX", "", 1);
    std::freopen("/dev/null", "w", stdout);
    std::freopen("/dev/null", "w", stderr);
    std::vector<char*> argv{const_cast<char*>(VIREO_MIGRATE_BINARY)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execv(VIREO_MIGRATE_BINARY, argv.data());
    std::_Exit(127);
  }
  return child;
}

// How long an undisturbed run of `args` took; it must succeed.
Clock::duration RunUndisturbed(const std::vector<std::string>& args, const std::string& temp_dir) {
  auto started = Clock::now();
  pid_t reference = Start(args, temp_dir);
  int status = 0;
  ::waitpid(reference, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  return Clock::now() - started;
}

struct Kills {
  int killed = 0, completed = 0;
};

// Runs `args` up to kKills times, each killed at a moment spread over
// `full_run` (a run that ends first narrows the spread), and calls
// `check(attempt)` after each; a fatal failure there ends the kills.
Kills KillAtRandomMoments(const std::vector<std::string>& args, const std::string& temp_dir,
                          Clock::duration full_run, const std::function<void(int)>& check) {
  std::mt19937 random(20261208);
  long longest = std::chrono::duration_cast<std::chrono::microseconds>(full_run).count();
  Kills kills;
  auto deadline = Clock::now() + std::chrono::seconds(90);
  for (int attempt = 0; attempt < kKills && Clock::now() < deadline; ++attempt) {
    pid_t child = Start(args, temp_dir);
    std::this_thread::sleep_for(
        std::chrono::microseconds(std::uniform_int_distribution<long>(0, longest)(random)));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFSIGNALED(status)) {
      ++kills.killed;
    } else {
      ++kills.completed;
      longest = longest * 4 / 5;
    }
    check(attempt);
    testing::EmptyFolder(temp_dir);
    if (::testing::Test::HasFatalFailure()) break;
  }
  return kills;
}

class KillTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FillGridCatalogue();
    testing::WriteLargeProject(project, kForms, kModules);
    tree.old_contents = Snapshot();
  }

  testing::Contents Snapshot() { return testing::SnapshotTree(project.path()); }
  void Restore() { testing::RestoreTree(project.path(), tree.old_contents); }

  testing::ScratchDir project, temp_dir;
  testing::OldAndNew tree;
};

TEST_F(KillTest, AKilledRunIsRecoveredToAllOldOrAllNew) {
  std::vector<std::string> convert{"convert", "--from", "2", project.Join("Big.vbp")};
  auto full_run = RunUndisturbed(convert, temp_dir.path());
  tree.new_contents = Snapshot();
  ASSERT_NE(tree.new_contents, tree.old_contents);
  Restore();

  int finished = 0, undone = 0, files_checked = 0;
  Kills kills = KillAtRandomMoments(convert, temp_dir.path(), full_run, [&](int attempt) {
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
  });
  std::printf(
      "[ kill test ] full run %.2fs; %d kills, %d runs ended before the kill, %d "
      "recoveries finished, %d undone; %d files compared byte for byte\n",
      std::chrono::duration<double>(full_run).count(), kills.killed, kills.completed, finished,
      undone, files_checked);
  EXPECT_GT(kills.killed, kKills / 2);
}

// A batch of units of three projects that share a module, and of projects
// alone, each unit in a folder of its own: "u0" to "u3", "solo/s0" to "solo/s2".
class BatchKillTest : public ::testing::Test {
 protected:
  static constexpr int kSharingUnits = 4;
  static constexpr int kSolos = 3;

  void SetUp() override {
    FillGridCatalogue();
    for (int u = 0; u < kSharingUnits; ++u) {
      std::string unit = "u" + std::to_string(u);
      root.Write(unit + "/shared/Shared.bas", testing::GridModule(800));
      for (int p = 0; p < 3; ++p)
        testing::WriteLargeProject(root, unit + "/p" + std::to_string(p), "P" + std::to_string(p),
                                   4, 4, {"../shared/Shared.bas"});
      units.push_back(unit);
    }
    for (int s = 0; s < kSolos; ++s) {
      std::string solo = "solo/s" + std::to_string(s);
      testing::WriteLargeProject(root, solo, "S" + std::to_string(s), 4, 4);
      units.push_back(solo);
    }
    tree.old_contents = Snapshot();
  }

  testing::Contents Snapshot() { return testing::SnapshotTree(root.path()); }
  void Restore() { testing::RestoreTree(root.path(), tree.old_contents); }

  // Takes the files below the folder `unit`.
  static testing::FileFilter Below(const std::string& unit) {
    return [prefix = unit + "/"](const std::string& name) {
      return name.compare(0, prefix.size(), prefix) == 0;
    };
  }
  // Empty when every unit of `now` is entirely old or entirely new and
  // nothing lies outside the units; else what is wrong.
  std::string Mixed(const testing::Contents& now) const {
    std::string wrong;
    size_t in_units = 0;
    for (const std::string& unit : units) {
      in_units += testing::Select(now, Below(unit)).size();
      std::string state = tree.StateOf(now, Below(unit));
      if (state != "old" && state != "new") wrong += unit + ": " + state + "; ";
    }
    if (in_units != now.size()) wrong += "files outside the units; ";
    return wrong;
  }

  testing::ScratchDir root, temp_dir;
  testing::OldAndNew tree;
  std::vector<std::string> units;
};

TEST_F(BatchKillTest, AKilledBatchIsRecoveredUnitByUnitAndARerunConvertsTheRestOnce) {
  std::vector<std::string> batch{"convert", "-r", "--from", "2", root.path()};
  auto full_run = RunUndisturbed(batch, temp_dir.path());
  tree.new_contents = Snapshot();
  for (const std::string& unit : units)
    ASSERT_EQ(tree.StateOf(tree.new_contents, Below(unit)), "new") << unit;
  Restore();

  int units_new = 0, units_old = 0;
  Kills kills = KillAtRandomMoments(batch, temp_dir.path(), full_run, [&](int attempt) {
    auto recover = testing::RunProgram(VIREO_MIGRATE_BINARY, {"recover", "-r", root.path()},
                                       {{"TMPDIR", temp_dir.path()}});
    EXPECT_TRUE(recover.status == 0 || recover.status == 3) << recover.status << recover.err;
    testing::Contents now = Snapshot();
    EXPECT_EQ(Mixed(now), "") << "attempt " << attempt;
    for (const std::string& unit : units) {
      std::string state = tree.StateOf(now, Below(unit));
      units_new += state == "new";
      units_old += state == "old";
    }
    auto rerun = testing::RunProgram(VIREO_MIGRATE_BINARY, batch, {{"TMPDIR", temp_dir.path()}});
    EXPECT_TRUE(rerun.status == 0 || rerun.status == 3) << rerun.status << rerun.err;
    EXPECT_EQ(tree.StateOf(Snapshot()), "new") << "attempt " << attempt << ", after the rerun";
    Restore();
  });
  std::printf(
      "[ batch kill test ] full run %.2fs; %d kills, %d runs ended before the kill; after "
      "recovery %d units were new and %d old\n",
      std::chrono::duration<double>(full_run).count(), kills.killed, kills.completed, units_new,
      units_old);
  EXPECT_GT(kills.killed, kKills / 2);
}

}  // namespace
}  // namespace vireo
