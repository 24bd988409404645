// Asking git on Windows, of a stand-in git.exe (fake_git.cc) put on PATH:
// which files its answers make uncommitted or unknown, what reaches it (its
// arguments, environment and standard input), and when it is not run at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "cli/git_query.h"
#include "cli/git_state.h"
#include "host/win32/windows_text.h"
#include "scratch_folder.h"

namespace vireo {
namespace {

using namespace std::string_literals;
using testing::Exists;
using testing::ReadBytes;
using testing::ScratchFolder;
using testing::WriteBytes;
using Words = std::vector<std::string>;

// "Έργο φάκελος"
constexpr char kGreekFolder[] =
    "\xCE\x88\xCF\x81\xCE\xB3\xCE\xBF \xCF\x86\xCE\xAC\xCE\xBA\xCE\xB5\xCE\xBB\xCE\xBF\xCF\x82";

std::string Variable(const std::string& name) {
  wchar_t value[32768];
  DWORD length = ::GetEnvironmentVariableW(Wide(name).c_str(), value, 32768);
  return length < 32768 ? Narrow(value, length) : "";
}

// Sets an environment variable of this process until the end of the scope.
class ScopedVariable {
 public:
  ScopedVariable(const std::string& name, const std::string& value)
      : name_(Wide(name)),
        old_(Variable(name)),
        had_(::GetEnvironmentVariableW(name_.c_str(), nullptr, 0) > 0) {
    ::SetEnvironmentVariableW(name_.c_str(), Wide(value).c_str());
  }
  ~ScopedVariable() {
    ::SetEnvironmentVariableW(name_.c_str(), had_ ? Wide(old_).c_str() : nullptr);
  }

 private:
  std::wstring name_;
  std::string old_;
  bool had_;
};

// The folder of this test program, where fake_git.exe is built beside it.
std::string ProgramFolder() {
  wchar_t path[MAX_PATH];
  std::wstring own(path, ::GetModuleFileNameW(nullptr, path, MAX_PATH));
  return Narrow(own.substr(0, own.find_last_of(L'\\')));
}

void MakeFolder(const std::string& path) { ::CreateDirectoryW(Wide(path).c_str(), nullptr); }

Words Entries(const std::string& bytes) {
  Words entries;
  for (size_t start = 0; start < bytes.size();) {
    size_t end = bytes.find('\0', start);
    entries.push_back(bytes.substr(start, end - start));
    start = end + 1;
  }
  return entries;
}

bool Holds(const Words& words, const std::string& word) {
  return std::find(words.begin(), words.end(), word) != words.end();
}

struct Call {
  Words arguments, environment;
  std::string input;
};

class GitOnPathTest : public ::testing::Test {
 protected:
  GitOnPathTest()
      : bin_(scratch_ / "git bin"),
        path_("PATH", "C:\\nonexistent;\"" + bin_ + "\";" + Variable("PATH")) {
    MakeFolder(bin_);
    ::CopyFileW(Wide(ProgramFolder() + "\\fake_git.exe").c_str(), Wide(bin_ + "\\git.exe").c_str(),
                FALSE);
  }

  // A folder holding .git, and `files` in it.
  std::string WorkTree(const std::string& name, const Words& files = {}) {
    std::string tree = scratch_ / name;
    MakeFolder(tree);
    MakeFolder(tree + "\\.git");
    for (const std::string& file : files) {
      size_t slash = file.rfind('\\');
      if (slash != std::string::npos) MakeFolder(tree + "\\" + file.substr(0, slash));
      WriteBytes(tree + "\\" + file, "x");
    }
    return tree;
  }

  // What the stand-in git gives when run with `command`.
  void Answer(const std::string& command, const std::string& out, const std::string& err = "",
              int exit_code = 0) {
    WriteBytes(bin_ + "\\" + command + ".out", out);
    WriteBytes(bin_ + "\\" + command + ".err", err);
    WriteBytes(bin_ + "\\" + command + ".exit", std::to_string(exit_code));
  }

  std::vector<Call> Calls() const {
    std::vector<Call> calls;
    for (int n = 1; Exists(bin_ + "\\call" + std::to_string(n) + ".args"); ++n) {
      std::string call = bin_ + "\\call" + std::to_string(n);
      calls.push_back({Entries(ReadBytes(call + ".args")), Entries(ReadBytes(call + ".env")),
                       ReadBytes(call + ".in")});
    }
    return calls;
  }

