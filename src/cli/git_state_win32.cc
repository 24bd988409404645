// git is not asked on Windows yet: its runs there have no hermetic launcher.
#include "cli/git_state.h"

namespace vireo {

GitState AskGit(const std::vector<std::string>&) { return {}; }

}  // namespace vireo
