// Two projects that share a module and a form, converted as one unit:
// every file operation is failed, or the process stopped dead there, and
// both projects must end entirely old or entirely new together, whichever
// project recovery is started from.
#include "engine/project/unit_run.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <optional>

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
using testing::Record;

struct UnitOutcome {
  bool committed = false;
  std::string reason;
  std::vector<std::string> leftovers;
  std::vector<RunResult> runs;
};

class UnitRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FillGridCatalogue();
    ::setenv("TMPDIR", temp_dir.path().c_str(), 1);
    WriteProjects();
    tree.old_contents = Snapshot();
    UnitOutcome reference = ConvertUnit(nullptr);
    ASSERT_TRUE(reference.committed) << reference.reason;
    tree.new_contents = Snapshot();
    Restore();
  }
  void TearDown() override { ::unsetenv("TMPDIR"); }

  void Add(const std::string& name, const std::string& bytes) {
    names.push_back(name);
    root.Write(name, bytes);
  }
  void WriteProjects() {
    Add("shared/Common.frm",
        CrLf({"VERSION 4.00", "Begin VB.Form Common", "   Begin VireoCore.VireoCtl Grid1",
              "      OleObjectBlob = \"Common.frx\":0000", "   End", "End",
              "Private Sub Grid1_FirstRowChange()", "End Sub"}));
    Add("shared/Common.frx", Record(GuidBytes(2, "CLSID_MsPlover"), 6));
    Add("shared/Grids.bas", CrLf({"Option Explicit", "Public S As VireoCore.StyleDisp"}));
    for (const char* project : {"p/P.vbp", "q/Q.vbp"}) {
      std::string folder = std::string(project).substr(0, 2);
      Add(folder + "Own.bas", CrLf({"Option Explicit", "Dim N As New VireoCore.Columns"}));
      Add(project, CrLf({"Form=..\\shared\\Common.frm", "Module=Grids; ..\\shared\\Grids.bas",
                         "Module=Own; Own.bas",
                         "Object={7D4E5B34-1A2C-11CF-8E41-00805F2C6A19}#4.0#0; VIRA32.OCX"}));
    }
  }

  testing::Contents Snapshot() { return testing::SnapshotFiles(root.path(), names); }
  void Restore() { testing::RestoreFiles(root.path(), tree.old_contents); }

  // What the batch does with a unit: hold and journal, convert each project
  // into the unit, commit once.
  UnitOutcome ConvertUnit(FileSystem* files) {
    std::optional<ScopedFileSystem> scope;
    if (files) scope.emplace(*files);
    PosixPathResolver resolver;
    UnitOutcome outcome;
    UnitRun unit;
    if (!unit.Begin({root.Join("p/P.vbp"), root.Join("q/Q.vbp")}, resolver, {})) {
      outcome.reason = unit.failure_reason();
      return outcome;
    }
    for (const char* project : {"p/P.vbp", "q/Q.vbp"}) {
      testing::FakeIde ide;
      ide.OpenProject(root.Join(project));
      testing::FakeUserInterface ui;
      testing::FakeConvertDialog dialog(2, 5);
      testing::FakeStatusWindow status;
      RunOptions options;
      options.project_locked = true;
      options.unit = &unit;
      outcome.runs.push_back(ConvertProject(ide, {ui, dialog, status, resolver}, options));
      const RunResult& run = outcome.runs.back();
      outcome.leftovers.insert(outcome.leftovers.end(), run.leftovers.begin(), run.leftovers.end());
      if (run.outcome != RunOutcome::kConverted) {
        outcome.reason = run.failure_reason;
        std::vector<std::string> left = unit.Discard();
        outcome.leftovers.insert(outcome.leftovers.end(), left.begin(), left.end());
        return outcome;
      }
    }
    CommitOutcome committed = unit.Commit();
    outcome.committed = committed.ok;
    outcome.reason = committed.reason;
    outcome.leftovers.insert(outcome.leftovers.end(), committed.leftovers.begin(),
                             committed.leftovers.end());
    return outcome;
  }

  // "old", "new", "mixed", or the file that is neither.
  std::string State() { return tree.StateOf(Snapshot()); }

  int Leftovers() {
    int count = testing::CountFilesWithPrefix(temp_dir.path(), "vr5");
    for (const char* folder : {"p", "q", "shared"}) {
      count += testing::CountFilesWithPrefix(root.Join(folder), ".");
      count += testing::CountFilesWithPrefix(root.Join(folder), "P.vbp.vr5journal");
      count += testing::CountFilesWithPrefix(root.Join(folder), "Q.vbp.vr5journal");
    }
    return count;
  }

  int CountSteps() {
    int steps =
        testing::CountSteps([&](FileSystem& files) { EXPECT_TRUE(ConvertUnit(&files).committed); });
    Restore();
    return steps;
  }

  testing::ScratchDir root, temp_dir;
  std::vector<std::string> names;
  testing::OldAndNew tree;
};

