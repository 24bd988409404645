// Whether files a run would change hold work that git does not have yet:
// uncommitted changes, or no commit at all (untracked). Asked only where git
// is installed and the file lies in a work tree; git runs with an
// environment of our own, no user or system configuration, no hooks, no
// file system monitor, no filter commands and no index writes, so a project
// folder's git configuration cannot make it run anything.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace vireo {

struct GitState {
  // The files with uncommitted changes, or untracked, as given.
  std::vector<std::string> uncommitted;
  // Files whose state git could not tell, each with why.
  std::vector<std::string> unknown;
  // The files of `unknown`, as given, in the same order.
  std::vector<std::string> unknown_files;

  bool clean() const { return uncommitted.empty() && unknown.empty(); }
};

// What asking git finds out about folders, their real paths and the work
// trees they lie in, kept for a run that asks about the files of many
// projects in the same folders. Threads may share one.
class GitFolders {
 public:
  GitFolders();
  ~GitFolders();
  GitFolders(const GitFolders&) = delete;
  GitFolders& operator=(const GitFolders&) = delete;

 private:
  struct Known;
  friend GitState AskGit(const std::vector<std::string>& files, GitFolders* folders);
  std::unique_ptr<Known> known_;
};

// Asks git about each of `files` (absolute paths) that lies in a work tree;
// with `folders`, what it already holds of their folders is not asked again.
GitState AskGit(const std::vector<std::string>& files, GitFolders* folders = nullptr);

// The refusal a run that would change them gives; "" when `state` is clean.
std::string UncommittedProblem(const GitState& state);
// What a dry run or a scan says of them instead; "" when `state` is clean.
std::string UncommittedNote(const GitState& state);

}  // namespace vireo
