// Where runs meet: a batch rerun after a crash, runs that wait for each
// other's files, a unit one of whose projects cannot be converted, and the
// exit statuses a script reads. Each must convert every file once, or not
// at all, and say no more than what happened.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <nlohmann/json.hpp>
#include <thread>

#include "base/file_system.h"
#include "cli/app.h"
#include "engine/catalogue/grid_catalogue.h"
#include "engine/project/project_file.h"
#include "support/faulty_file_system.h"
#include "support/frx_builder.h"
#include "support/reference_lines.h"
#include "support/run_program.h"
#include "support/test_files.h"
#include "support/walk.h"

namespace vireo {
namespace {

namespace fs = std::filesystem;
using testing::CrLf;
using testing::ReadFile;
using Tree = testing::Contents;

// A form whose FetchCellStyle header also declares a column of the old
// library: converted twice, it would gain a second marker.
std::string SharedForm() {
  return CrLf({"VERSION 4.00", "Begin VB.Form Common", "   Begin VireoCore.VireoCtl Grid1",
               "      OleObjectBlob = \"Common.frx\":0000", "   End", "End",
               "Private Sub Grid1_FetchCellStyle(ByVal Condition As Integer, ByVal Split As "
               "Integer, Bookmark As Variant, ByVal Col As Integer, ByVal CellStyle As "
               "VireoCore.StyleDisp, ByVal oCol As VireoCore.Column)",
               "End Sub", "Private Sub Grid1_FirstRowChange()", "End Sub",
               "Dim S As VireoCore.StyleDisp"});
}

int Markers(const std::string& text) {
  int count = 0;
  for (size_t at = text.find("'*** ORYX"); at != std::string::npos;
       at = text.find("'*** ORYX", at + 1))
    ++count;
  return count;
}

class SeamsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FillGridCatalogue();
    WriteUnit("pristine");
    WriteMore("pristine");
    fs::copy(root.Join("pristine"), root.Join("expected"), fs::copy_options::recursive);
    auto converted = Run({"convert", "-r", "--quiet", "--to", "5", root.Join("expected")});
    ASSERT_EQ(converted.status, 0) << converted.err;
    expected = Snapshot(root.Join("expected"));
    ASSERT_EQ(Markers(expected["shared/Common.frm"]), 3);
    Reset();
  }

  std::map<std::string, std::string> Environment() const {
    return {{"TMPDIR", temp.path()},
            {"HOME", temp.path()},
            {"WINEPREFIX", ""},
            {"LC_ALL", "C"},
            {"TERM", "dumb"}};
  }
  testing::ProgramRun Run(std::vector<std::string> args) const {
    return testing::RunProgram(VIREO_MIGRATE_BINARY, args, Environment());
  }
  // Two projects in sibling folders that share a form and a module.
  void WriteUnit(const std::string& base) {
    root.Write(base + "/shared/Common.frm", SharedForm());
    root.Write(base + "/shared/Common.frx",
               testing::Record(testing::GuidBytes(2, "CLSID_MsPlover"), 6));
    root.Write(base + "/shared/Grids.bas", testing::kDeclarationModule);
    for (const char* name : {"a/A.vbp", "b/B.vbp"}) {
      std::string folder = std::string(name).substr(0, 2);
      root.Write(base + "/" + folder + "Own.bas", testing::kDeclarationModule);
      root.Write(base + "/" + name,
                 CrLf({"Form=..\\shared\\Common.frm", "Module=Grids; ..\\shared\\Grids.bas",
                       "Module=Own; Own.bas", testing::kVireo40Line}));
    }
  }
  virtual void WriteMore(const std::string& base) { (void)base; }
  void Reset() {
    fs::remove_all(root.Join("tree"));
    fs::copy(root.Join("pristine"), root.Join("tree"), fs::copy_options::recursive);
  }
  static Tree Snapshot(const std::string& base) { return testing::SnapshotTree(base); }

