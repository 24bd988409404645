#include "engine/project/commit.h"

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "base/checksum.h"
#include "base/file_io.h"
#include "engine/project/at_once.h"
#include "engine/project/journal.h"

namespace vireo {
namespace {

constexpr uint32_t kOwnerWrite = 0200;
constexpr size_t kBufferSize = 256 * 1024;
constexpr ChecksumKind kJournalChecksum = ChecksumKind::kXxh3;
constexpr size_t kStagingThreads = 4;

struct Replacement {
  std::string original;
  std::string temp;
  std::string staged;        // new bytes beside the original
  std::string backup;        // old bytes beside the original
  bool staged_made = false;  // by this commit: only those are removed
  bool backup_made = false;
  bool swapped = false;
  // A file with other names, or whose owner a new file could not get, is
  // rewritten in place once its old bytes are copied beside it.
  bool in_place = false;
  // What the conversion learnt while it streamed, if anything.
  const CopyFacts* facts = nullptr;
  bool unsynced = false;  // sealed, its data written, not yet synced
  uint64_t old_checksum = 0;
  uint64_t new_checksum = 0;
};

CommitOutcome Failure(const std::string& file, const std::string& what) {
  CommitOutcome outcome;
  outcome.ok = false;
  outcome.failed_file = file;
  outcome.reason = file + ": " + what;
  return outcome;
}

Journal JournalOf(const std::vector<Replacement>& plan, const std::string& token,
                  JournalState state, const std::vector<std::string>& unit_projects) {
  Journal journal;
  journal.state = state;
  journal.token = token;
  journal.unit_projects = unit_projects;
  for (const Replacement& r : plan)
    journal.entries.push_back({r.original, r.old_checksum, r.new_checksum, r.in_place});
  return journal;
}

CommitOutcome NotStaged(const Replacement& r, std::error_code error) {
  return Failure(r.original, "cannot write its new content beside it in " + r.staged + " (" +
                                 Describe(error) + ")");
}

// Refuses what Windows would refuse: read-only files and folders. `status`
// is the original's; `folders` keeps each folder's, asked once per plan.
CommitOutcome CheckReplaceable(const std::string& original, const PathStatus& status,
                               std::map<std::string, PathStatus>& folders) {
  if (!status.exists) return Failure(original, "no longer exists");
  if (status.is_directory) return Failure(original, "is a folder");
  constexpr char kWhatToDo[] =
      ": clear its read-only flag or check it out for editing, then run again; nothing was "
      "changed";
  if (!(status.permissions & kOwnerWrite))
    return Failure(original, std::string("is read-only") + kWhatToDo);
  std::string directory = ParentDirectory(original);
  auto [known, added] = folders.try_emplace(directory);
  PathStatus& folder = known->second;
  if (added && Files().Status(directory, &folder)) folder.exists = false;
  if (!folder.exists) return Failure(original, "its folder cannot be examined");
  if (!(folder.permissions & kOwnerWrite))
    return Failure(original, "its folder " + directory + " is read-only" + kWhatToDo);
  return {};
}

// Writes `from`'s bytes into the new file `copy` (an existing file of that
// name is an error, never overwritten), synced, with the original's owner,
// attributes and permissions; `checksum` is of the bytes written.
std::error_code StageCopy(const std::string& from, const std::string& original,
                          const std::string& copy, uint64_t* checksum, bool* made) {
  PathStatus status;
  if (auto error = Files().Status(original, &status)) return error;
  FileHandle in, out;
  if (auto error = Files().Open(from, OpenFor::kRead, &in)) return error;
  if (auto error = Files().Open(copy, OpenFor::kCreateExclusive, &out)) {
    Files().Close(in);
    return error;
  }
  *made = true;
  if (auto error = Files().CopyOwnership(original, out)) {
    Files().Close(in);
    Files().Close(out);
    return error;
  }
  std::unique_ptr<char[]> buffer(new char[kBufferSize]);
  std::error_code error;
  Checksummer sum(kJournalChecksum);
  while (!error) {
    size_t got = 0;
    if ((error = Files().Read(in, buffer.get(), kBufferSize, &got)) || got == 0) break;
    sum.Update(buffer.get(), got);
    error = Files().Write(out, buffer.get(), got);
  }
  *checksum = sum.Digest();
  Files().Close(in);
  if (!error) error = Files().SetPermissions(out, status.permissions);
  if (!error) error = Files().Sync(out);
  std::error_code closed = Files().Close(out);
  return error ? error : closed;
}

// Keeps the original's old bytes under `backup`: a second name for the
// original itself where the file system allows it and the original is to be
// replaced (not rewritten in place), else a copy.
std::error_code KeepOldBytes(const std::string& original, const std::string& backup,
                             bool may_link, const CopyFacts* facts, uint64_t* checksum,
                             bool* made) {
  if (may_link && !Files().Link(original, backup)) {
    *made = true;
    // The run holds the original: its bytes are still those it converted.
    if (facts) {
      *checksum = facts->old_checksum;
      return {};
    }
    return FileChecksum(backup, kJournalChecksum, checksum);
  }
  return StageCopy(original, original, backup, checksum, made);
}

// Removes a file of ours; one that cannot be removed is reported.
void RemoveOurs(const std::string& path, CommitOutcome& outcome) {
  PathStatus status;
  if (path.empty() || (!Files().Status(path, &status) && !status.exists)) return;
  if (Files().Remove(path)) outcome.leftovers.push_back(path);
}

// Puts the old bytes back; false when some original could not be restored.
bool RollBack(std::vector<Replacement>& plan, CommitOutcome& outcome) {
  bool complete = true;
  for (Replacement& r : plan) {
    if (r.swapped) {
      std::error_code error =
          r.in_place ? WriteContentInto(r.backup, r.original) : Files().Rename(r.backup, r.original);
      if (error) {
        outcome.reason += "; restoring " + r.original + " failed (" + Describe(error) +
                          "), its old content is kept in " + r.backup;
        complete = false;
        continue;
      }
      r.swapped = false;
    }
    if (r.staged_made) RemoveOurs(r.staged, outcome);
    if (r.backup_made) RemoveOurs(r.backup, outcome);
  }
  return complete;
}

// Readies one replacement but for syncing its new bytes (see SyncOne): its
// new bytes written beside the original, its old bytes kept.
CommitOutcome StageOne(Replacement& r, const std::set<std::string>& sealed) {
  // A copy the run wrote beside the original is only sealed, if it was not
  // while the run converted.
  std::error_code error;
  if (r.temp != r.staged) {
    error = StageCopy(r.temp, r.original, r.staged, &r.new_checksum, &r.staged_made);
  } else if (sealed.count(r.staged) && r.facts && r.facts->new_known) {
    r.new_checksum = r.facts->new_checksum;
  } else {
    error = SealCopy(r.staged, r.original, r.facts, &r.new_checksum, SealSync::kLater);
    r.unsynced = !error;
  }
  if (error) return NotStaged(r, error);
  if (auto error = KeepOldBytes(r.original, r.backup, !r.in_place, r.facts, &r.old_checksum,
                                &r.backup_made))
    return Failure(r.original, "cannot keep its old content beside it in " + r.backup + " (" +
                                   Describe(error) + ")");
  return {};
}

// Makes a copy sealed with its data written out durable: with every copy's
// data on the disk already, the syncs of many copies made at once are
// committed together.
CommitOutcome SyncOne(Replacement& r) {
  if (!r.unsynced) return {};
  if (auto error = SyncCopy(r.staged)) return NotStaged(r, error);
  return {};
}

CommitOutcome FirstFailure(const std::vector<CommitOutcome>& outcomes) {
  for (const CommitOutcome& outcome : outcomes) {
    if (!outcome.ok) return outcome;
  }
  return {};
}

// Every replacement readied, a few at once: each waits mostly on the disk,
// which takes several at a time. The first failure in the plan's order is
// the one told; no replacement is begun after one.
CommitOutcome Ready(std::vector<Replacement>& plan, const std::set<std::string>& sealed) {
  std::vector<CommitOutcome> outcomes(plan.size());
  AtOnce(plan.size(), kStagingThreads, [&](size_t i) {
    outcomes[i] = StageOne(plan[i], sealed);
    return outcomes[i].ok;
  });
  return FirstFailure(outcomes);
}

// Syncs every new copy and, in the same round, `also` (the next journal,
// written beside the journal until the copies are durable).
CommitOutcome SyncCopies(std::vector<Replacement>& plan,
                         const std::function<CommitOutcome()>& also) {
  std::vector<CommitOutcome> outcomes(plan.size() + 1);
  AtOnce(outcomes.size(), kStagingThreads, [&](size_t i) {
    outcomes[i] = i < plan.size() ? SyncOne(plan[i]) : also();
    return outcomes[i].ok;
  });
  return FirstFailure(outcomes);
}

// Copies the run wrote that the commit does not need go before the journal
// names only the plan. From then on the commit itself renames or removes the
// copies written beside the originals: only those in the temporary directory
// stay listed for the final clean-up.
void DropUnplanned(std::vector<StagedCopy>& copies, std::vector<Replacement>& plan,
                   CommitOutcome& outcome) {
  std::set<std::string> planned, beside;
  for (Replacement& r : plan) {
    planned.insert(r.temp);
    r.staged_made = r.temp == r.staged;
    if (r.staged_made) beside.insert(r.temp);
  }
  std::erase_if(copies, [&](const StagedCopy& copy) {
    if (!planned.count(copy.copy)) RemoveOurs(copy.copy, outcome);
    return !planned.count(copy.copy) || beside.count(copy.copy);
  });
}

CommitOutcome Swap(std::vector<Replacement>& plan) {
  std::set<std::string> directories;
  for (Replacement& r : plan) {
    // Marked first: a rewrite in place that fails half-way is put back too.
    r.swapped = r.in_place;
    std::error_code error = r.in_place ? WriteContentInto(r.staged, r.original)
                                       : Files().Rename(r.staged, r.original);
    if (error) return Failure(r.original, "cannot be replaced (" + Describe(error) + ")");
    r.swapped = true;
    directories.insert(ParentDirectory(r.original));
  }
  // The folders are synced together, as the copies were.
  std::vector<std::string> folders(directories.begin(), directories.end());
  std::vector<std::error_code> errors(folders.size());
  AtOnce(folders.size(), kStagingThreads,
         [&](size_t i) { return !(errors[i] = Files().SyncDirectory(folders[i])); });
  for (size_t i = 0; i < folders.size(); ++i) {
    if (errors[i]) return Failure(folders[i], "cannot be synced (" + Describe(errors[i]) + ")");
  }
  return {};
}

// What Plan learns of the files as it goes through the copies.
struct PlanState {
  std::set<FileIdentity> planned;
  std::map<std::string, PathStatus> folders;
  int* unchanged;
};

// Plans the replacement of one copy's original, unless it is planned
// already or its copy is the same.
CommitOutcome PlanOne(const StagedCopy& copy, const std::string& token, PlanState& state,
                      std::vector<Replacement>* plan) {
  // A listed path that is a symbolic link, or runs through one, stays a
  // link: the file it reaches is replaced, and reached twice is one file.
  std::string original;
  if (auto error = Files().RealPath(copy.original, &original))
    return Failure(copy.original, "cannot be found (" + Describe(error) + ")");
  PathStatus status;
  if (auto error = Files().Status(original, &status))
    return Failure(original, "cannot be examined (" + Describe(error) + ")");
  if (!state.planned.insert(FileIdentityOf(status)).second) return {};
  CommitOutcome checked = CheckReplaceable(original, status, state.folders);
  if (!checked.ok) return checked;
  bool differs = false;
  if (auto error = CopyDiffers(copy, &differs))
    return Failure(original,
                   "cannot be compared with its converted copy (" + Describe(error) + ")");
  if (!differs) {
    ++*state.unchanged;
    return {};
  }
  Replacement replacement{original, copy.copy, StagedPathFor(original, token),
                          BackupPathFor(original, token)};
  replacement.in_place = status.links > 1 || !status.owner_transferable;
  if (copy.facts) replacement.facts = &*copy.facts;
  plan->push_back(std::move(replacement));
  return {};
}

// The originals whose converted copies differ; the others are counted. A
// file the project lists twice was converted twice; copied over in turn, the
// last copy would stay, so only the last is planned. The plan is in the
// copies' order.
CommitOutcome Plan(const std::vector<StagedCopy>& copies, const std::string& token,
                   std::vector<Replacement>* plan, int* unchanged) {
  PlanState state{{}, {}, unchanged};
  CommitOutcome outcome;
  for (size_t i = copies.size(); i-- > 0 && outcome.ok;)
    outcome = PlanOne(copies[i], token, state, plan);
  std::reverse(plan->begin(), plan->end());
  return outcome;
}

// Whether `journaled` holds every original of `plan`. A file listed under two
// names that are hard links is journaled under one and planned under the other.
bool Names(const std::vector<std::string>& journaled, const std::vector<Replacement>& plan) {
  std::set<std::string> names(journaled.begin(), journaled.end());
  return std::all_of(plan.begin(), plan.end(),
                     [&](const Replacement& r) { return names.count(r.original) > 0; });
}

class JournaledCommit {
 public:
  // Takes over the journal that staging began, if any.
  JournaledCommit(const std::string& path, const std::string& token, bool staging_began,
                  const std::vector<std::string>& unit_projects)
      : path_(path), token_(token), written_(staging_began), unit_projects_(unit_projects) {}

