// Walks a whole conversion run of a realistic project through every file
// operation, failing it or stopping the process dead there, and checks that
// the project always ends entirely old or entirely new.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/interrupt.h"
#include "engine/catalogue/grid_catalogue.h"
#include "engine/project/convert_project.h"
#include "engine/project/journal.h"
#include "engine/project/recovery.h"
#include "host/posix/path_resolver_posix.h"
#include "support/fake_ide.h"
#include "support/fake_ui.h"
#include "support/faulty_file_system.h"
#include "support/frx_builder.h"
#include "support/test_files.h"

namespace vireo {
namespace {

using testing::CrLf;
using testing::GuidBytes;
using testing::ReadFile;
using testing::Record;

using Contents = std::map<std::string, std::string>;

class CrashSafetyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FillGridCatalogue();
    ::setenv("TMPDIR", temp_dir.path().c_str(), 1);
    WriteProject();
    if (Linked()) {
      // A second name for every file, outside the project: each is then
      // rewritten in place and both names must show the same content.
      for (const std::string& name : names)
        ASSERT_EQ(::link(project.Join(name).c_str(), elsewhere.Join(name).c_str()), 0);
    }
    old_contents = Snapshot();
    // One undisturbed run on the side gives the new contents.
    RunResult reference = Convert(nullptr);
    ASSERT_EQ(reference.outcome, RunOutcome::kConverted) << reference.failure_reason;
    new_contents = Snapshot();
    Restore(old_contents);
  }
  void TearDown() override {
    ::unsetenv("TMPDIR");
    ClearInterrupt();
  }

  void WriteProject() {
    for (const char* form : {"Orders", "Stock"}) {
      std::string name = form;
      names.push_back(name + ".frm");
      names.push_back(name + ".frx");
      project.Write(name + ".frm",
                    CrLf({"VERSION 4.00", ("Begin VB.Form " + name).c_str(),
                          "   Begin VireoCore.VireoCtl Grid1",
                          ("      OleObjectBlob = \"" + name + ".frx\":0000").c_str(), "   End",
                          "   Begin VireoCore.VireoDropDown Drop1",
                          ("      OleObjectBlob = \"" + name + ".frx\":001A").c_str(), "   End",
                          "End", "Private Sub Grid1_FirstRowChange()", "End Sub",
                          "Private Sub Drop1_UnboundReadData(B As RowBuffer)", "End Sub"}));
      project.Write(name + ".frx", Record(GuidBytes(2, "CLSID_MsPlover"), 6) +
                                       std::string(4, '\0') +
                                       Record(GuidBytes(2, "CLSID_VireoDrop"), 6));
    }
    for (const char* module : {"Util.bas", "Data.bas", "Cache.cls"}) {
      names.push_back(module);
      project.Write(module, CrLf({"Option Explicit", "Public S As VireoCore.StyleDisp",
                                  "Dim N As New VireoCore.Columns"}));
    }
    names.push_back("P.vbp");
    project.Write("P.vbp",
                  CrLf({"Form=Orders.frm", "Form=Stock.frm", "Module=Util; Util.bas",
                        "Module=Data; Data.bas", "Class=Cache; Cache.cls",
                        "Object={7D4E5B34-1A2C-11CF-8E41-00805F2C6A19}#4.0#0; VIRA32.OCX"}));
  }

  Contents Snapshot() {
    Contents contents;
    for (const std::string& name : names) contents[name] = ReadFile(project.Join(name));
    return contents;
  }
  void Restore(const Contents& contents) {
    for (const auto& [name, bytes] : contents) testing::WriteFile(project.Join(name), bytes);
  }

  RunResult Convert(FileSystem* files) {
    testing::FakeIde ide;
    ide.OpenProject(project.Join("P.vbp"));
    testing::FakeUserInterface ui;
    testing::FakeConvertDialog dialog(2, 5);
    testing::FakeStatusWindow status;
    PosixPathResolver resolver;
    std::optional<ScopedFileSystem> scope;
    if (files) scope.emplace(*files);
    return ConvertProject(ide, {ui, dialog, status, resolver});
  }

  virtual bool Linked() const { return false; }

