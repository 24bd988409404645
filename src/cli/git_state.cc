#include "cli/git_state.h"

#include <filesystem>
#include <map>

#include "base/path_text.h"
#include "cli/git_query.h"
#include "cli/real_paths.h"

namespace vireo {
namespace {

namespace fs = std::filesystem;

// The files asked about in one work tree, as given, by their path relative
// to it in git's spelling: UTF-8 with '/' between names.
using TreeFiles = std::map<std::string, std::string>;

// A run names at most this many bytes of paths: a Windows command line holds
// 32,767 characters.
constexpr size_t kPathBytesPerRun = 16384;

// The work tree holding `folder`: the nearest folder from it up with a .git; empty for none.
fs::path WorkTreeOf(const fs::path& folder) {
  std::error_code error;
  for (fs::path above = folder; !above.empty(); above = above.parent_path()) {
    if (fs::exists(fs::symlink_status(above / ".git", error))) return above;
    if (above == above.root_path()) break;
  }
  return {};
}

// `path` with every name as its folder holds it: what git compares.
fs::path SpelledOnDisk(const fs::path& path) {
  fs::path spelled = path.root_path();
  for (const fs::path& name : path.relative_path()) spelled /= NameOnDisk(spelled / name);
  return spelled;
}

std::string GitSpelling(const fs::path& relative) {
  std::u8string text = relative.generic_u8string();
  return std::string(text.begin(), text.end());
}

std::vector<std::string> StatusArguments(const std::vector<std::string>& safety) {
  std::vector<std::string> arguments = safety;
  arguments.insert(arguments.end(),
                   {"status", "--porcelain=v1", "-z", "--untracked-files=all", "--ignored=matching",
                    "--ignore-submodules=all", "--no-renames", "--"});
  return arguments;
}

void AskWorkTree(const std::string& git, const std::string& work_tree, const TreeFiles& files,
                 GitState* state) {
  GitRun filters =
      RunGit(git, work_tree,
             {"config", "--name-only", "--get-regexp", "^filter\\..*\\.(clean|smudge|process)$"});
  std::vector<std::string> safety = SafetyArguments(filters.out);
  for (auto first = files.begin(); first != files.end();) {
    std::vector<std::string> arguments = StatusArguments(safety);
    auto last = first;
    for (size_t bytes = 0; last != files.end() && (last == first || bytes < kPathBytesPerRun);
         ++last) {
      arguments.push_back(last->first);
      bytes += last->first.size() + 3;
    }
    GitRun run = RunGit(git, work_tree, arguments);
    std::set<std::string> listed = ListedPaths(run.out);
    for (; first != last; ++first) {
      if (run.status != 0) {
        state->unknown.push_back(first->second + " (" + FirstLine(run.err) + ")");
        state->unknown_files.push_back(first->second);
      } else if (listed.count(first->first))
        state->uncommitted.push_back(first->second);
    }
  }
}

std::string Listed(const std::vector<std::string>& files) {
  std::string text;
  for (const std::string& file : files) text += "\n  " + file;
  return text;
}

}  // namespace

GitState AskGit(const std::vector<std::string>& files) {
  GitState state;
  std::string git;
  std::map<fs::path, TreeFiles> by_tree;
  RealPaths real_paths;
  struct Folder {
    fs::path spelled, work_tree;
  };
  std::map<fs::path, Folder> folders;  // by real path
  for (const std::string& file : files) {
    fs::path real = real_paths.Of(file);
    auto [known, added] = folders.try_emplace(real.parent_path());
    Folder& folder = known->second;
    if (added) {
      folder.spelled = SpelledOnDisk(real.parent_path());
      folder.work_tree = WorkTreeOf(folder.spelled);
    }
    if (folder.work_tree.empty()) continue;
    if (git.empty() && (git = FindGit()).empty()) return state;
    fs::path spelled = folder.spelled / NameOnDisk(real);
    by_tree[folder.work_tree][GitSpelling(spelled.lexically_relative(folder.work_tree))] = file;
  }
  for (const auto& [tree, tree_files] : by_tree)
    AskWorkTree(git, PathText(tree), tree_files, &state);
  return state;
}

std::string UncommittedProblem(const GitState& state) {
  if (state.clean()) return "";
  std::string text;
  if (!state.uncommitted.empty())
    text += "these files the run would change have uncommitted changes in git:" +
            Listed(state.uncommitted);
  if (!state.unknown.empty())
    text += std::string(text.empty() ? "" : "\n") +
            "git could not tell whether these files the run would change have uncommitted "
            "changes:" +
            Listed(state.unknown);
  return text + "\ncommit or stash them, or pass --allow-dirty; nothing was changed";
}

std::string UncommittedNote(const GitState& state) {
  if (state.clean()) return "";
  std::vector<std::string> all = state.uncommitted;
  all.insert(all.end(), state.unknown.begin(), state.unknown.end());
  return "a conversion would refuse these files with uncommitted changes in git (commit or "
         "stash them, or pass --allow-dirty):" +
         Listed(all);
}

}  // namespace vireo
