// Recovery of a commit that a crash cut short: it finishes the commit when
// every new content is in place, or else undoes it, so the project ends
// entirely new or entirely old.
//
// A journal may come with a project from anyone, so it is checked before
// anything is done: every original it names must be a regular file that the
// project lists, and every file recovery would rename must hold the content
// the journal recorded. A journal that fails a check is set aside (renamed
// beside the project file, kept for the user to look at) and nothing
// changes; the run that found it stops, later runs are not held up by it.
#pragma once

#include <string>
#include <vector>

#include "host/path_resolver.h"

namespace vireo {

enum class RecoveryResult { kNothingToDo, kFinished, kUndone, kFailed };

struct RecoveryOutcome {
  RecoveryResult result = RecoveryResult::kNothingToDo;
  std::string message;  // what was done or found, for the user
  std::vector<std::string> leftovers;
  // Originals edited after the interruption: left as they are, the commit's
  // copies kept beside them.
  std::vector<std::string> kept_edits;
};

// Whether a journal shows that a commit of `project_file` was cut short.
bool HasInterruptedCommit(const std::string& project_file);

// Journals of `project_file` that recovery set aside.
std::vector<std::string> SetAsideJournals(const std::string& project_file);

// Finishes or undoes the interrupted commit of `project_file`, if any.
RecoveryOutcome RecoverInterruptedCommit(const std::string& project_file,
                                         const PathResolver& resolver);

// Removes the journal and every set-aside journal of `project_file`, and
// returns the files removed; the files beside the originals stay.
std::vector<std::string> DiscardJournals(const std::string& project_file, std::string* problem);

}  // namespace vireo
