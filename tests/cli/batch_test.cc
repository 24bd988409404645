// Batch runs: many projects at once, in units of projects that share files.
// The outcome of a batch must be what converting each unit alone gives.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <nlohmann/json.hpp>
#include <thread>

#include "base/file_system.h"
#include "engine/catalogue/grid_catalogue.h"
#include "engine/project/project_file.h"
#include "support/frx_builder.h"
#include "support/reference_lines.h"
#include "support/run_program.h"
#include "support/test_files.h"

namespace vireo {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using Tree = std::map<std::string, std::string>;

constexpr auto& kModule = testing::kDeclarationModule;

std::string Form(const std::string& name) {
  return testing::CrLf({"VERSION 4.00", ("Begin VB.Form " + name).c_str(),
                        "   Begin VireoCore.VireoCtl Grid1",
                        ("      OleObjectBlob = \"" + name + ".frx\":0000").c_str(), "   End",
                        "End", "Private Sub Grid1_FirstRowChange()", "End Sub"});
}

class BatchTest : public ::testing::Test {
 protected:
  std::map<std::string, std::string> Environment() const {
    return {{"TMPDIR", temp.path()}, {"HOME", temp.path()}, {"WINEPREFIX", ""},
            {"LC_ALL", "C"},         {"TERM", "dumb"}};
  }
  testing::ProgramRun Run(std::vector<std::string> args) const {
    return testing::RunProgram(VIREO_MIGRATE_BINARY, args, Environment());
  }
  std::string Write(const std::string& path, const std::string& content) {
    return root.Write("tree/" + path, content);
  }
  void WriteProject(const std::string& path, const std::vector<std::string>& lines,
                    const std::string& reference = testing::kVireo40Line) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    Write(path, text + reference + "\r\n");
  }
  void WriteForm(const std::string& folder, const std::string& name) {
    Write(folder + "/" + name + ".frm", Form(name));
    Write(folder + "/" + name + ".frx", testing::Record(testing::GuidBytes(2, "CLSID_MsPlover"), 6));
  }
  // Groups of projects that share a module and a form in a folder of their
  // own, and projects that share nothing; some need no change at all.
  int GenerateTree(int groups) {
    int projects = 0;
    for (int g = 0; g < groups; ++g) {
      std::string shared = "shared" + std::to_string(g);
      Write(shared + "/Grids.bas", kModule);
      WriteForm(shared, "Common" + std::to_string(g));
      for (int p = 0; p < 3; ++p, ++projects) {
        std::string folder = "apps/g" + std::to_string(g) + "/p" + std::to_string(p);
        Write(folder + "/Own.bas", p == 2 ? "Option Explicit\r\n" : kModule);
        std::vector<std::string> lines{"Module=Grids; ..\\..\\..\\" + shared + "\\Grids.bas",
                                       "Module=Own; Own.bas"};
        if (p != 1)
          lines.push_back("Form=..\\..\\..\\" + shared + "\\Common" + std::to_string(g) + ".frm");
        WriteProject(folder + "/P.vbp", lines);
      }
      std::string alone = "solo/s" + std::to_string(g);
      WriteForm(alone, "Solo");
      WriteProject(alone + "/Solo.vbp", {"Form=Solo.frm"});
      ++projects;
    }
    return projects;
  }
  Tree Snapshot(const std::string& base) const {
    Tree tree;
    for (const auto& entry : fs::recursive_directory_iterator(base)) {
      if (entry.is_regular_file())
        tree[fs::relative(entry.path(), base).string()] = ReadFile(entry.path().string());
    }
    return tree;
  }
  std::vector<std::string> ProjectsBelow(const std::string& base) const {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(base)) {
      std::string ext = entry.path().extension().string();
      if (ext == ".vbp") found.push_back(entry.path().string());
    }
    std::sort(found.begin(), found.end());
    return found;
  }

  testing::ScratchDir root, temp;
};