  // The command line as a child's body: its exit status.
  testing::ChildBody CommandLine(const std::vector<std::string>& args) const {
    return [this, args](FileSystem& files) {
      for (const auto& [name, value] : Environment()) ::setenv(name.c_str(), value.c_str(), 1);
      std::FILE* null = std::fopen("/dev/null", "w");
      std::vector<std::string> words{"vireo-migrate"};
      words.insert(words.end(), args.begin(), args.end());
      std::vector<char*> argv;
      for (std::string& word : words) argv.push_back(word.data());
      ScopedFileSystem scope(files);
      return RunCommandLine(static_cast<int>(argv.size()), argv.data(), null, null);
    };
  }
  // Where the operations of one kind on paths holding `fragment` fall in a
  // whole run: {first, last}.
  std::pair<int, int> Watch(const std::vector<std::string>& args, const std::string& operation,
                            const std::string& fragment) {
    testing::FaultyFileSystem files;
    files.Watch(operation, fragment);
    testing::ChildRun run = testing::RunInChild(files, CommandLine(args));
    Reset();
    return {run.first_watched, run.last_watched};
  }
  int CrashAt(const std::vector<std::string>& args, int operation) {
    return testing::CrashAt(operation, CommandLine(args)).status;
  }

  testing::ScratchDir root, temp;
  Tree expected;
};

TEST_F(SeamsTest, ABatchRerunAfterACrashInTheCommitFinishesItAndConvertsNothingTwice) {
  std::vector<std::string> batch{"convert", "-r", "--jobs", "1", "--to", "5", root.Join("tree")};
  auto [first_form, last_form] = Watch(batch, "Rename", ".frm");
  ASSERT_GT(first_form, 0);
  ASSERT_EQ(CrashAt(batch, first_form + 1), testing::FaultyFileSystem::kCrashStatus);
  ASSERT_EQ(Markers(ReadFile(root.Join("tree/shared/Common.frm"))), 3)
      << "the crash came just past the form's replacement";
  auto rerun = Run({"convert", "-r", "--to", "5", root.Join("tree")});
  EXPECT_EQ(rerun.status, 3) << rerun.err << rerun.out;
  EXPECT_NE(rerun.err.find("was finished"), std::string::npos) << rerun.err;
  EXPECT_NE(rerun.out.find("2 already converted"), std::string::npos) << rerun.out;
  EXPECT_EQ(Snapshot(root.Join("tree")), expected)
      << "converted once: no second marker, no journal, copy or lock left";
}

TEST_F(SeamsTest, ABatchOverOneProjectOfACrashedUnitSettlesTheWholeUnitFirst) {
  std::vector<std::string> batch{"convert", "-r", "--jobs", "1", "--to", "5", root.Join("tree")};
  auto [first, last_project_rename] = Watch(batch, "Rename", "/a/A.vbp");
  ASSERT_GT(last_project_rename, first) << "the journal's renames, then the project's";
  ASSERT_EQ(CrashAt(batch, last_project_rename + 1), testing::FaultyFileSystem::kCrashStatus);
  ASSERT_NE(ReadFile(root.Join("tree/a/A.vbp")).find(testing::kProLine), std::string::npos)
      << "A's project file was replaced before the crash";
  ASSERT_EQ(ReadFile(root.Join("tree/b/B.vbp")), ReadFile(root.Join("pristine/b/B.vbp")));
  auto rerun = Run({"convert", "-r", root.Join("tree/a")});
  EXPECT_EQ(rerun.status, 3) << rerun.err << rerun.out;
  EXPECT_NE(rerun.out.find("already converted"), std::string::npos) << rerun.out;
  EXPECT_EQ(Snapshot(root.Join("tree")), expected) << "B converted by the recovery, nothing left";
}

