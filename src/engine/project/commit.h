// Puts the converted copies over the originals, all or nothing.
//
// Every original whose copy differs is first staged: its new bytes are written
// to a file beside it and synced, and its old bytes to a backup beside it. Only
// then is each staged file renamed over its original, so an original always
// holds either its old or its new bytes, never a mix. If a rename fails, the
// originals already replaced get their backups back and the commit fails.
// The journal (see journal.h) makes the same hold across a crash.
// Originals whose copy holds the same lines are not rewritten.
#pragma once

#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "engine/project/file_result.h"

namespace vireo {

struct CommitOutcome {
  bool ok = true;
  std::string failed_file;  // the original that could not be replaced
  std::string reason;       // one line: the file and what went wrong
  int replaced = 0;
  int unchanged = 0;
  // Staged, backup or temporary files that could not be deleted afterwards.
  std::vector<std::string> leftovers;
};

// Where a commit journals its plan: with a `path`, the plan is journaled
// there before the first original is replaced, so that a commit cut short by
// a crash can be finished or undone later. `staging_began`: the staging
// journal is there already (the commit takes it over); `unit_projects`: the
// other projects of the unit, each with a journal pointing to it.
struct CommitJournal {
  std::string path;
  std::string token;
  bool staging_began = false;
  std::vector<std::string> unit_projects;
  // The originals the staging journal names, by the paths they reach.
  std::vector<std::string> journaled;
};

// Whether the commit would replace the copy's original: a binary file whose
// copy differs in a byte, a text file whose copy differs in a line. Line
// ends alone do not count: such a file needed no change and keeps its bytes.
std::error_code CopyDiffers(const StagedCopy& copy, bool* differs);

// What a commit would refuse before it touched anything (a read-only file or
// folder, a vanished original), without changing a thing; for previews.
CommitOutcome CheckCommit(const std::vector<StagedCopy>& copies);

// Readies a copy the run wrote beside its original to take the original's
// place: the original's owner, attributes and permissions, its bytes
// durable; `checksum` is of its bytes. With kLater its bytes are only
// written out, and the caller syncs the copy before the commit relies on it.
enum class SealSync { kNow, kLater };
std::error_code SealCopy(const std::string& staged, const std::string& original,
                         const CopyFacts* facts, uint64_t* checksum,
                         SealSync sync = SealSync::kNow);

// Makes a copy sealed with SealSync::kLater durable.
std::error_code SyncCopy(const std::string& staged);

// Commits every copy, then deletes the copies and empties the list, whatever
// the outcome. The copies named in `sealed` were sealed already (SealCopy),
// and nothing was written to them since.
CommitOutcome CommitCopies(std::vector<StagedCopy>& copies, const CommitJournal& journal = {},
                           const std::set<std::string>& sealed = {});

}  // namespace vireo
