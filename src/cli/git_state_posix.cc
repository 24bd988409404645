#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string_view>

#include "cli/git_state.h"
#include "cli/real_paths.h"

extern char** environ;

namespace vireo {
namespace {

namespace fs = std::filesystem;

std::string FindGit() {
  const char* path = std::getenv("PATH");
  std::string_view rest = path ? path : "/usr/bin:/bin";
  while (!rest.empty()) {
    size_t colon = rest.find(':');
    std::string folder(rest.substr(0, colon));
    rest = colon == std::string_view::npos ? "" : rest.substr(colon + 1);
    std::string candidate = (folder.empty() ? "." : folder) + "/git";
    struct stat st;
    if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0)
      return candidate;
  }
  return "";
}

// The work tree holding `file`: the nearest folder above it with a .git; "" for none.
std::string WorkTreeOf(const std::string& file) {
  std::error_code error;
  for (fs::path folder = fs::path(file).parent_path(); !folder.empty();
       folder = folder.parent_path()) {
    if (fs::exists(fs::symlink_status(folder / ".git", error))) return folder.string();
    if (folder == folder.root_path()) break;
  }
  return "";
}

struct GitRun {
  int status = -1;
  std::string out, err;
};

// Drains both pipes; git's output for a handful of files is small.
void Drain(int out_fd, int err_fd, GitRun* run) {
  char buffer[4096];
  for (int fd : {out_fd, err_fd}) {
    std::string& text = fd == out_fd ? run->out : run->err;
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) != 0;) {
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) break;
      text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
  }
}

// The environment git sees: none of the user's or the system's settings,
// no prompt, no pager, and no optional index writes.
std::vector<std::string> GitEnvironment() {
  const char* path = std::getenv("PATH");
  return {"PATH=" + std::string(path ? path : "/usr/bin:/bin"),
          "HOME=/nonexistent",
          "XDG_CONFIG_HOME=/nonexistent",
          "LC_ALL=C",
          "GIT_CONFIG_NOSYSTEM=1",
          "GIT_CONFIG_GLOBAL=/dev/null",
          "GIT_ATTR_NOSYSTEM=1",
          "GIT_TERMINAL_PROMPT=0",
          "GIT_OPTIONAL_LOCKS=0",
          "GIT_PAGER=cat",
          "GIT_NO_REPLACE_OBJECTS=1"};
}

GitRun RunGit(const std::string& git, const std::string& work_tree,
              const std::vector<std::string>& arguments) {
  std::vector<std::string> words{"git", "-C", work_tree};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<std::string> environment = GitEnvironment();
  std::vector<char*> argv, envp;
  for (std::string& word : words) argv.push_back(word.data());
  for (std::string& entry : environment) envp.push_back(entry.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  GitRun run;
  int out[2], err[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return run;
  if (::pipe2(err, O_CLOEXEC) != 0) {
    ::close(out[0]);
    ::close(out[1]);
    return run;
  }
  pid_t child = ::fork();
  if (child == 0) {
    int null = ::open("/dev/null", O_RDONLY);
    ::dup2(null, 0);
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    ::execve(git.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(out[1]);
  ::close(err[1]);
  if (child < 0) {
    ::close(out[0]);
    ::close(err[0]);
    return run;
  }
  Drain(out[0], err[0], &run);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// Settings that would make git run a program of the work tree's choosing,
// or write in it, switched off; filter drivers its configuration names lose
// their commands.
std::vector<std::string> SafetySettings(const std::string& git, const std::string& work_tree) {
  std::vector<std::string> settings{"core.fsmonitor=false",        "core.hooksPath=/dev/null",
                                    "core.untrackedCache=false",   "core.attributesFile=/dev/null",
                                    "core.excludesFile=/dev/null", "diff.external=",
                                    "protocol.allow=never",        "submodule.recurse=false"};
  GitRun filters =
      RunGit(git, work_tree,
             {"config", "--name-only", "--get-regexp", "^filter\\..*\\.(clean|smudge|process)$"});
  std::set<std::string> drivers;
  for (size_t start = 0; start < filters.out.size();) {
    size_t end = filters.out.find('\n', start);
    std::string key = filters.out.substr(start, end - start);
    start = end == std::string::npos ? filters.out.size() : end + 1;
    size_t last = key.rfind('.');
    if (key.size() > 7 && last != std::string::npos && last > 7)
      drivers.insert(key.substr(7, last - 7));
  }
  for (const std::string& driver : drivers) {
    for (const char* part : {"clean", "smudge", "process"})
      settings.push_back("filter." + driver + "." + part + "=");
    settings.push_back("filter." + driver + ".required=false");
  }
  std::vector<std::string> arguments;
  for (const std::string& setting : settings) {
    arguments.push_back("-c");
    arguments.push_back(setting);
  }
  return arguments;
}

// The first line of git's complaint.
std::string FirstLine(const std::string& text) {
  std::string line = text.substr(0, text.find('\n'));
  return line.empty() ? "git failed" : line;
}

void AskWorkTree(const std::string& git, const std::string& work_tree,
                 const std::map<std::string, std::string>& by_relative, GitState* state) {
  std::vector<std::string> arguments = SafetySettings(git, work_tree);
  for (const char* word : {"status", "--porcelain=v1", "-z", "--untracked-files=all",
                           "--ignored=matching", "--ignore-submodules=all", "--no-renames", "--"})
    arguments.push_back(word);
  for (const auto& [relative, given] : by_relative) arguments.push_back(relative);
  GitRun run = RunGit(git, work_tree, arguments);
  if (run.status != 0) {
    for (const auto& [relative, given] : by_relative)
      state->unknown.push_back(given + " (" + FirstLine(run.err) + ")");
    return;
  }
  std::set<std::string> listed;
  for (size_t start = 0; start + 3 < run.out.size();) {
    size_t end = run.out.find('\0', start);
    if (end == std::string::npos) end = run.out.size();
    listed.insert(run.out.substr(start + 3, end - start - 3));
    start = end + 1;
  }
  for (const auto& [relative, given] : by_relative) {
    if (listed.count(relative)) state->uncommitted.push_back(given);
  }
}

}  // namespace

GitState AskGit(const std::vector<std::string>& files) {
  GitState state;
  std::string git;
  std::map<std::string, std::map<std::string, std::string>> by_tree;
  RealPaths real_paths;
  std::map<fs::path, std::string> trees;  // by real folder
  for (const std::string& file : files) {
    fs::path real = real_paths.Of(file);
    auto [known, added] = trees.try_emplace(real.parent_path());
    if (added) known->second = WorkTreeOf(real.string());
    const std::string& tree = known->second;
    if (tree.empty()) continue;
    if (git.empty() && (git = FindGit()).empty()) return state;
    by_tree[tree][real.lexically_relative(tree).generic_string()] = file;
  }
  for (const auto& [tree, by_relative] : by_tree) AskWorkTree(git, tree, by_relative, &state);
  return state;
}

}  // namespace vireo