TEST_F(BatchTest, ATreeConvertedInOneRunEqualsEachProjectConvertedInTurn) {
  int projects = GenerateTree(13);
  ASSERT_GE(projects, 50);
  fs::copy(root.Join("tree"), root.Join("alone"), fs::copy_options::recursive);
  std::string report = root.Join("report.json"), junit = root.Join("junit.xml");
  auto batch = Run({"convert", "-r", "--jobs", "2", "--report", report, "--junit", junit,
                    root.Join("tree")});
  ASSERT_EQ(batch.status, 0) << batch.err << batch.out;
  for (const std::string& project : ProjectsBelow(root.Join("alone"))) {
    auto single = Run({"convert", "--quiet", project});
    ASSERT_TRUE(single.status == 0 || single.status == 3) << project << ": " << single.err;
  }
  Tree together = Snapshot(root.Join("tree")), in_turn = Snapshot(root.Join("alone"));
  EXPECT_EQ(together, in_turn);
  EXPECT_NE(together["apps/g0/p2/P.vbp"].find(testing::kProLine), std::string::npos)
      << "a project whose own files needed nothing still moves its reference";

  auto json = nlohmann::json::parse(ReadFile(report));
  EXPECT_EQ(json["projects"].size(), static_cast<size_t>(projects));
  EXPECT_EQ(json["units"].size(), 26u) << "13 groups of three and 13 projects alone";
  for (const auto& entry : json["projects"]) {
    EXPECT_EQ(entry["outcome"], "converted") << entry["project"];
    std::string path = entry["project"];
    // The shared module changes for every project that lists it.
    if (path.find("/p2/") != std::string::npos) {
      EXPECT_EQ(entry["files_changed"], 4) << path;
    }
  }
  std::string xml = ReadFile(junit);
  EXPECT_NE(xml.find("tests=\"" + std::to_string(projects) + "\" failures=\"0\""),
            std::string::npos);
  EXPECT_NE(batch.out.find(std::to_string(projects) + " projects in 26 units: " +
                           std::to_string(projects) + " converted."),
            std::string::npos)
      << batch.out;
}

TEST_F(BatchTest, AFailingUnitChangesNothingOfItsOwnAndTheOthersStillConvert) {
  GenerateTree(3);
  // g1's shared form's side file is damaged: its record runs past the end.
  Write("shared1/Common1.frx", testing::Record(testing::GuidBytes(2, "CLSID_MsPlover"), 6, 4096));
  Tree before = Snapshot(root.Join("tree"));
  auto batch = Run({"convert", "-r", root.Join("tree")});
  EXPECT_EQ(batch.status, 1) << batch.err;
  Tree after = Snapshot(root.Join("tree"));
  for (const auto& [name, bytes] : after) {
    bool in_failed_unit = name.find("g1/") != std::string::npos || name.find("shared1/") == 0;
    if (in_failed_unit) {
      EXPECT_EQ(bytes, before[name]) << name;
    } else if (name.find(".vbp") != std::string::npos) {
      EXPECT_NE(bytes, before[name]) << name << " converted";
    }
  }
  EXPECT_NE(batch.out.find("Common1.frx: the record at offset 0"), std::string::npos)
      << batch.out;
  EXPECT_NE(batch.out.find("not converted: it shares " + root.Join("tree/shared1/Grids.bas") +
                           " with " + root.Join("tree/apps/g1/p0/P.vbp") + ", which failed"),
            std::string::npos)
      << batch.out;
}

// Where the process may open few files, units that together would hold more
// wait for one another instead of failing with "Too many open files".
TEST_F(BatchTest, UnitsThatWouldOpenTooManyFilesTogetherTakeTurns) {
  for (int p = 0; p < 4; ++p) {
    std::string folder = "many/p" + std::to_string(p);
    std::vector<std::string> lines;
    for (int f = 0; f < 20; ++f) {
      std::string name = "F" + std::to_string(f);
      WriteForm(folder, name);
      lines.push_back("Form=" + name + ".frm");
    }
    WriteProject(folder + "/P.vbp", lines);
  }
  // A hard limit of 100 that the run cannot raise: four units of 41 files
  // each, held at once, would need 164.
  auto batch = testing::RunProgram(
      "/bin/sh",
      {"-c", "ulimit -n 100 && exec \"$0\" convert -r --jobs 4 --from 2 --to 5 \"$1\"",
       VIREO_MIGRATE_BINARY, root.Join("tree")},
      Environment());
  EXPECT_EQ(batch.status, 0) << batch.err << batch.out;
  EXPECT_NE(batch.out.find("4 projects in 4 units: 4 converted."), std::string::npos) << batch.out;
}

