#include "engine/project/commit.h"

#include <set>

#include "engine/file_io.h"
#include "engine/project/journal.h"
#include "engine/project/temp_files.h"

namespace vireo {
namespace {

constexpr uint32_t kOwnerWrite = 0200;

struct Replacement {
  std::string original;
  std::string temp;
  std::string staged;  // new bytes beside the original
  std::string backup;  // old bytes beside the original
  bool swapped = false;
  uint64_t old_checksum = 0;
  uint64_t new_checksum = 0;
};

Journal JournalOf(const std::vector<Replacement>& plan, JournalState state) {
  Journal journal;
  journal.state = state;
  for (const Replacement& r : plan)
    journal.entries.push_back({r.original, r.staged, r.backup, r.old_checksum, r.new_checksum});
  return journal;
}

std::string ParentDirectory(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

CommitOutcome Failure(const std::string& file, const std::string& what) {
  CommitOutcome outcome;
  outcome.ok = false;
  outcome.failed_file = file;
  outcome.reason = file + ": " + what;
  return outcome;
}

// Refuses what Windows would refuse: read-only files and folders.
CommitOutcome CheckReplaceable(const std::string& original) {
  PathStatus status;
  if (auto error = Files().Status(original, &status))
    return Failure(original, "cannot be examined (" + Describe(error) + ")");
  if (!status.exists) return Failure(original, "no longer exists");
  if (status.is_directory) return Failure(original, "is a folder");
  if (!(status.permissions & kOwnerWrite)) return Failure(original, "is read-only");
  PathStatus folder;
  std::string directory = ParentDirectory(original);
  if (auto error = Files().Status(directory, &folder); error || !folder.exists)
    return Failure(original, "its folder cannot be examined");
  if (!(folder.permissions & kOwnerWrite))
    return Failure(original, "its folder " + directory + " is read-only");
  return {};
}

// Writes `from`'s bytes into a new synced file beside `original`, with the
// original's permissions.
std::error_code StageCopy(const std::string& from, const std::string& original,
                          const std::string& tag, std::string* staged) {
  if (auto error = Files().CreateSiblingFile(original, tag, staged)) return error;
  PathStatus status;
  if (auto error = Files().Status(original, &status)) return error;
  if (auto error = CopyFileContent(from, *staged)) return error;
  FileHandle file;
  if (auto error = Files().Open(*staged, OpenFor::kReadWrite, &file)) return error;
  std::error_code error = Files().SetPermissions(file, status.permissions);
  if (!error) error = Files().Sync(file);
  std::error_code closed = Files().Close(file);
  return error ? error : closed;
}

void RemoveIfSet(const std::string& path, CommitOutcome& outcome) {
  if (!path.empty() && Files().Remove(path)) outcome.leftovers.push_back(path);
}

// Puts the old bytes back; false when some original could not be restored.
bool RollBack(std::vector<Replacement>& plan, CommitOutcome& outcome) {
  bool complete = true;
  for (Replacement& r : plan) {
    if (r.swapped) {
      if (auto error = Files().Rename(r.backup, r.original)) {
        outcome.reason += "; restoring " + r.original + " failed (" + Describe(error) +
                          "), its old content is kept in " + r.backup;
        r.backup.clear();
        complete = false;
        continue;
      }
      r.backup.clear();
      r.swapped = false;
    }
    RemoveIfSet(r.staged, outcome);
    RemoveIfSet(r.backup, outcome);
  }
  return complete;
}

CommitOutcome Stage(std::vector<Replacement>& plan) {
  for (Replacement& r : plan) {
    if (auto error = StageCopy(r.temp, r.original, "vr5new", &r.staged))
      return Failure(r.original, "cannot write its new content beside it (" + Describe(error) + ")");
    if (auto error = StageCopy(r.original, r.original, "vr5old", &r.backup))
      return Failure(r.original, "cannot keep its old content beside it (" + Describe(error) + ")");
    std::error_code error = FileChecksum(r.backup, &r.old_checksum);
    if (!error) error = FileChecksum(r.staged, &r.new_checksum);
    if (error) return Failure(r.original, "cannot be read back (" + Describe(error) + ")");
  }
  return {};
}

CommitOutcome Swap(std::vector<Replacement>& plan) {
  std::set<std::string> directories;
  for (Replacement& r : plan) {
    if (auto error = Files().Rename(r.staged, r.original))
      return Failure(r.original, "cannot be replaced (" + Describe(error) + ")");
    r.staged.clear();
    r.swapped = true;
    directories.insert(ParentDirectory(r.original));
  }
  for (const std::string& directory : directories) {
    if (auto error = Files().SyncDirectory(directory))
      return Failure(directory, "cannot be synced (" + Describe(error) + ")");
  }
  return {};
}

}  // namespace

CommitOutcome CommitTempFiles(ConversionRun& run, const std::string& journal_path) {
  CommitOutcome outcome;
  std::vector<Replacement> plan;
  int unchanged = 0;
  for (size_t i = 0; i < run.OriginalFiles.size() && outcome.ok; ++i) {
    const std::string& original = run.OriginalFiles[i];
    outcome = CheckReplaceable(original);
    if (!outcome.ok) break;
    bool same = false;
    if (auto error = SameContent(run.TempFiles[i], original, &same)) {
      outcome = Failure(original, "cannot be compared with its converted copy (" +
                                      Describe(error) + ")");
      break;
    }
    if (same) {
      ++unchanged;
    } else {
      plan.push_back({original, run.TempFiles[i], "", "", false});
    }
  }
  if (outcome.ok) outcome = Stage(plan);
  bool journaled = false;
  if (outcome.ok && !journal_path.empty() && !plan.empty()) {
    if (auto error = WriteJournal(journal_path, JournalOf(plan, JournalState::kCommitting))) {
      outcome = Failure(journal_path, "the commit journal cannot be written (" +
                                          Describe(error) + ")");
    } else {
      journaled = true;
    }
  }
  if (outcome.ok) outcome = Swap(plan);
  if (outcome.ok) {
    for (Replacement& r : plan) RemoveIfSet(r.backup, outcome);
    outcome.replaced = static_cast<int>(plan.size());
    outcome.unchanged = unchanged;
  } else {
    // From here a crash must undo, not finish, the commit.
    if (journaled) WriteJournal(journal_path, JournalOf(plan, JournalState::kRollingBack));
    // An incomplete rollback keeps its journal, so recovery can finish it.
    if (!RollBack(plan, outcome)) journaled = false;
  }
  if (journaled && RemoveJournal(journal_path)) outcome.leftovers.push_back(journal_path);
  std::vector<std::string> temps_left = DiscardTempFiles(run);
  outcome.leftovers.insert(outcome.leftovers.end(), temps_left.begin(), temps_left.end());
  return outcome;
}

}  // namespace vireo