  // Records the plan's state; a failure stops the commit.
  CommitOutcome Record(const std::vector<Replacement>& plan, JournalState state) {
    CommitOutcome outcome = Prepare(plan, state);
    return outcome.ok ? Finish() : outcome;
  }
  // Record in two halves: the state written beside the journal and synced,
  // then put in place.
  CommitOutcome Prepare(const std::vector<Replacement>& plan, JournalState state) {
    next_.reset();
    if (path_.empty() || plan.empty()) return {};
    written_ = true;
    next_ = std::make_unique<DurableWrite>();
    return Told(PrepareJournal(*next_, path_, JournalOf(plan, token_, state, unit_projects_)));
  }
  CommitOutcome Finish() {
    if (!next_) return {};
    std::unique_ptr<DurableWrite> next = std::move(next_);
    return Told(next->Finish());
  }
  void Keep() { written_ = false; }
  // The other projects' pointers go first: one left alone would point to nothing.
  void Remove(CommitOutcome& outcome) {
    if (!written_) return;
    for (const std::string& project : unit_projects_) RemoveOurs(JournalPathFor(project), outcome);
    RemoveOurs(path_, outcome);
  }

 private:
  CommitOutcome Told(std::error_code error) const {
    if (!error) return {};
    return Failure(path_, "the commit journal cannot be written (" + Describe(error) + ")");
  }

