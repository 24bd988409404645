// Sends SIGINT and SIGTERM to vireo-migrate at several moments of a run on a
// large generated project: before the commit the run must stop with status
// 4, nothing changed and every temporary copy deleted; once the commit has
// begun it must finish. Either way nothing of the run is left behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
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
constexpr char kStoppedMessage[] =
    "vireo-migrate: interrupted: nothing was changed and the temporary copies were deleted\n";
constexpr char kTooLateMessage[] = "the interrupt came too late to stop this run";

struct Outcome {
  int status = -1;  // exit status, or 128 + the signal that ended it
  std::string err;
  std::string report;
};

class InterruptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FillGridCatalogue();
    testing::WriteLargeProject(project, kForms, kModules);
    old_contents = Snapshot();
  }

  testing::Contents Snapshot() { return testing::SnapshotTree(project.path()); }
  void Restore() {
    testing::RestoreTree(project.path(), old_contents);
    testing::EmptyFolder(temp_dir.path());
    std::filesystem::remove(report_path);
  }

  // Starts a conversion whose standard error goes to `*err_fd`.
  pid_t Start(int* err_fd) {
    int pipe_fds[2];
    if (::pipe(pipe_fds) != 0) return -1;
    std::fflush(nullptr);
    pid_t child = ::fork();
    if (child == 0) {
      ::dup2(pipe_fds[1], 2);
      ::close(pipe_fds[0]);
      ::close(pipe_fds[1]);
      int null = ::open("/dev/null", O_RDWR);
      ::dup2(null, 0);
      ::dup2(null, 1);
      ::setenv("TMPDIR", temp_dir.path().c_str(), 1);
      ::setenv("HOME", home.path().c_str(), 1);
      ::setenv("WINEPREFIX", "", 1);
      ::setenv("LC_ALL", "C", 1);
      ::setenv("TERM", "dumb", 1);
      ::execl(VIREO_MIGRATE_BINARY, VIREO_MIGRATE_BINARY, "convert", "--from", "2", "--report",
              report_path.c_str(), project.Join("Big.vbp").c_str(), static_cast<char*>(nullptr));
      std::_Exit(127);
    }
    ::close(pipe_fds[1]);
    *err_fd = pipe_fds[0];
    return child;
  }
  // Waits for the run's end. Standard error is small enough to wait in the pipe.
  Outcome Finish(pid_t child, int err_fd) {
    Outcome outcome;
    int status = 0;
    ::waitpid(child, &status, 0);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    char buffer[4096];
    for (ssize_t n; (n = ::read(err_fd, buffer, sizeof buffer)) > 0;)
      outcome.err.append(buffer, static_cast<size_t>(n));
    ::close(err_fd);
    if (testing::FileExists(report_path)) outcome.report = testing::ReadFile(report_path);
    return outcome;
  }

  // Waits until `folder` holds a name containing `fragment`; false when the
  // run ended first.
  static bool WaitFor(const std::string& folder, const std::string& fragment, pid_t child) {
    auto deadline = Clock::now() + std::chrono::seconds(30);
    while (Clock::now() < deadline) {
      for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().filename().string().find(fragment) != std::string::npos) return true;
      siginfo_t info{};
      if (::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
          info.si_pid == child)
        return false;  // it has ended; it stays to be waited for
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return false;
  }

  // Names of the run's own files left in the project folder or the temporary folder.
  std::string Leftovers() {
    std::string names;
    for (const auto& entry : std::filesystem::directory_iterator(project.path()))
      if (entry.path().filename().string().find(".vr5") != std::string::npos)
        names += entry.path().filename().string() + " ";
    for (const auto& entry : std::filesystem::directory_iterator(temp_dir.path()))
      if (entry.path().filename().string().rfind("vr5", 0) == 0)
        names += entry.path().string() + " ";
    return names;
  }

  // Checks one interrupted run; returns its exit status.
  int Check(const Outcome& outcome, const testing::Contents& new_contents,
            const std::string& moment) {
    testing::Contents now = Snapshot();
    EXPECT_EQ(Leftovers(), "") << moment;
    if (outcome.status == 4) {
      EXPECT_TRUE(now == old_contents) << moment << ": a stopped run changed the project";
      EXPECT_NE(outcome.err.find(kStoppedMessage), std::string::npos) << moment << outcome.err;
      EXPECT_NE(outcome.report.find("\"outcome\": \"interrupted\""), std::string::npos) << moment;
      EXPECT_NE(outcome.report.find("\"exit_status\": 4"), std::string::npos) << moment;
    } else {
      EXPECT_EQ(outcome.status, 0) << moment << ": " << outcome.err;
      EXPECT_TRUE(now == new_contents) << moment << ": a finished run left old files";
    }
    return outcome.status;
  }

  testing::ScratchDir project, temp_dir, home, scratch;
  std::string report_path = scratch.Join("report.json");
  testing::Contents old_contents;
};