  ScratchFolder scratch_;
  std::string bin_;
  ScopedVariable path_;
};

TEST_F(GitOnPathTest, ListedFilesAreUncommittedAndOthersAreNot) {
  std::string tree = WorkTree(kGreekFolder, {"A.bas", "C.frm", "sub\\B.bas"});
  Answer("status", " M A.bas\0?? sub/B.bas\0!! Other.bas\0"s);
  // A project may name a file in other case than its folder holds it.
  GitState state = AskGit({tree + "\\A.bas", tree + "\\SUB\\b.BAS", tree + "\\C.frm"});
  EXPECT_EQ(state.uncommitted, (Words{tree + "\\A.bas", tree + "\\SUB\\b.BAS"}));
  EXPECT_EQ(state.unknown, Words{});

  std::vector<Call> calls = Calls();
  ASSERT_EQ(calls.size(), 2u);
  Words status = calls[1].arguments;
  ASSERT_GT(status.size(), 6u);
  EXPECT_EQ(Words(status.begin(), status.begin() + 2), (Words{"-C", tree}));
  // The files relative to the work tree, spelled as their folders hold them.
  EXPECT_EQ(Words(status.end() - 4, status.end()), (Words{"--", "A.bas", "C.frm", "sub/B.bas"}));
  EXPECT_EQ(calls[1].input, "");
}

TEST_F(GitOnPathTest, SafetySettingsAndTheWorkTreesFilterDriversReachGitWhole) {
  std::string tree = WorkTree("app", {"A.bas"});
  Answer("config", "filter.lfs.clean\nfilter.we\"ird x\\.smudge\n");
  Answer("status", "");
  EXPECT_TRUE(AskGit({tree + "\\A.bas"}).clean());
  std::vector<Call> calls = Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].arguments, (Words{"-C", tree, "config", "--name-only", "--get-regexp",
                                       "^filter\\..*\\.(clean|smudge|process)$"}));
  for (const char* setting :
       {"core.fsmonitor=false", "core.hooksPath=NUL", "filter.lfs.clean=", "filter.lfs.process=",
        "filter.we\"ird x\\.smudge=", "filter.we\"ird x\\.required=false"})
    EXPECT_TRUE(Holds(calls[1].arguments, setting)) << setting;
}

TEST_F(GitOnPathTest, ArgumentsReachGitExactly) {
  std::string tree = WorkTree(kGreekFolder);
  std::string git = FindGit();
  EXPECT_EQ(git, bin_ + "\\git.exe") << "a quoted PATH entry, after one that does not exist";
  Words arguments{"echo",
                  "two words",
                  "a \"quoted\" word",
                  "trailing\\",
                  "spaced trailing\\",
                  "trailing\\\\ ",
                  "\\\\server\\share\\",
                  "",
                  "tab\there",
                  "back\\\"slash \\\\\"quote",
                  std::string(kGreekFolder) + "\\"};
  Answer("echo", "one\0two"s, "warning\r\n", 3);
  GitRun run = RunGit(git, tree, arguments);
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.out, "one\0two"s);
  EXPECT_EQ(run.err, "warning\r\n");
  std::vector<Call> calls = Calls();
  ASSERT_EQ(calls.size(), 1u);
  arguments.insert(arguments.begin(), {"-C", tree});
  EXPECT_EQ(calls[0].arguments, arguments);
  EXPECT_EQ(calls[0].input, "");
}

TEST_F(GitOnPathTest, GitSeesItsOwnEnvironmentOnly) {
  ScopedVariable home("HOME", "C:\\users\\leak"), git_dir("GIT_DIR", "C:\\leak");
  ScopedVariable parameters("GIT_CONFIG_PARAMETERS", "'core.fsmonitor'='calc'");
  ScopedVariable profile("USERPROFILE", "C:\\users\\leak");
  Answer("status", "");
  RunGit(FindGit(), scratch_.path(), {"status"});
  std::vector<Call> calls = Calls();
  ASSERT_EQ(calls.size(), 1u);
  Words environment = calls[0].environment;
  std::string nowhere = Variable("SystemDrive") + "\\nonexistent";
  for (const std::string& entry :
       {"GIT_CONFIG_NOSYSTEM=1"s, "GIT_CONFIG_GLOBAL=NUL"s, "GIT_ATTR_NOSYSTEM=1"s,
        "GIT_TERMINAL_PROMPT=0"s, "GIT_OPTIONAL_LOCKS=0"s, "GIT_LITERAL_PATHSPECS=1"s, "LC_ALL=C"s,
        "HOME=" + nowhere, "XDG_CONFIG_HOME=" + nowhere, "PATH=" + Variable("PATH"),
        "SystemRoot=" + Variable("SystemRoot")})
    EXPECT_TRUE(Holds(environment, entry)) << entry;
  // Wine adds variables of its own to every process.
  std::set<std::string> names;
  for (const std::string& entry : environment) {
    if (entry.rfind("WINE", 0) != 0) names.insert(entry.substr(0, entry.find('=')));
  }
  EXPECT_EQ(names, (std::set<std::string>{"GIT_ATTR_NOSYSTEM", "GIT_CONFIG_GLOBAL",
                                          "GIT_CONFIG_NOSYSTEM", "GIT_LITERAL_PATHSPECS",
                                          "GIT_NO_REPLACE_OBJECTS", "GIT_OPTIONAL_LOCKS",
                                          "GIT_PAGER", "GIT_TERMINAL_PROMPT", "HOME", "LC_ALL",
                                          "PATH", "SystemDrive", "SystemRoot", "XDG_CONFIG_HOME"}));
}