  const std::string& path_;
  const std::string& token_;
  bool written_;
  const std::vector<std::string> unit_projects_;
  std::unique_ptr<DurableWrite> next_;  // the state prepared, not yet in place
};

}  // namespace

std::error_code SealCopy(const std::string& staged, const std::string& original,
                         const CopyFacts* facts, uint64_t* checksum, SealSync sync) {
  PathStatus status;
  if (auto error = Files().Status(original, &status)) return error;
  FileHandle file;
  if (auto error = Files().Open(staged, OpenFor::kReadWrite, &file)) return error;
  std::error_code error;
  if (facts && facts->new_known) {
    *checksum = facts->new_checksum;
  } else {
    std::unique_ptr<char[]> buffer(new char[kBufferSize]);
    Checksummer sum(kJournalChecksum);
    while (!error) {
      size_t got = 0;
      if ((error = Files().Read(file, buffer.get(), kBufferSize, &got)) || got == 0) break;
      sum.Update(buffer.get(), got);
    }
    *checksum = sum.Digest();
  }
  if (!error) error = Files().CopyOwnership(original, file);
  if (!error) error = Files().SetPermissions(file, status.permissions);
  if (!error && sync == SealSync::kNow) error = Files().Sync(file);
  if (!error && sync == SealSync::kLater) Files().WriteBack(file);
  std::error_code closed = Files().Close(file);
  return error ? error : closed;
}

std::error_code SyncCopy(const std::string& staged) {
  FileHandle file;
  if (auto error = Files().Open(staged, OpenFor::kReadWrite, &file)) return error;
  std::error_code error = Files().Sync(file);
  std::error_code closed = Files().Close(file);
  return error ? error : closed;
}

std::error_code CopyDiffers(const StagedCopy& copy, bool* differs) {
  if (copy.facts) {
    *differs = !copy.facts->same;
    return {};
  }
  bool same = false;
  std::error_code error = copy.binary ? SameContent(copy.copy, copy.original, &same)
                                      : SameLines(copy.copy, copy.original, &same);
  *differs = !same;
  return error;
}

CommitOutcome CheckCommit(const std::vector<StagedCopy>& copies) {
  std::vector<Replacement> plan;
  int unchanged = 0;
  return Plan(copies, "", &plan, &unchanged);
}

CommitOutcome CommitCopies(std::vector<StagedCopy>& copies, const CommitJournal& journal_to,
                           const std::set<std::string>& sealed) {
  std::vector<Replacement> plan;
  int unchanged = 0;
  std::string token = journal_to.token.empty() ? NewRunToken() : journal_to.token;
  JournaledCommit journal(journal_to.path, token, journal_to.staging_began,
                          journal_to.unit_projects);
  CommitOutcome outcome = Plan(copies, token, &plan, &unchanged);
  if (outcome.ok) DropUnplanned(copies, plan, outcome);
  // The staging journal names the files about to be written beside the
  // originals, so a crash while staging leaves nothing that recovery cannot
  // find. One the run began, naming every planned original already with this
  // token (by which the copies and old bytes beside them are found), stays.
  if (outcome.ok && !(journal_to.staging_began && Names(journal_to.journaled, plan)))
    outcome = journal.Record(plan, JournalState::kStaging);
  if (outcome.ok) outcome = Ready(plan, sealed);
  // The committing journal is synced with the copies, and takes its name
  // only once they are durable.
  if (outcome.ok)
    outcome = SyncCopies(plan, [&] { return journal.Prepare(plan, JournalState::kCommitting); });
  if (outcome.ok) outcome = journal.Finish();
  if (outcome.ok) outcome = Swap(plan);
  if (outcome.ok) {
    for (Replacement& r : plan) {
      RemoveOurs(r.backup, outcome);
      if (r.in_place) RemoveOurs(r.staged, outcome);
    }
    outcome.replaced = static_cast<int>(plan.size());
    outcome.unchanged = unchanged;
  } else {
    // From here a crash must undo, not finish, the commit.
    journal.Record(plan, JournalState::kRollingBack);
    if (!RollBack(plan, outcome)) journal.Keep();
  }
  // The copies go before the journal that names them.
  for (const StagedCopy& copy : copies) RemoveOurs(copy.copy, outcome);
  copies.clear();
  journal.Remove(outcome);
  return outcome;
}

}  // namespace vireo
