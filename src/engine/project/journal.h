// The commit journal: the replacement plan of a commit, written and synced
// beside the project file before the first original is replaced and removed
// after the last replacement is durable. A journal found at start-up means a
// commit was interrupted; recovery then finishes it or undoes it, so the
// project ends entirely new or entirely old.
#pragma once

#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

namespace vireo {

struct JournalEntry {
  std::string original;
  std::string staged;  // the new bytes, beside the original
  std::string backup;  // the old bytes, beside the original
  uint64_t old_checksum = 0;
  uint64_t new_checksum = 0;
};

// Staging: files are being written beside the originals, none replaced yet.
// Committing: all staged; originals are being replaced. Rolling back: a
// failed commit is putting the old contents back.
enum class JournalState { kStaging, kCommitting, kRollingBack };

struct Journal {
  JournalState state = JournalState::kCommitting;
  std::vector<JournalEntry> entries;
};

std::string JournalPathFor(const std::string& project_file);

// Writes the journal in one step (a synced file renamed into place).
std::error_code WriteJournal(const std::string& path, const Journal& journal);
// False, with the reason, when the journal cannot be read or is damaged.
bool ReadJournal(const std::string& path, Journal* journal, std::string* problem);
// Removes the journal and syncs its folder.
std::error_code RemoveJournal(const std::string& path);

// A 64-bit FNV-1a checksum of a file's bytes.
std::error_code FileChecksum(const std::string& path, uint64_t* checksum);

enum class RecoveryResult { kNothingToDo, kFinished, kUndone, kFailed };

struct RecoveryOutcome {
  RecoveryResult result = RecoveryResult::kNothingToDo;
  std::string message;  // what was done, for the user
  std::vector<std::string> leftovers;
};

// Whether a journal shows that a commit of `project_file` was cut short.
bool HasInterruptedCommit(const std::string& project_file);

// Finishes or undoes the interrupted commit of `project_file`, if any.
RecoveryOutcome RecoverInterruptedCommit(const std::string& project_file);

}  // namespace vireo
