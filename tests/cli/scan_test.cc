// The survey of a share, the review page and the git check, run through the
// program: a scan counts what a dry run would change and touches nothing; a
// page says what the report says, as text; files with uncommitted work in
// git are refused; a batch keeps each project's originals apart.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>

#include "support/run_program.h"
#include "support/test_files.h"

namespace vireo {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using Json = nlohmann::json;

struct FileState {
  std::string bytes;
  int64_t mtime_ns = 0, atime_ns = 0;
  bool operator==(const FileState&) const = default;
};

// The test's own reads must not move the times it compares.
std::string ReadKeepingAccessTime(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NOATIME);
  std::string bytes;
  char buffer[65536];
  for (ssize_t n; fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) > 0;) bytes.append(buffer, n);
  if (fd >= 0) ::close(fd);
  return bytes;
}

class SurveyTest : public ::testing::Test {
 protected:
  std::map<std::string, std::string> Environment() const {
    return {{"TMPDIR", temp.path()},
            {"HOME", temp.path()},
            {"WINEPREFIX", ""},
            {"LC_ALL", "C"},
            {"TERM", "dumb"},
            {"GIT_CONFIG_NOSYSTEM", "1"},
            {"XDG_CONFIG_HOME", temp.path()}};
  }
  testing::ProgramRun Run(const std::vector<std::string>& args) const {
    return testing::RunProgram(VIREO_MIGRATE_BINARY, args, Environment());
  }
  std::string Tree(const std::string& relative = "") const { return root.Join("tree/" + relative); }
  // A copy of the sample project at `folder`, its project file named `name`.
  void Sample(const std::string& folder, const std::string& name = "Inventory.vbp") {
    fs::create_directories(Tree(folder));
    for (const auto& entry : fs::directory_iterator(VIREO_SOURCE_DIR "/examples/inventory")) {
      std::string target =
          entry.path().filename() == "Inventory.vbp" ? name : entry.path().filename().string();
      fs::copy_file(entry.path(), Tree(folder + "/" + target));
    }
  }
  // Sample projects, some sharing a module, one missing a file, one with no
  // grid at all, one already converted.
  void GenerateShare(int count) {
    for (int i = 0; i < count; ++i) Sample("apps/p" + std::to_string(i));
    for (int i = 0; i < count; i += 4) {
      std::string project = Tree("apps/p" + std::to_string(i) + "/Inventory.vbp");
      testing::WriteFile(project,
                         ReadFile(project) + "Module=Shared; ..\\..\\common\\Shared.bas\r\n");
    }
    root.Write("tree/common/Shared.bas", "Public G As VireoCore.StyleDisp\r\n");
    fs::remove(Tree("apps/p1/Grids.bas"));
    root.Write("tree/apps/plain/Plain.vbp", "Module=M; M.bas\r\n");
    root.Write("tree/apps/plain/M.bas", "Option Explicit\r\n");
    Sample("apps/done");
    ASSERT_EQ(Run({"convert", "-q", Tree("apps/done")}).status, 0);
  }
  // Every file below the tree with its bytes and times (access times too
  // when asked).
  std::map<std::string, FileState> States(bool access_times = true) const {
    std::map<std::string, FileState> states;
    for (const auto& entry : fs::recursive_directory_iterator(Tree())) {
      struct stat st;
      ::lstat(entry.path().c_str(), &st);
      // A run that changes nothing may still make and remove its lock beside the project.
      if (!access_times && S_ISDIR(st.st_mode)) continue;
      FileState& state = states[entry.path().string()];
      if (entry.is_regular_file()) state.bytes = ReadKeepingAccessTime(entry.path().string());
      state.mtime_ns = st.st_mtim.tv_sec * 1000000000ll + st.st_mtim.tv_nsec;
      if (access_times) state.atime_ns = st.st_atim.tv_sec * 1000000000ll + st.st_atim.tv_nsec;
    }
    return states;
  }
  // Access times older than modification times, which any read would move.
  void AgeAccessTimes() const {
    for (const auto& entry : fs::recursive_directory_iterator(Tree())) {
      struct timespec times[2] = {{946684800, 0}, {978307200, 0}};  // 2000, 2001
      ::utimensat(AT_FDCWD, entry.path().c_str(), times, AT_SYMLINK_NOFOLLOW);
    }
    struct timespec times[2] = {{946684800, 0}, {978307200, 0}};
    ::utimensat(AT_FDCWD, Tree().c_str(), times, 0);
  }
  // The paths whose bytes or times differ from `before`.
  std::vector<std::string> Changed(const std::map<std::string, FileState>& before,
                                   bool access_times = true) const {
    std::vector<std::string> changed;
    auto after = States(access_times);
    for (const auto& [path, state] : after) {
      auto old = before.find(path);
      if (old == before.end() || !(old->second == state)) changed.push_back(path);
    }
    for (const auto& [path, state] : before) {
      if (!after.count(path)) changed.push_back(path + " (gone)");
    }
    return changed;
  }
  Json ScanJson() const {
    auto scan = Run({"scan", "-r", "--json", Tree()});
    EXPECT_EQ(scan.status, 0) << scan.err;
    return Json::parse(scan.out);
  }