// Paths are bytes: a folder named on a Greek machine (Windows-1253, no UTF-8)
// is found by its folder and below it, and named with the same bytes.
TEST_F(BatchTest, FoldersWhoseNamesAreNoUtf8AreFoundAndNamedByTheirBytes) {
  const std::string greek = "\xD6\xDC\xEA\xE5\xEB\xEF\xF2";
  Write(greek + "/Grids.bas", kModule);
  for (const std::string project : {"p", "q"}) {
    WriteForm(greek + "/" + project, "Main");
    WriteProject(greek + "/" + project + "/P.vbp",
                 {"Form=Main.frm", "Module=Grids; ..\\Grids.bas"});
  }
  auto single = Run({"convert", root.Join("tree/" + greek + "/p")});
  EXPECT_EQ(single.status, 0) << single.err;
  EXPECT_NE(single.err.find("will be changed:\n  " + root.Join("tree/" + greek + "/Grids.bas")),
            std::string::npos)
      << single.err;
  auto batch = Run({"convert", "-r", root.Join("tree")});
  EXPECT_EQ(batch.status, 0) << batch.err;
  EXPECT_NE(batch.out.find(root.Join("tree/" + greek + "/q/P.vbp")), std::string::npos)
      << batch.out;
  EXPECT_NE(ReadFile(root.Join("tree/" + greek + "/q/Main.frm")), Form("Main"));
}

TEST_F(BatchTest, ProjectsThatShareFilesButUseDifferentGridTypesAreAFailedUnit) {
  Write("common/Grids.bas", kModule);
  WriteProject("a/A.vbp", {"Module=Grids; ..\\common\\Grids.bas"});
  WriteProject("b/B.vbp", {"Module=Grids; ..\\common\\Grids.bas"},
               ObjectLineFor(3));
  WriteForm("c", "Solo");
  WriteProject("c/C.vbp", {"Form=Solo.frm"});
  Tree before = Snapshot(root.Join("tree"));
  auto batch = Run({"convert", root.Join("tree/a/A.vbp"), root.Join("tree/b"),
                    root.Join("tree/c/C.vbp")});
  EXPECT_EQ(batch.status, 1) << batch.err;
  EXPECT_NE(batch.out.find("share files but use different grid types"), std::string::npos)
      << batch.out;
  Tree after = Snapshot(root.Join("tree"));
  for (const char* name : {"a/A.vbp", "b/B.vbp", "common/Grids.bas"})
    EXPECT_EQ(after[name], before[name]) << name;
  EXPECT_NE(after["c/C.vbp"], before["c/C.vbp"]);
}

// One module reached through a linked folder is still one file: its two
// projects are one unit and it is converted once, counted for each; a
// project that cannot be read is a unit of its own and fails alone.
TEST_F(BatchTest, ProjectsReachingOneFileByTwoNamesAreOneUnit) {
  Write("common/Grids.bas", kModule);
  fs::create_directory_symlink(root.Join("tree/common"), root.Join("tree/linked"));
  WriteProject("a/A.vbp", {"Module=Grids; ..\\common\\Grids.bas"});
  WriteProject("b/B.vbp", {"Module=Grids; ..\\linked\\Grids.bas"});
  Write("c/C.vbp", std::string("Module=Own; Own.bas\r\n\0\r\n", 24));
  std::string report = root.Join("report.json");
  auto batch = Run({"convert", "--from", "2", "--report", report, root.Join("tree/a/A.vbp"),
                    root.Join("tree/b/B.vbp"), root.Join("tree/c/C.vbp")});
  EXPECT_EQ(batch.status, 1) << batch.err << batch.out;
  EXPECT_NE(batch.out.find("3 projects in 2 units: 2 converted, 1 failed."), std::string::npos)
      << batch.out;
  auto json = nlohmann::json::parse(ReadFile(report));
  for (const auto& entry : json["projects"]) {
    std::string path = entry["project"];
    if (path.find("C.vbp") != std::string::npos) continue;
    EXPECT_EQ(entry["files_changed"], 2) << path;
  }
  std::string module = ReadFile(root.Join("tree/common/Grids.bas"));
  EXPECT_EQ(module, ReadFile(root.Join("tree/linked/Grids.bas")));
  EXPECT_EQ(module.find(testing::kDeclarationConverted),
            module.rfind(testing::kDeclarationConverted))
      << "converted once";
  EXPECT_NE(module.find(testing::kDeclarationConverted), std::string::npos);
}