TEST_F(UnitRunTest, EachSharedFileIsConvertedOnceAndCountsForBothProjects) {
  UnitOutcome outcome = ConvertUnit(nullptr);
  ASSERT_TRUE(outcome.committed) << outcome.reason;
  ASSERT_EQ(outcome.runs.size(), 2u);
  for (const RunResult& run : outcome.runs) {
    int changed = 0;
    for (const FileOutcome& file : run.files) changed += file.result == kChanged;
    EXPECT_EQ(changed, 4) << "the form, both modules and the project file";
  }
  // The second project took the shared files' results without converting them.
  EXPECT_EQ(outcome.runs[1].changed_lines.count(root.Join("shared/Grids.bas")), 0u);
  EXPECT_EQ(State(), "new");
  EXPECT_EQ(Leftovers(), 0);
}

TEST_F(UnitRunTest, AFailingStepLeavesBothProjectsOldOrBothNew) {
  int steps = CountSteps();
  int failures = 0;
  testing::FailEachStep(
      steps, {std::errc::no_space_on_device, std::errc::io_error},
      [&](FileSystem& files) { return ConvertUnit(&files); },
      [&](int, const testing::FaultyFileSystem& faulty, const UnitOutcome& outcome) {
        std::string state = State();
        if (outcome.committed) {
          EXPECT_EQ(state, "new");
        } else {
          ++failures;
          EXPECT_EQ(state, "old") << outcome.reason;
          EXPECT_FALSE(outcome.reason.empty());
        }
        EXPECT_EQ(Leftovers(), static_cast<int>(outcome.leftovers.size()))
            << "failing " << faulty.last_failure() << ": " << outcome.reason;
        for (const std::string& path : outcome.leftovers) ::unlink(path.c_str());
        Restore();
      });
  std::printf("[ unit fault walk ] %d steps x 2 errors walked, %d units failed cleanly\n", steps,
              failures);
}

TEST_F(UnitRunTest, ACrashAtAnyStepIsRecoveredFromEitherProject) {
  int steps = CountSteps();
  int finished = 0, undone = 0;
  testing::CrashAtEachStep(
      steps, [&](FileSystem& files) { ConvertUnit(&files); },
      [&](int step, const testing::ChildRun&) {
        // The unit's own journal is beside P; Q's only points to it.
        std::string from = root.Join(step % 2 ? "q/Q.vbp" : "p/P.vbp");
        RecoveryOutcome recovery = RecoverInterruptedCommit(from, PosixPathResolver());
        EXPECT_NE(recovery.result, RecoveryResult::kFailed) << recovery.message;
        std::string recovered = State();
        EXPECT_TRUE(recovered == "old" || recovered == "new") << recovered;
        finished += recovery.result == RecoveryResult::kFinished;
        undone += recovery.result == RecoveryResult::kUndone;
        if (recovery.result == RecoveryResult::kFinished) {
          EXPECT_EQ(recovered, "new");
        }
        if (recovery.result == RecoveryResult::kUndone) {
          EXPECT_EQ(recovered, "old");
        }
        // A crash before Q's pointer was written, or after it was removed,
        // leaves P's journal for P's next run, with nothing left to change.
        if (HasInterruptedCommit(root.Join("p/P.vbp"))) {
          RecoveryOutcome rest =
              RecoverInterruptedCommit(root.Join("p/P.vbp"), PosixPathResolver());
          EXPECT_NE(rest.result, RecoveryResult::kFailed) << rest.message;
          EXPECT_EQ(State(), recovered);
        }
        EXPECT_FALSE(HasInterruptedCommit(root.Join("p/P.vbp")));
        EXPECT_FALSE(HasInterruptedCommit(root.Join("q/Q.vbp")));
        EXPECT_EQ(testing::CountFilesWithPrefix(root.Join("shared"), "."), 0);
        Restore();
        testing::EmptyFolder(temp_dir.path());
      });
  EXPECT_GT(finished, 0);
  EXPECT_GT(undone, 0);
  std::printf("[ unit crash walk ] %d steps, %d recovered by finishing, %d by undoing\n", steps,
              finished, undone);
}

}  // namespace
}  // namespace vireo