  // "old", "new" or "mixed".
  std::string State() {
    Contents now = Snapshot();
    for (const auto& [name, bytes] : now) {
      if (Linked() && ReadFile(elsewhere.Join(name)) != bytes) return name + " lost its other name";
    }
    if (now == old_contents) return "old";
    if (now == new_contents) return "new";
    for (const auto& [name, bytes] : now) {
      if (bytes != old_contents[name] && bytes != new_contents[name]) return name + " is neither";
    }
    return "mixed";
  }

  // Files of ours left in the project folder or the temporary folder.
  int Leftovers() {
    return testing::CountFilesWithPrefix(project.path(), ".") +
           testing::CountFilesWithPrefix(project.path(), "P.vbp.vr5journal") +
           testing::CountFilesWithPrefix(temp_dir.path(), "vr5");
  }

  void RemoveTemporaryFiles() {
    std::vector<std::string> names;
    Files().ListDirectory(temp_dir.path(), &names);
    for (const std::string& name : names) ::unlink((temp_dir.path() + "/" + name).c_str());
  }

  int CountSteps() {
    testing::FaultyFileSystem counter;
    EXPECT_EQ(Convert(&counter).outcome, RunOutcome::kConverted);
    Restore(old_contents);
    return counter.operations();
  }
  // The first and last step of an undisturbed run that is `operation` on a
  // path containing `fragment`.
  std::pair<int, int> StepsOf(const std::string& operation, const std::string& fragment) {
    testing::FaultyFileSystem watcher;
    watcher.Watch(operation, fragment);
    EXPECT_EQ(Convert(&watcher).outcome, RunOutcome::kConverted);
    Restore(old_contents);
    return {watcher.first_watched(), watcher.last_watched()};
  }

  testing::ScratchDir project, temp_dir, elsewhere;
  std::vector<std::string> names;
  Contents old_contents, new_contents;
};

// The same walks over files that have a second name (hard links), which are
// rewritten in place.
class CrashSafetyWalk : public CrashSafetyTest, public ::testing::WithParamInterface<bool> {
 protected:
  bool Linked() const override { return GetParam(); }
};

INSTANTIATE_TEST_SUITE_P(ReplacedOrInPlace, CrashSafetyWalk, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "InPlace" : "Replaced";
                         });

TEST_P(CrashSafetyWalk, AFailingStepNeverLeavesAMixOrReportsSuccessWrongly) {
  int steps = CountSteps();
  int failures = 0;
  for (std::errc error :
       {std::errc::no_space_on_device, std::errc::io_error, std::errc::permission_denied}) {
    for (int step = 1; step <= steps; ++step) {
      testing::FaultyFileSystem faulty;
      faulty.FailNth(step, error);
      RunResult result = Convert(&faulty);
      std::string state = State();
      if (result.outcome == RunOutcome::kConverted) {
        EXPECT_EQ(state, "new") << "step " << step;
      } else {
        ++failures;
        EXPECT_EQ(result.outcome, RunOutcome::kFailed) << "step " << step;
        EXPECT_EQ(state, "old") << "step " << step << ": " << result.failure_reason;
        EXPECT_FALSE(result.failure_reason.empty()) << "step " << step;
      }
      EXPECT_EQ(Leftovers(), static_cast<int>(result.leftovers.size()))
          << "step " << step << ", failing " << faulty.last_failure() << ": "
          << result.failure_reason;
      for (const std::string& path : result.leftovers) ::unlink(path.c_str());
      Restore(old_contents);
    }
  }
  std::printf(
      "[ fault walk ] %s: %d steps x 3 errors walked, %d runs failed cleanly, %zu files "
      "checked after each\n",
      Linked() ? "in place" : "replaced", steps, failures, names.size());
}