TEST_F(BatchTest, AProjectGroupConvertsItsProjectsAndTheSameProjectCountsOnce) {
  GenerateTree(1);
  root.Write("tree/All.vbg",
             "VBGROUP 5.0\r\nStartupProject=apps\\g0\\p0\\P.vbp\r\nProject=apps\\g0\\p1\\P.vbp\r\n"
             "Project=solo\\s0\\Solo.vbp\r\n");
  auto batch = Run({"convert", "--dry-run", root.Join("tree/All.vbg"),
                    root.Join("tree/solo/s0/Solo.vbp")});
  EXPECT_EQ(batch.status, 0) << batch.err;
  EXPECT_NE(batch.out.find("3 projects in 2 units: 3 would be converted; nothing was changed"),
            std::string::npos)
      << batch.out;
  EXPECT_NE(ReadFile(root.Join("tree/solo/s0/Solo.vbp")).find(testing::kVireo40Line),
            std::string::npos)
      << "a dry run changes nothing";
  root.Write("tree/Empty.vbg", "VBGROUP 5.0\r\n");
  auto empty = Run({"convert", root.Join("tree/Empty.vbg")});
  EXPECT_EQ(empty.status, 2);
  EXPECT_NE(empty.err.find("Empty.vbg: the project group lists no project"), std::string::npos);
  auto missing = Run({"convert", root.Join("tree/solo"), root.Join("tree/nowhere")});
  EXPECT_EQ(missing.status, 2);
}

TEST_F(BatchTest, AProjectWhoseTypeCannotBeToldIsSkippedAndTheOthersGoOn) {
  WriteForm("a", "Solo");
  WriteProject("a/A.vbp", {"Form=Solo.frm"});
  Write("b/Own.bas", "Option Explicit\r\n");
  WriteProject("b/B.vbp", {"Module=Own; Own.bas"}, "Reference=*\\G{00020430-0000}#2.0#0#x#OLE");
  auto batch = Run({"convert", "-r", root.Join("tree")});
  EXPECT_EQ(batch.status, 2) << batch.err;
  EXPECT_NE(batch.out.find("skipped"), std::string::npos) << batch.out;
  EXPECT_NE(batch.out.find("cannot tell which grid type it uses"), std::string::npos);
  EXPECT_NE(ReadFile(root.Join("tree/a/A.vbp")).find(testing::kProLine), std::string::npos);
}

// A unit holds every file of its projects before it converts any: one that
// another run holds fails the whole unit with nothing of it changed, the
// other units convert, and a second batch converts the unit.
TEST_F(BatchTest, AUnitWhoseFileAnotherRunHoldsFailsWholeAndARerunConvertsIt) {
  GenerateTree(1);
  std::string held = root.Join("tree/apps/g0/p1/Own.bas");
  std::map<std::string, std::string> before;
  for (const char* p : {"p0", "p1", "p2"}) {
    std::string project = root.Join("tree/apps/g0/" + std::string(p) + "/P.vbp");
    before[project] = ReadFile(project);
  }
  FileHandle hold = -1;
  ASSERT_FALSE(PlatformFileSystem().Hold(held, &hold));
  auto first = Run({"convert", "-r", "--wait", "0", root.Join("tree")});
  PlatformFileSystem().Close(hold);
  EXPECT_EQ(first.status, 1) << first.out;
  EXPECT_NE(first.out.find("p1/Own.bas: another run is converting it"), std::string::npos)
      << first.out;
  EXPECT_NE(first.out.find("1 converted, 3 failed"), std::string::npos) << first.out;
  for (const auto& [project, bytes] : before) {
    EXPECT_EQ(ReadFile(project), bytes) << project;
    EXPECT_FALSE(testing::FileExists(project + ".vr5journal")) << project;
  }
  auto again = Run({"convert", "-r", root.Join("tree")});
  EXPECT_EQ(again.status, 0) << again.out;
  for (const auto& [project, bytes] : before)
    EXPECT_NE(ReadFile(project).find(testing::kProLine), std::string::npos) << project;
}