TEST_F(InterruptTest, StopsBeforeTheCommitAndFinishesOnceItHasBegun) {
  // An undisturbed run gives the new contents and how long the files take to
  // convert: from the first new copy beside its original to the first old
  // content the commit keeps.
  int err_fd = -1;
  pid_t first = Start(&err_fd);
  ASSERT_TRUE(WaitFor(project.path(), ".vr5new.", first));
  auto converting_from = Clock::now();
  ASSERT_TRUE(WaitFor(project.path(), ".vr5old.", first));
  auto converting = Clock::now() - converting_from;
  Outcome reference = Finish(first, err_fd);
  ASSERT_EQ(reference.status, 0) << reference.err;
  testing::Contents new_contents = Snapshot();
  ASSERT_NE(new_contents, old_contents);
  Restore();

  std::mt19937 random(20261208);
  // Moments spread over the conversion and a little past it.
  long longest = std::chrono::duration_cast<std::chrono::microseconds>(converting).count() * 5 / 4;
  int stopped = 0, finished = 0, too_late_said = 0, commits_caught = 0;
  auto deadline = Clock::now() + std::chrono::seconds(90);
  for (int attempt = 0; attempt < 12 && Clock::now() < deadline; ++attempt) {
    int signal_number = attempt % 2 ? SIGTERM : SIGINT;
    bool twice = attempt % 4 >= 2;
    std::string moment = std::string("attempt ") + std::to_string(attempt) + " (" +
                         (signal_number == SIGINT ? "SIGINT" : "SIGTERM") +
                         (twice ? ", twice" : "") + ")";
    pid_t child = Start(&err_fd);
    ASSERT_GT(child, 0);
    bool converting = WaitFor(project.path(), ".vr5new.", child);
    if (attempt >= 4 && converting) {
      std::this_thread::sleep_for(
          std::chrono::microseconds(std::uniform_int_distribution<long>(0, longest)(random)));
    }
    ::kill(child, signal_number);
    if (twice) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      ::kill(child, signal_number == SIGINT ? SIGTERM : SIGINT);
    }
    Outcome outcome = Finish(child, err_fd);
    ASSERT_LT(outcome.status, 128) << moment << ": ended by a signal";
    int status = Check(outcome, new_contents, moment);
    stopped += status == 4;
    finished += status == 0;
    // The first moments come as soon as the first copy exists: far from the commit.
    if (attempt < 4 && converting) {
      EXPECT_EQ(status, 4) << moment;
    }
    Restore();
  }

  // Inside the commit: the first old content kept beside its original says
  // it has begun.
  for (int attempt = 0; attempt < 4 && Clock::now() < deadline; ++attempt) {
    std::string moment = "inside the commit, attempt " + std::to_string(attempt);
    pid_t child = Start(&err_fd);
    ASSERT_GT(child, 0);
    bool committing = WaitFor(project.path(), ".vr5old.", child);
    ::kill(child, attempt % 2 ? SIGTERM : SIGINT);
    Outcome outcome = Finish(child, err_fd);
    ASSERT_LT(outcome.status, 128) << moment << ": ended by a signal";
    if (committing) {
      ++commits_caught;
      EXPECT_EQ(Check(outcome, new_contents, moment), 0) << moment;
      too_late_said += outcome.err.find(kTooLateMessage) != std::string::npos;
    }
    Restore();
  }
  std::printf(
      "[ interrupt test ] files converted in %.2fs; %d runs stopped before the commit, %d "
      "finished; %d signals inside the commit, %d of them answered as too late\n",
      std::chrono::duration<double>(converting).count(), stopped, finished, commits_caught,
      too_late_said);
  EXPECT_GE(stopped, 4);
}

}  // namespace
}  // namespace vireo