  testing::ScratchDir root, temp;
};

int Sum(const Json& files, const char* key) {
  int total = 0;
  for (const Json& file : files)
    total += key == std::string("guids") ? static_cast<int>(file["guids_replaced"].size())
                                         : file[key].get<int>();
  return total;
}

TEST_F(SurveyTest, CountsAreTheDryRunsAndFindingsSayWhatStopsAConversion) {
  GenerateShare(9);
  Json scan = ScanJson();
  std::string report = root.Join("dry.json");
  auto dry = Run({"convert", "-r", "--dry-run", "--report", report, Tree()});
  Json runs = Json::parse(ReadFile(report));
  std::map<std::string, Json> by_project;
  for (const Json& entry : runs["projects"]) by_project[entry["project"]] = entry;
  ASSERT_EQ(scan["projects"].size(), by_project.size());
  int compared = 0;
  for (const Json& project : scan["projects"]) {
    std::string path = project["project"];
    const Json& run = by_project[path];
    if (project["finding"] != "would-be-converted") continue;
    ++compared;
    ASSERT_EQ(run["outcome"], "converted") << path;
    const Json& files = run["run"]["files"];
    int changed = 0;
    for (const Json& file : files) changed += file["result"] == "changed";
    EXPECT_EQ(project["counts"]["files"], changed) << path;
    EXPECT_EQ(project["counts"]["lines_changed"], Sum(files, "lines_changed")) << path;
    EXPECT_EQ(project["counts"]["guids"], Sum(files, "guids")) << path;
    EXPECT_EQ(project["counts"]["grid_blocks"], 3) << path;
    EXPECT_EQ(project["counts"]["drop_down_blocks"], 1) << path;
    EXPECT_EQ(project["source"], "Vireo 4.0");
  }
  EXPECT_EQ(compared, 8);
  std::map<std::string, Json> found;
  for (const Json& project : scan["projects"]) found[project["project"]] = project;
  const Json& missing = found[Tree("apps/p1/Inventory.vbp")];
  EXPECT_EQ(missing["finding"], "blocked");
  EXPECT_NE(missing["blockers"][0].get<std::string>().find("Grids.bas"), std::string::npos);
  EXPECT_EQ(found[Tree("apps/plain/Plain.vbp")]["finding"], "no-grid");
  EXPECT_EQ(found[Tree("apps/done/Inventory.vbp")]["finding"], "already-converted");
  EXPECT_EQ(found[Tree("apps/done/Inventory.vbp")]["libraries"][0], "VIRA5_32.OCX");
  // Projects sharing a module are one unit, converted by one command.
  const Json& shared = found[Tree("apps/p0/Inventory.vbp")];
  EXPECT_EQ(shared["shared_files"], Json::array({"../../common/Shared.bas"}));
  EXPECT_EQ(shared["unit"], found[Tree("apps/p4/Inventory.vbp")]["unit"]);
  // The unit's command is given once, for the unit, not repeated by each member.
  EXPECT_EQ(shared["command"], "");
  const std::string unit_command = scan["unit_commands"][shared["unit"].get<size_t>()];
  EXPECT_NE(unit_command.find(Tree("apps/p8/Inventory.vbp")), std::string::npos);
  EXPECT_NE(unit_command.find(Tree("apps/p0/Inventory.vbp")), std::string::npos);
  EXPECT_EQ(scan["unit_commands"].size(), scan["units"].size());
}