TEST_F(BatchTest, RecoverTakesTheSameArgumentsAndSettlesEachProject) {
  GenerateTree(2);
  // An interrupted commit of one project: its journal names what it changes.
  Write("solo/s1/Solo.vbp.vr5journal", "not a journal\n");
  auto recover = Run({"recover", "-r", root.Join("tree")});
  EXPECT_EQ(recover.status, 1) << recover.out << recover.err;
  EXPECT_NE(recover.out.find("apps/g0/p0/P.vbp: no interrupted conversion to recover"),
            std::string::npos)
      << recover.out;
  EXPECT_NE(recover.err.find("Solo.vbp.vr5journal"), std::string::npos) << recover.err;
  EXPECT_TRUE(testing::FileExists(root.Join("tree/solo/s1/Solo.vbp.vr5journal.rejected")));
}

// Interrupted at several moments, every unit is entirely old or entirely new
// and nothing of the run is left behind.
TEST_F(BatchTest, AnInterruptedBatchLeavesEveryUnitWholeAndNothingBehind) {
  GenerateTree(12);
  fs::copy(root.Join("tree"), root.Join("pristine"), fs::copy_options::recursive);
  fs::copy(root.Join("tree"), root.Join("converted"), fs::copy_options::recursive);
  ASSERT_EQ(Run({"convert", "-r", "--quiet", root.Join("converted")}).status, 0);
  Tree old_tree = Snapshot(root.Join("pristine")), new_tree = Snapshot(root.Join("converted"));
  for (int delay_ms : {0, 5, 20, 60, 150}) {
    fs::remove_all(root.Join("tree"));
    fs::copy(root.Join("pristine"), root.Join("tree"), fs::copy_options::recursive);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (const auto& [name, value] : Environment()) ::setenv(name.c_str(), value.c_str(), 1);
      int null = ::open("/dev/null", O_RDWR);
      ::dup2(null, 1);
      ::dup2(null, 2);
      ::execl(VIREO_MIGRATE_BINARY, VIREO_MIGRATE_BINARY, "convert", "-r", "--jobs", "2",
              root.Join("tree").c_str(), static_cast<char*>(nullptr));
      std::_Exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
    ::kill(child, SIGINT);
    int status = 0;
    ::waitpid(child, &status, 0);
    Tree now = Snapshot(root.Join("tree"));
    if (WIFSIGNALED(status)) {
      // Stopped dead before it could catch the signal: before it read anything.
      EXPECT_EQ(now, old_tree) << delay_ms;
      continue;
    }
    EXPECT_TRUE(WEXITSTATUS(status) == 4 || WEXITSTATUS(status) == 0) << WEXITSTATUS(status);
    ASSERT_EQ(now.size(), old_tree.size()) << "files of the run left behind after " << delay_ms;
    // A unit: a shared folder and the projects of its group, or a solo project.
    std::map<std::string, std::set<std::string>> unit_states;
    for (const auto& [name, bytes] : now) {
      std::string unit = name;
      if (name.rfind("shared", 0) == 0) unit = "g" + name.substr(6, name.find('/') - 6);
      if (name.rfind("apps/", 0) == 0) unit = name.substr(5, name.find('/', 5) - 5);
      if (name.rfind("solo/", 0) == 0) unit = name.substr(0, name.find('/', 5));
      if (bytes == old_tree[name] && bytes == new_tree[name]) continue;
      unit_states[unit].insert(bytes == old_tree[name] ? "old"
                               : bytes == new_tree[name] ? "new"
                                                         : "neither");
    }
    int converted = 0;
    for (const auto& [unit, states] : unit_states) {
      EXPECT_EQ(states.size(), 1u) << unit << " after " << delay_ms << " ms: mixed";
      converted += states.count("new") > 0;
    }
    std::printf("[ batch interrupt ] after %d ms: %d of %zu units converted, exit %d\n", delay_ms,
                converted, unit_states.size(), WEXITSTATUS(status));
  }
  EXPECT_EQ(testing::CountFilesWithPrefix(temp.path(), "vr5"), 0);
}

}  // namespace
}  // namespace vireo