// Two runs of projects that share a form: the second waits for the first's
// hold, then finds the form converted and leaves it as it is.
TEST_F(SeamsTest, TwoRunsThatShareAFormConvertItOnce) {
  FileHandle hold = -1;
  ASSERT_FALSE(PlatformFileSystem().Hold(root.Join("tree/shared/Common.frm"), &hold));
  auto a = std::async(std::launch::async, [&] {
    return Run({"convert", "--wait", "60", root.Join("tree/a/A.vbp")});
  });
  auto b = std::async(std::launch::async, [&] {
    return Run({"convert", "--wait", "60", root.Join("tree/b/B.vbp")});
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  PlatformFileSystem().Close(hold);
  auto first = a.get(), second = b.get();
  EXPECT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(Snapshot(root.Join("tree")), expected);

  auto again = Run({"convert", "--from", "Vireo 4.0", root.Join("tree/a/A.vbp")});
  EXPECT_EQ(again.status, 3) << again.err << again.out;
  EXPECT_NE(again.out.find("references Vireo Pro 5.0 for VB4 (VIRA5_32.OCX)."), std::string::npos)
      << again.out;
  EXPECT_EQ(Snapshot(root.Join("tree")), expected);
}

TEST_F(SeamsTest, AUnitWithASkippedProjectIsSkippedWholeAndNothingOfItChanges) {
  // B names two old libraries: which one to convert cannot be told.
  root.Write("tree/b/B.vbp",
             CrLf({"Form=..\\shared\\Common.frm", "Module=Grids; ..\\shared\\Grids.bas",
                   "Module=Own; Own.bas", testing::kVireo40Line, ObjectLineFor(1).c_str()}));
  Tree before = Snapshot(root.Join("tree"));
  for (const char* dry : {"--dry-run", "--quiet"}) {
    auto batch = Run({"convert", "-r", dry, root.Join("tree")});
    EXPECT_EQ(batch.status, 2) << batch.out << batch.err;
    EXPECT_EQ(Snapshot(root.Join("tree")), before) << dry;
  }
  auto batch = Run({"convert", "-r", root.Join("tree")});
  EXPECT_NE(batch.out.find("references more than one grid library"), std::string::npos)
      << batch.out;
  EXPECT_NE(batch.out.find("not converted: it shares " + root.Join("tree/shared/Common.frm") +
                           " with " + root.Join("tree/b/B.vbp") + ", which was skipped"),
            std::string::npos)
      << batch.out;
  EXPECT_NE(batch.out.find("2 projects in 1 unit: 2 skipped."), std::string::npos) << batch.out;
}

TEST_F(SeamsTest, AReportThatCannotBeWrittenIsRefusedFirstOrFailsTheRunSayingWhatWasDone) {
  Tree before = Snapshot(root.Join("tree"));
  for (const std::string& report :
       {root.Join("nowhere/report.json"), root.Join("tree/a"), root.Join("tree/a/A.vbp/x")}) {
    for (const char* option : {"--report", "--junit"}) {
      auto run = Run({"convert", option, report, root.Join("tree")});
      EXPECT_EQ(run.status, 2) << report << run.err;
      EXPECT_NE(run.err.find("nothing was changed"), std::string::npos) << run.err;
    }
    auto single = Run({"convert", "--report", report, root.Join("tree/a/A.vbp")});
    EXPECT_EQ(single.status, 2) << single.err;
  }
  EXPECT_EQ(Snapshot(root.Join("tree")), before);
  // A device that takes nothing passes the check, and fails the write.
  auto full = Run({"convert", "--report", "/dev/full", root.Join("tree/a/A.vbp")});
  EXPECT_EQ(full.status, 1) << full.err;
  EXPECT_NE(full.err.find("the conversion itself is done: " + root.Join("tree/a/A.vbp") +
                          " was converted"),
            std::string::npos)
      << full.err;
  Reset();
  auto batch = Run({"convert", "-r", "--junit", "/dev/full", root.Join("tree")});
  EXPECT_EQ(batch.status, 1) << batch.err;
  EXPECT_NE(batch.err.find("the batch itself is done: 2 of 2 projects were converted"),
            std::string::npos)
      << batch.err;
}

TEST_F(SeamsTest, AReportOnStandardOutputLeavesTheRestToStandardError) {
  auto single = Run({"convert", "--report", "-", root.Join("tree/a/A.vbp")});
  ASSERT_EQ(single.status, 0) << single.err;
  EXPECT_EQ(nlohmann::json::parse(single.out)["outcome"], "converted");
  EXPECT_NE(single.err.find("converted successfully"), std::string::npos) << single.err;
  Reset();
  auto batch = Run({"convert", "-r", "--report", "-", root.Join("tree")});
  ASSERT_EQ(batch.status, 0) << batch.err;
  EXPECT_EQ(nlohmann::json::parse(batch.out)["projects"].size(), 2u);
  EXPECT_NE(batch.err.find("2 projects in 1 unit: 2 converted."), std::string::npos);
  auto both = Run({"convert", "--report", "-", "--junit", "-", root.Join("tree")});
  EXPECT_EQ(both.status, 2);
}

// What a script reads from the exit status: 0 something converted and
// nothing failed, 3 nothing needed it, 1 a failure, 2 a usage mistake or a
// project whose type must be named, for one project as for a batch.
TEST_F(SeamsTest, ExitStatusesACiCanTrust) {
  struct Case {
    const char* what;
    std::function<void()> arrange;
    std::vector<std::string> args;
    int status;
  };
  std::string a = root.Join("tree/a/A.vbp"), tree = root.Join("tree");
  auto converted_a = [&] { ASSERT_EQ(Run({"convert", "--quiet", a}).status, 0); };
  auto no_grids_in_b = [&] {
    root.Write("tree/b/B.vbp", CrLf({"Module=Own; Own.bas"}));
    root.Write("tree/b/Own.bas", "Option Explicit\r\n");
  };
  auto broken_b = [&] { root.Write("tree/b/Own.bas", "Dim S As VireoCore.StyleDisp _"); };
  auto lone_b = [&] {
    root.Write("tree/b/B.vbp", CrLf({"Module=Own; Own.bas", testing::kVireo40Line}));
  };
  std::vector<Case> cases = {
      {"one project converted", {}, {"convert", a}, 0},
      {"one project already converted", converted_a, {"convert", a}, 3},
      {"one project, a source it has nothing of", {}, {"convert", "--from", "1", a}, 3},
      {"one project, a source it does not use", {}, {"convert", "--from", "4", a}, 2},
      {"one project, a file that fails", broken_b, {"convert", root.Join("tree/b/B.vbp")}, 1},
      {"one project, its type not told", no_grids_in_b, {"convert", root.Join("tree/b")}, 2},
      {"a misspelt option", {}, {"convert", "--dryrun", a}, 2},
      {"a form given as the project", {}, {"convert", root.Join("tree/shared/Common.frm")}, 2},
      {"a batch converted", {}, {"convert", "-r", tree}, 0},
      {"a batch, one converted and one already",
       converted_a,
       {"convert", a, root.Join("tree/b")},
       0},
      {"a batch already converted",
       [&] {
         ASSERT_EQ(Run({"convert", "-r", tree}).status, 0);
       },
       {"convert", "-r", tree},
       3},
      {"a batch with a failure", broken_b, {"convert", "-r", tree}, 1},
      {"a batch with a failure and a conversion",
       [&] {
         lone_b();
         broken_b();
       },
       {"convert", "-r", tree},
       1},
      {"a batch with a skipped project and a conversion",
       [&] {
         lone_b();
         root.Write("tree/b/B.vbp", CrLf({"Module=Own; Own.bas"}));
         root.Write("tree/b/Own.bas", "Option Explicit\r\n");
       },
       {"convert", "-r", tree},
       2},
      {"a batch that names nothing", {}, {"convert", "-r", root.Join("tree/shared")}, 2},
  };
  for (const Case& c : cases) {
    Reset();
    if (c.arrange) c.arrange();
    auto run = Run(c.args);
    EXPECT_EQ(run.status, c.status) << c.what << "\n" << run.out << run.err;
  }
}

TEST_F(SeamsTest, ASourceTheProjectDoesNotUseIsRefusedNamingTheOneItDoes) {
  Tree before = Snapshot(root.Join("tree"));
  auto run = Run({"convert", "--from", "4", root.Join("tree/a/A.vbp")});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("A.vbp: the project references VIRA32.OCX, not EVIRA32.OCX"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("--from"), std::string::npos);
  EXPECT_EQ(Snapshot(root.Join("tree")), before);
  auto batch = Run({"convert", "--from", "4", "-r", root.Join("tree")});
  EXPECT_EQ(batch.status, 2) << batch.out;
  EXPECT_EQ(Snapshot(root.Join("tree")), before);
}

TEST_F(SeamsTest, AProjectFileThatNamesOnlyTheTargetStillHasItsOldFormsConverted) {
  for (const char* name : {"tree/a/A.vbp", "tree/b/B.vbp"}) {
    root.Write(name, CrLf({"Form=..\\shared\\Common.frm", "Module=Grids; ..\\shared\\Grids.bas",
                           "Module=Own; Own.bas", testing::kProLine}));
  }
  auto batch = Run({"convert", "-r", root.Join("tree")});
  EXPECT_EQ(batch.status, 0) << batch.out << batch.err;
  EXPECT_NE(batch.out.find("Vireo 4.0"), std::string::npos) << "told from the forms";
  Tree after = Snapshot(root.Join("tree"));
  EXPECT_EQ(after["shared/Common.frm"], expected["shared/Common.frm"]);
  EXPECT_EQ(after["shared/Common.frx"], expected["shared/Common.frx"]);
  EXPECT_EQ(after["a/A.vbp"], expected["a/A.vbp"]);
  auto again = Run({"convert", "-r", root.Join("tree")});
  EXPECT_EQ(again.status, 3) << again.out;
}

TEST_F(SeamsTest, GroupsMustNameProjects) {
  struct Case {
    std::string line;
    std::string says;
  };
  std::vector<Case> cases = {
      {"Project=G.vbg", "G.vbg line 2: names the group itself"},
      {"Project=Other.vbg", "G.vbg line 2: names another project group"},
      {"StartupProject=a", "G.vbg line 2: names a folder"},
      {"Project=shared\\Grids.bas", "which is a code module, not a project"},
      {"Project=a\\Gone.vbp",
       "G.vbg line 2: names " + root.Join("tree/a/Gone.vbp") + ", which does not exist"},
  };
  root.Write("tree/Other.vbg", "VBGROUP 5.0\r\nProject=G.vbg\r\n");
  Tree before = Snapshot(root.Join("tree"));
  for (const Case& c : cases) {
    root.Write("tree/G.vbg", "VBGROUP 5.0\r\n" + c.line + "\r\nProject=a\\A.vbp\r\n");
    auto run = Run({"convert", root.Join("tree/G.vbg")});
    EXPECT_EQ(run.status, 2) << c.line;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
  }
  before.erase("G.vbg");
  Tree after = Snapshot(root.Join("tree"));
  after.erase("G.vbg");
  EXPECT_EQ(after, before);
}

// The unit of two projects and, beside it, a project of its own: a batch of
// two jobs converts the two units side by side and commits them as each is
// ready, from the threads they share.
class GroupedBatchWalk : public SeamsTest {
 protected:
  void WriteMore(const std::string& base) override {
    root.Write(base + "/c/Own.bas", testing::kDeclarationModule);
    root.Write(base + "/c/C.vbp", CrLf({"Module=Own; Own.bas", testing::kVireo40Line}));
  }
  // Empty when each unit of `now` is entirely as before the batch or as after
  // it; else which unit is neither.
  std::string MixedUnits(const Tree& now, const Tree& before) const {
    std::string wrong;
    for (bool lone : {false, true}) {
      std::string state = testing::OldAndNew{before, expected}.StateOf(
          now, [lone](const std::string& name) { return (name.compare(0, 2, "c/") == 0) == lone; });
      if (state != "old" && state != "new")
        wrong += std::string(lone ? "c" : "a, b and shared") + ": " + state + "; ";
    }
    return wrong;
  }
};

TEST_F(GroupedBatchWalk, ACrashAtAnyStepLeavesEachUnitOldOrNewAndTheRerunConvertsTheRestOnce) {
  std::vector<std::string> batch{"convert", "-r", "--jobs", "2", "--to", "5", root.Join("tree")};
  testing::FaultyFileSystem counter;
  int steps = testing::RunInChild(counter, CommandLine(batch)).operations;
  Reset();
  ASSERT_GT(steps, 0);
  Tree before = Snapshot(root.Join("tree"));
  int crashed = 0, both_new = 0, one_new = 0;
  for (int step = 1; step <= steps; ++step) {
    SCOPED_TRACE(testing::StepTrace(step));
    crashed += CrashAt(batch, step) == testing::FaultyFileSystem::kCrashStatus;
    auto recovered = Run({"recover", "-r", root.Join("tree")});
    EXPECT_TRUE(recovered.status == 0 || recovered.status == 3) << recovered.err;
    Tree now = Snapshot(root.Join("tree"));
    EXPECT_EQ(MixedUnits(now, before), "");
    both_new += now == expected;
    one_new += now != expected && now != before;
    auto rerun = Run({"convert", "-r", "--to", "5", root.Join("tree")});
    EXPECT_TRUE(rerun.status == 0 || rerun.status == 3) << rerun.err << rerun.out;
    EXPECT_EQ(testing::OldAndNew({before, expected}).StateOf(Snapshot(root.Join("tree"))), "new")
        << "each file converted once, nothing left";
    Reset();
    if (HasFailure()) break;
  }
  std::printf(
      "[ crash walk ] batch of two units, two jobs: %d steps, %d crashes; after recovery both "
      "units new %d times, one of them %d times\n",
      steps, crashed, both_new, one_new);
}

}  // namespace
}  // namespace vireo
