// Walks a whole conversion run of a realistic project through every file
// operation, failing it or stopping the process dead there, and checks that
// the project always ends entirely old or entirely new.
#include <gtest/gtest.h>
#include <unistd.h>

#include "base/interrupt.h"
#include "engine/catalogue/grid_catalogue.h"
#include "engine/project/convert_project.h"
#include "engine/project/journal.h"
#include "engine/project/recovery.h"
#include "host/posix/path_resolver_posix.h"
#include "support/fake_ide.h"
#include "support/fake_ui.h"
#include "support/frx_builder.h"
#include "support/test_files.h"
#include "support/walk.h"

namespace vireo {
namespace {

using testing::CrLf;
using testing::GuidBytes;
using testing::ReadFile;
using testing::Record;

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
    tree.old_contents = Snapshot();
    // One undisturbed run on the side gives the new contents.
    RunResult reference = Convert(nullptr);
    ASSERT_EQ(reference.outcome, RunOutcome::kConverted) << reference.failure_reason;
    tree.new_contents = Snapshot();
    Restore();
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

  testing::Contents Snapshot() { return testing::SnapshotFiles(project.path(), names); }
  void Restore() { testing::RestoreFiles(project.path(), tree.old_contents); }

  RunResult Convert(FileSystem* files) {
    testing::FakeIde ide;
    ide.OpenProject(project.Join("P.vbp"));
    testing::FakeUserInterface ui;
    testing::FakeConvertDialog dialog(2, 5);
    testing::FakeStatusWindow status;
    PosixPathResolver resolver;
    std::optional<ScopedFileSystem> scope;
    if (files) scope.emplace(*files);
    // The walks go through the files converted on two threads, whatever
    // the machine's cores.
    RunOptions options;
    options.threads = Threads::kTwo;
    return ConvertProject(ide, {ui, dialog, status, resolver}, options);
  }

  virtual bool Linked() const { return false; }

  // "old", "new", "mixed" or the file that is wrong.
  std::string State() {
    testing::Contents now = Snapshot();
    for (const auto& [name, bytes] : now) {
      if (Linked() && ReadFile(elsewhere.Join(name)) != bytes) return name + " lost its other name";
    }
    return tree.StateOf(now);
  }

  // Files of ours left in the project folder or the temporary folder.
  int Leftovers() {
    return testing::CountFilesWithPrefix(project.path(), ".") +
           testing::CountFilesWithPrefix(project.path(), "P.vbp.vr5journal") +
           testing::CountFilesWithPrefix(temp_dir.path(), "vr5");
  }

  void Undisturbed(FileSystem& files) {
    EXPECT_EQ(Convert(&files).outcome, RunOutcome::kConverted);
  }
  int CountSteps() {
    int steps = testing::CountSteps([&](FileSystem& files) { Undisturbed(files); });
    Restore();
    return steps;
  }
  // The first and last step of an undisturbed run that is `operation` on a
  // path containing `fragment`.
  std::pair<int, int> StepsOf(const std::string& operation, const std::string& fragment) {
    auto steps =
        testing::StepsOf([&](FileSystem& files) { Undisturbed(files); }, operation, fragment);
    Restore();
    return steps;
  }

  testing::ScratchDir project, temp_dir, elsewhere;
  std::vector<std::string> names;
  testing::OldAndNew tree;
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
  testing::FailEachStep(
      steps, {std::errc::no_space_on_device, std::errc::io_error, std::errc::permission_denied},
      [&](FileSystem& files) { return Convert(&files); },
      [&](int, const testing::FaultyFileSystem& faulty, const RunResult& result) {
        std::string state = State();
        if (result.outcome == RunOutcome::kConverted) {
          EXPECT_EQ(state, "new");
        } else {
          ++failures;
          EXPECT_EQ(result.outcome, RunOutcome::kFailed);
          EXPECT_EQ(state, "old") << result.failure_reason;
          EXPECT_FALSE(result.failure_reason.empty());
        }
        EXPECT_EQ(Leftovers(), static_cast<int>(result.leftovers.size()))
            << "failing " << faulty.last_failure() << ": " << result.failure_reason;
        for (const std::string& path : result.leftovers) ::unlink(path.c_str());
        Restore();
      });
  std::printf(
      "[ fault walk ] %s: %d steps x 3 errors walked, %d runs failed cleanly, %zu files "
      "checked after each\n",
      Linked() ? "in place" : "replaced", steps, failures, names.size());
}

TEST_P(CrashSafetyWalk, ACrashAtAnyStepIsRecoveredToAllOldOrAllNew) {
  int steps = CountSteps();
  int finished = 0, undone = 0;
  testing::CrashAtEachStep(
      steps, [&](FileSystem& files) { Convert(&files); },
      [&](int, const testing::ChildRun& child) {
        std::string state = State();
        // A file rewritten in place may be cut short half-way; recovery mends it.
        bool torn = Linked() && state.find(" is neither") != std::string::npos;
        EXPECT_TRUE(state == "old" || state == "new" || state == "mixed" || torn) << state;
        RecoveryOutcome recovery =
            RecoverInterruptedCommit(project.Join("P.vbp"), PosixPathResolver());
        EXPECT_NE(recovery.result, RecoveryResult::kFailed) << recovery.message;
        std::string recovered = State();
        EXPECT_TRUE(recovered == "old" || recovered == "new") << recovered;
        if (recovery.result == RecoveryResult::kFinished) {
          ++finished;
          EXPECT_EQ(recovered, "new");
        }
        if (recovery.result == RecoveryResult::kUndone) {
          ++undone;
          EXPECT_EQ(recovered, "old");
        }
        if (!child.crashed()) {
          EXPECT_EQ(recovered, "new");
        }
        EXPECT_EQ(testing::CountFilesWithPrefix(project.path(), "."), 0);
        // A crash leaves the run lock's file; the next run takes it over.
        EXPECT_EQ(testing::CountFilesWithPrefix(project.path(), "P.vbp.vr5journal"), 0);
        Restore();
        // Temporary copies made before a crash are unknown to recovery.
        testing::EmptyFolder(temp_dir.path());
      });
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
  testing::InterruptEachStep(
      steps, [&](FileSystem& files) { return Convert(&files); },
      [&](int step, const RunResult& result) {
        std::string state = State();
        if (result.outcome == RunOutcome::kInterrupted) {
          last_stopped = step;
          EXPECT_EQ(state, "old");
          EXPECT_EQ(first_finished, 0) << "this step stopped, a step before it did not";
          EXPECT_EQ(result.failure_reason, "");
          EXPECT_EQ(result.replaced, 0);
        } else {
          if (!first_finished) first_finished = step;
          EXPECT_EQ(result.outcome, RunOutcome::kConverted);
          EXPECT_EQ(state, "new");
        }
        EXPECT_TRUE(result.leftovers.empty());
        EXPECT_EQ(Leftovers(), 0);
        EXPECT_FALSE(testing::FileExists(project.Join("P.vbp.vr5lock")));
        Restore();
      });
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