// A journal waiting for recovery, and a file another run holds, each stop a
// conversion; the scan says so, leaves the journal alone and names the cure.
TEST_F(SurveyTest, APendingJournalAndAHeldFileAreBlockers) {
  Sample("waiting");
  Sample("held");
  std::string journal = Tree("waiting/Inventory.vbp.vr5journal");
  testing::WriteFile(journal, "cut short\n");
  int held = ::open(Tree("held/Grids.bas").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
  Json scan = ScanJson();
  ::close(held);
  std::map<std::string, Json> found;
  for (const Json& project : scan["projects"]) found[project["project"]] = project;
  const Json& waiting = found[Tree("waiting/Inventory.vbp")];
  EXPECT_EQ(waiting["finding"], "blocked");
  EXPECT_NE(waiting["blockers"].dump().find("waits for recovery"), std::string::npos)
      << waiting.dump();
  EXPECT_EQ(waiting["command"], "vireo-migrate recover " + Tree("waiting/Inventory.vbp"));
  EXPECT_EQ(ReadFile(journal), "cut short\n");
  const Json& busy = found[Tree("held/Inventory.vbp")];
  EXPECT_EQ(busy["finding"], "blocked");
  EXPECT_NE(busy["blockers"].dump().find("Grids.bas: another run holds it"), std::string::npos)
      << busy.dump();
}

TEST_F(SurveyTest, ChangesNoByteNorTimeAndLeavesNoFile) {
  GenerateShare(5);
  AgeAccessTimes();
  auto before = States();
  auto scan = Run({"scan", "-r", "--html", root.Join("page.html"), Tree()});
  ASSERT_EQ(scan.status, 0) << scan.err;
  EXPECT_EQ(Changed(before), std::vector<std::string>{});
  EXPECT_EQ(testing::CountFilesWithPrefix(temp.path(), "vr5"), 0);
  EXPECT_NE(scan.out.find("By source type:"), std::string::npos);
}

// The counts a page shows in its summary, by outcome.
std::map<std::string, int> PageCounts(const std::string& html) {
  std::map<std::string, int> counts;
  std::regex cell("data-outcome=\"([^\"]*)\">([0-9]+)<");
  for (std::sregex_iterator it(html.begin(), html.end(), cell), end; it != end; ++it)
    counts[(*it)[1]] = std::stoi((*it)[2]);
  return counts;
}

TEST_F(SurveyTest, APageSaysWhatTheReportSaysAndShowsHostileNamesAsText) {
  GenerateShare(3);
  Sample("apps/<script>alert(1)<", "script>.vbp");
  std::string page = root.Join("page.html"), report = root.Join("report.json");
  auto dry = Run({"convert", "-r", "--dry-run", "--html", page, "--report", report, Tree()});
  Json json = Json::parse(ReadFile(report));
  std::map<std::string, int> expected;
  for (const Json& entry : json["projects"]) {
    std::string outcome = entry["outcome"];
    ++expected[outcome == "converted"            ? "would be converted"
               : outcome == "nothing-to-convert" ? "nothing to convert"
               : outcome == "already-converted"  ? "already converted"
                                                 : outcome];
  }
  std::string html = ReadFile(page);
  EXPECT_EQ(PageCounts(html), expected);
  EXPECT_EQ(html.find("<script"), std::string::npos);
  EXPECT_NE(html.find("&lt;script&gt;alert(1)&lt;/script&gt;.vbp"), std::string::npos);
  EXPECT_NE(html.find("<tr class=\"marker\">"), std::string::npos);
  EXPECT_NE(html.find("CLSID_"), std::string::npos) << "the binary records' table";
}

// A page that cannot be written fails the run, and the report is still written.
TEST_F(SurveyTest, APageThatCannotBeWrittenLeavesTheReportWritten) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  Sample("app");
  std::string report = root.Join("report.json");
  auto run = Run({"convert", "--dry-run", "--html", "/dev/full", "--report", report, Tree("app")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("/dev/full: cannot write the review page"), std::string::npos) << run.err;
  ASSERT_TRUE(testing::FileExists(report));
  EXPECT_EQ(Json::parse(ReadFile(report))["outcome"], "converted");
}

class GitSafetyTest : public SurveyTest {
 protected:
  void SetUp() override {
    if (!fs::exists("/usr/bin/git")) GTEST_SKIP() << "git is not installed";
    Sample("app");
    Git({"init", "-q"});
    Git({"add", "."});
    Git({"-c", "user.name=t", "-c", "user.email=t@t", "commit", "-qm", "first"});
  }
  void Git(std::vector<std::string> args) {
    args.insert(args.begin(), {"-C", Tree("app")});
    auto run = testing::RunProgram("/usr/bin/git", args, Environment());
    ASSERT_EQ(run.status, 0) << run.err;
  }
};

TEST_F(GitSafetyTest, UncommittedFilesAreRefusedUntilAllowed) {
  testing::WriteFile(Tree("app/Grids.bas"), ReadFile(Tree("app/Grids.bas")) + "' edited\r\n");
  root.Write("tree/app/New.bas", "Dim S As VireoCore.StyleDisp\r\n");
  testing::WriteFile(Tree("app/Inventory.vbp"),
                     ReadFile(Tree("app/Inventory.vbp")) + "Module=New; New.bas\r\n");
  // A work tree's own configuration must not make git run anything.
  std::string witness = root.Join("ran");
  testing::WriteFile(Tree("app/.git/config"),
                     ReadFile(Tree("app/.git/config")) + "[core]\n\tfsmonitor = touch " + witness +
                         "\n[filter \"x\"]\n\tclean = touch " + witness + "\n");
  testing::WriteFile(Tree("app/.gitattributes"), "* filter=x\n");
  // git itself reads its own folder: access times are its business.
  auto before = States(false);
  auto refused = Run({"convert", Tree("app")});
  EXPECT_EQ(refused.status, 2) << refused.err;
  EXPECT_NE(refused.err.find("Grids.bas"), std::string::npos) << refused.err;
  EXPECT_NE(refused.err.find("New.bas"), std::string::npos) << "untracked";
  EXPECT_EQ(refused.err.find("Main.frm"), std::string::npos) << "committed";
  EXPECT_NE(refused.err.find("commit or stash them, or pass --allow-dirty"), std::string::npos);
  EXPECT_EQ(Changed(before, false), std::vector<std::string>{});
  EXPECT_FALSE(testing::FileExists(witness));
  auto dry = Run({"convert", "--dry-run", Tree("app")});
  EXPECT_EQ(dry.status, 0);
  EXPECT_NE(dry.out.find("--allow-dirty"), std::string::npos);
  // A scan names the same files, asking git once for the whole share; a work
  // tree git cannot read leaves its files' state unknown, said as such.
  Sample("broken");
  testing::WriteFile(Tree("broken/.git"), "gitdir: " + root.Join("nowhere") + "\n");
  auto scan = Run({"scan", "-r", "--json", Tree()});
  std::map<std::string, Json> found;
  ASSERT_EQ(scan.status, 0) << scan.err;
  Json survey = Json::parse(scan.out);
  for (const Json& project : survey["projects"]) found[project["project"]] = project;
  std::string app = found[Tree("app/Inventory.vbp")]["uncommitted"].dump();
  EXPECT_NE(app.find("Grids.bas"), std::string::npos) << app;
  EXPECT_NE(app.find("New.bas"), std::string::npos) << app;
  EXPECT_EQ(app.find("Main.frm"), std::string::npos) << app;
  const Json& broken = found[Tree("broken/Inventory.vbp")]["uncommitted"];
  ASSERT_FALSE(broken.empty());
  EXPECT_EQ(broken[0].get<std::string>().rfind(Tree("broken/"), 0), 0u) << broken.dump();
  EXPECT_FALSE(testing::FileExists(witness));
  EXPECT_EQ(Run({"convert", "-q", "--allow-dirty", Tree("app")}).status, 0);
  EXPECT_FALSE(testing::FileExists(witness));
}

TEST_F(GitSafetyTest, ACleanWorkTreeConverts) {
  EXPECT_EQ(Run({"convert", "-q", Tree("app")}).status, 0);
}

// A batch finds each folder's work tree once for all its projects: the one
// in a work tree with changes is refused, its neighbours outside it are not.
TEST_F(GitSafetyTest, ABatchAsksGitOnlyForTheProjectsInAWorkTree) {
  Sample("plain");
  Sample("plain2");
  testing::WriteFile(Tree("app/Grids.bas"), ReadFile(Tree("app/Grids.bas")) + "' edited\r\n");
  std::string report = root.Join("report.json");
  auto batch = Run({"convert", "-r", "--jobs", "1", "--report", report, Tree()});
  EXPECT_EQ(batch.status, 2) << batch.err << batch.out;
  std::map<std::string, std::string> outcomes;
  Json written = Json::parse(ReadFile(report));
  for (const Json& project : written["projects"])
    outcomes[project["project"].get<std::string>()] = project["outcome"].get<std::string>();
  EXPECT_EQ(outcomes[Tree("app/Inventory.vbp")], "skipped");
  EXPECT_EQ(outcomes[Tree("plain/Inventory.vbp")], "converted");
  EXPECT_EQ(outcomes[Tree("plain2/Inventory.vbp")], "converted");
}

TEST_F(SurveyTest, ABatchKeepsEachProjectsOriginalsAndDiffsApart) {
  Sample("a");
  Sample("b");
  std::string old_form = ReadFile(Tree("a/Main.frm"));
  auto run = testing::RunProgram(
      "/bin/sh",
      {"-c", "cd " + Tree() + " && " VIREO_MIGRATE_BINARY " convert --dry-run --diff a b"},
      Environment());
  EXPECT_NE(run.out.find("== a/Inventory.vbp\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("== b/Inventory.vbp\n"), std::string::npos);
  std::string backup = root.Join("backup");
  auto converted = Run({"convert", "-q", "--backup", backup, Tree("a"), Tree("b")});
  ASSERT_EQ(converted.status, 0) << converted.err;
  std::string kept = backup + Tree("a/Main.frm");
  EXPECT_EQ(ReadFile(kept), old_form);
  EXPECT_TRUE(testing::FileExists(backup + Tree("b/Grids.bas")));
  // Other bytes already there are never overwritten.
  testing::WriteFile(Tree("a/Main.frm"), old_form);
  testing::WriteFile(kept, "other bytes\r\n");
  auto refused = Run({"convert", "--backup", backup, Tree("a"), Tree("b")});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.out.find("holds other bytes"), std::string::npos) << refused.out;
}

}  // namespace
}  // namespace vireo
