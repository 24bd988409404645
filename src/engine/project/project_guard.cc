#include "engine/project/project_guard.h"

#include "engine/project/recovery.h"

namespace vireo {
namespace {

GuardResult Refused(const std::string& problem) {
  GuardResult result;
  result.ok = false;
  result.problem = problem;
  return result;
}

}  // namespace

GuardResult ProjectGuard::Take(const std::string& project_file, const PathResolver& resolver,
                               bool dry_run) {
  std::string problem;
  bool locked = lock_.Acquire(project_file, &problem);
  if (!locked && (lock_.busy() || !dry_run)) {
    GuardResult result = Refused(problem);
    result.no_lock = true;
    result.busy = lock_.busy();
    return result;
  }
  if (dry_run) {
    if (HasInterruptedCommit(project_file))
      return Refused(project_file +
                     ": an interrupted conversion is waiting to be recovered; a dry run changes "
                     "nothing, so run `vireo-migrate recover " +
                     project_file + "` first");
    return {};
  }
  RecoveryOutcome recovery = RecoverInterruptedCommit(project_file, resolver);
  GuardResult result;
  result.leftovers = recovery.leftovers;
  if (recovery.result == RecoveryResult::kNothingToDo) return result;
  // An edit kept by recovery stops the run too: the user looks first.
  if (recovery.result == RecoveryResult::kFailed || !recovery.kept_edits.empty()) {
    result.ok = false;
    result.problem = recovery.message;
    return result;
  }
  result.recovered = recovery.message;
  return result;
}

}  // namespace vireo