TEST_F(GitOnPathTest, AFailingGitLeavesItsFilesUnknownWithItsFirstLine) {
  std::string tree = WorkTree("app", {"A.bas", "B.bas"});
  Answer("status", "", "fatal: not a git repository\r\nhint: second line\r\n", 128);
  GitState state = AskGit({tree + "\\A.bas", tree + "\\B.bas"});
  EXPECT_EQ(state.uncommitted, Words{});
  EXPECT_EQ(state.unknown, (Words{tree + "\\A.bas (fatal: not a git repository)",
                                  tree + "\\B.bas (fatal: not a git repository)"}));
}

TEST_F(GitOnPathTest, NothingRunsOutsideAWorkTreeOrWithoutGitOnPath) {
  std::string plain = scratch_ / "plain";
  MakeFolder(plain);
  WriteBytes(plain + "\\A.bas", "x");
  EXPECT_TRUE(AskGit({plain + "\\A.bas"}).clean());

  // Neither a folder named git.exe nor a git.exe in the current folder,
  // reached by a relative PATH entry, is git.
  std::string tree = WorkTree("app", {"A.bas"});
  std::string decoy = scratch_ / "decoy";
  MakeFolder(decoy);
  MakeFolder(decoy + "\\git.exe");
  ScopedVariable path("PATH", ".;C:\\nonexistent;" + decoy);
  wchar_t current[MAX_PATH];
  ::GetCurrentDirectoryW(MAX_PATH, current);
  ::SetCurrentDirectoryW(Wide(bin_).c_str());
  EXPECT_EQ(FindGit(), "");
  EXPECT_TRUE(AskGit({tree + "\\A.bas"}).clean());
  ::SetCurrentDirectoryW(current);
  EXPECT_EQ(Calls().size(), 0u);
}

TEST_F(GitOnPathTest, LargeAnswersOnBothPipesDoNotStall) {
  // Stalling here ends in the time limit of the run under Wine.
  std::string tree = WorkTree("app", {"A.bas"});
  std::string out, err;
  for (int n = 0; out.size() < 200000; ++n) out += "?? junk/" + std::to_string(n) + ".bas\0"s;
  while (err.size() < 200000) err += "warning: a line git writes on its standard error\n";
  Answer("status", out + " M A.bas\0"s, err);
  GitState state = AskGit({tree + "\\A.bas"});
  EXPECT_EQ(state.uncommitted, Words{tree + "\\A.bas"});
  EXPECT_EQ(state.unknown, Words{});
}

TEST_F(GitOnPathTest, ManyFilesAreAskedInRunsACommandLineHolds) {
  std::string tree = WorkTree("app");
  Words files;
  std::string listed;
  for (int n = 1000; n < 3000; ++n) {
    std::string name = "Module with a long name " + std::to_string(n) + ".bas";
    files.push_back(tree + "\\" + name);
    listed += "?? " + name + '\0';
  }
  Answer("status", listed);
  EXPECT_EQ(AskGit(files).uncommitted, files);

  std::multiset<std::string> asked;
  size_t runs = 0;
  for (const Call& call : Calls()) {
    if (!Holds(call.arguments, "status")) continue;
    ++runs;
    size_t length = 0;
    for (const std::string& argument : call.arguments) length += Wide(argument).size() + 3;
    EXPECT_LT(length, 32000u);
    auto dashes = std::find(call.arguments.begin(), call.arguments.end(), "--");
    asked.insert(dashes + 1, call.arguments.end());
  }
  EXPECT_GT(runs, 1u);
  EXPECT_EQ(asked.size(), files.size());
  EXPECT_EQ(std::set<std::string>(asked.begin(), asked.end()).size(), files.size());
}

}  // namespace
}  // namespace vireo
