#include "cli/git_state.h"

namespace vireo {
namespace {

std::string Listed(const std::vector<std::string>& files) {
  std::string text;
  for (const std::string& file : files) text += "\n  " + file;
  return text;
}

}  // namespace

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