TEST_P(CrashSafetyWalk, ACrashAtAnyStepIsRecoveredToAllOldOrAllNew) {
  int steps = CountSteps();
  int finished = 0, undone = 0;
  for (int step = 1; step <= steps; ++step) {
    std::fflush(nullptr);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      testing::FaultyFileSystem crashing;
      crashing.CrashAt(step);
      Convert(&crashing);
      std::_Exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    bool crashed = WEXITSTATUS(status) == testing::FaultyFileSystem::kCrashStatus;
    std::string state = State();
    // A file rewritten in place may be cut short half-way; recovery mends it.
    bool torn = Linked() && state.find(" is neither") != std::string::npos;
    EXPECT_TRUE(state == "old" || state == "new" || state == "mixed" || torn)
        << "step " << step << ": " << state;
    RecoveryOutcome recovery = RecoverInterruptedCommit(project.Join("P.vbp"), PosixPathResolver());
    EXPECT_NE(recovery.result, RecoveryResult::kFailed) << recovery.message;
    std::string recovered = State();
    EXPECT_TRUE(recovered == "old" || recovered == "new") << "step " << step << ": " << recovered;
    if (recovery.result == RecoveryResult::kFinished) {
      ++finished;
      EXPECT_EQ(recovered, "new");
    }
    if (recovery.result == RecoveryResult::kUndone) {
      ++undone;
      EXPECT_EQ(recovered, "old");
    }
    if (!crashed) {
      EXPECT_EQ(recovered, "new") << "step " << step;
    }
    EXPECT_EQ(testing::CountFilesWithPrefix(project.path(), "."), 0) << "step " << step;
    // A crash leaves the run lock's file; the next run takes it over.
    EXPECT_EQ(testing::CountFilesWithPrefix(project.path(), "P.vbp.vr5journal"), 0)
        << "step " << step;
    Restore(old_contents);
    // Temporary copies made before a crash are unknown to recovery.
    RemoveTemporaryFiles();
  }
  std::printf(
      "[ crash walk ] %s: %d steps, %d crashes recovered by finishing, %d by undoing, %zu "
      "files checked after each\n",
      Linked() ? "in place" : "replaced", steps, finished, undone, names.size());
}

// An interrupt before the commit has begun stops the run with nothing changed
// and nothing left; from the commit's first step on it is not heeded.
TEST_F(CrashSafetyTest, AnInterruptStopsTheRunUpToTheCommitAndNotAfter) {
  int steps = CountSteps();
  // The project file's copy is made last; keeping the first old content
  // beside its original is a step of the commit.
  int last_copy_made = StepsOf("Open", ".P.vbp.vr5new.").first;
  int old_content_kept = StepsOf("Link", ".vr5old.").first;
  ASSERT_GT(last_copy_made, 0);
  ASSERT_GT(old_content_kept, last_copy_made);
  int last_stopped = 0, first_finished = 0;
  for (int step = 1; step <= steps; ++step) {
    testing::FaultyFileSystem interrupting;
    interrupting.InterruptAt(step);
    RunResult result = Convert(&interrupting);
    ClearInterrupt();
    std::string state = State();
    if (result.outcome == RunOutcome::kInterrupted) {
      last_stopped = step;
      EXPECT_EQ(state, "old") << "step " << step;
      EXPECT_EQ(first_finished, 0) << "step " << step << " stopped, a step before it did not";
      EXPECT_EQ(result.failure_reason, "") << "step " << step;
      EXPECT_EQ(result.replaced, 0) << "step " << step;
    } else {
      if (!first_finished) first_finished = step;
      EXPECT_EQ(result.outcome, RunOutcome::kConverted) << "step " << step;
      EXPECT_EQ(state, "new") << "step " << step;
    }
    EXPECT_TRUE(result.leftovers.empty()) << "step " << step;
    EXPECT_EQ(Leftovers(), 0) << "step " << step;
    EXPECT_FALSE(testing::FileExists(project.Join("P.vbp.vr5lock"))) << "step " << step;
    Restore(old_contents);
  }
  EXPECT_GE(last_stopped, last_copy_made);
  EXPECT_EQ(first_finished, last_stopped + 1);
  EXPECT_LE(first_finished, old_content_kept) << "the commit begins before it keeps old content";
  std::printf(
      "[ interrupt walk ] %d steps; interrupts up to step %d stopped the run, later "
      "ones (the commit from step %d, its first kept old content at %d) were let finish\n",
      steps, last_stopped, first_finished, old_content_kept);
}

}  // namespace
}  // namespace vireo
