#include "cli/git_state.h"

#include <filesystem>
#include <map>
#include <mutex>

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

struct GitFolders::Known {
  // The work tree holding `folder`, from its parent's where it has no .git;
  // kept for the folders above others (`keep`), which many projects share.
  fs::path WorkTreeOf(const fs::path& folder, bool keep) {
    std::string key = PathText(folder);
    if (auto known = work_trees.find(key); known != work_trees.end())
      return NativePath(known->second);
    std::error_code error;
    fs::path tree;
    if (fs::exists(fs::symlink_status(folder / ".git", error))) {
      tree = folder;
    } else if (folder.has_relative_path() && folder.has_parent_path()) {
      tree = WorkTreeOf(folder.parent_path(), true);
    }
    if (keep) work_trees.emplace(std::move(key), PathText(tree));
    return tree;
  }

  std::mutex mutex;
  RealPaths real_paths;
  std::map<std::string, std::string> work_trees;  // UTF-8
};

GitFolders::GitFolders() : known_(std::make_unique<Known>()) {}
GitFolders::~GitFolders() = default;

GitState AskGit(const std::vector<std::string>& files, GitFolders* folders) {
  GitState state;
  std::string git;
  std::map<fs::path, TreeFiles> by_tree;
  GitFolders own;
  GitFolders::Known& known = *(folders ? folders : &own)->known_;
  struct Folder {
    fs::path spelled, work_tree;
  };
  std::map<fs::path, Folder> seen;  // by real path
  for (const std::string& file : files) {
    fs::path real;
    Folder* folder;
    {
      std::lock_guard lock(known.mutex);
      real = known.real_paths.Of(file);
      auto [found, added] = seen.try_emplace(real.parent_path());
      folder = &found->second;
      if (added) {
        folder->spelled = SpelledOnDisk(real.parent_path());
        folder->work_tree = known.WorkTreeOf(folder->spelled, false);
      }
    }
    if (folder->work_tree.empty()) continue;
    if (git.empty() && (git = FindGit()).empty()) return state;
    fs::path spelled = folder->spelled / NameOnDisk(real);
    by_tree[folder->work_tree][GitSpelling(spelled.lexically_relative(folder->work_tree))] = file;
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
