// How git is asked and how its answers are read, the same on every platform.
// Each platform only finds git and runs it (git_state_posix.cc,
// git_state_win32.cc).
#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace vireo {

struct GitRun {
  int status = -1;  // git's exit code; -1 when it could not be run
  std::string out, err;
};

// Per platform.
// The file that reads as empty: "/dev/null", "NUL".
extern const char kNullFile[];
// The last name in `path` as its folder holds it; as given when it
// is missing. On Windows, where names match in any case or in their short
// form, that is the spelling git knows.
std::filesystem::path NameOnDisk(const std::filesystem::path& path);
// The git program on PATH; "" when there is none.
std::string FindGit();
// `git -C work_tree arguments...`, with stdin empty and an environment of
// its own (GitSettingsEnvironment's and what the platform's programs need).
GitRun RunGit(const std::string& git, const std::string& work_tree,
              const std::vector<std::string>& arguments);

// Shared.
// The environment git runs with besides the platform's own variables: none
// of the user's or the system's settings, no prompt, no pager, no optional
// index writes, and paths taken as they are spelled, never as patterns. `nowhere` is a folder that
// does not exist.
std::vector<std::string> GitSettingsEnvironment(const std::string& nowhere);
// The `-c` arguments switching off what would make git run a program of
// the work tree's choosing, or write in it; the filter drivers named in
// `filter_keys` (`git config --name-only --get-regexp` output) lose their
// commands.
std::vector<std::string> SafetyArguments(const std::string& filter_keys);
// The paths `git status --porcelain=v1 -z --no-renames` lists.
std::set<std::string> ListedPaths(const std::string& porcelain);
// The first line of git's complaint.
std::string FirstLine(const std::string& text);

}  // namespace vireo
