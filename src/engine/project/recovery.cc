#include "engine/project/recovery.h"

#include <memory>
#include <set>

#include "base/file_io.h"
#include "engine/project/journal.h"
#include "engine/project/project_file.h"
#include "engine/project/run_lock.h"

namespace vireo {
namespace {

constexpr char kSetAsideTag[] = ".rejected";

// kTorn: a file rewritten in place holds neither content because the
// rewrite was cut short; it is brought to one of them like the others.
enum class Found { kOld, kNew, kTorn, kEdited };

// A journal entry with the names derived for it and what its original holds.
struct CheckedEntry {
  std::string original;
  std::string staged;
  std::string backup;
  uint64_t old_checksum = 0;
  uint64_t new_checksum = 0;
  bool in_place = false;
  Found found = Found::kEdited;
};

bool Holds(const std::string& path, ChecksumKind kind, uint64_t checksum) {
  uint64_t actual = 0;
  return !FileChecksum(path, kind, &actual) && actual == checksum;
}

bool Exists(const std::string& path) {
  PathStatus status;
  return !Files().Status(path, &status) && status.exists;
}

std::string NameOf(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string DiscardHint(const std::string& project_file) {
  return "look at it and the files it names, then `vireo-migrate recover --discard " +
         project_file + "` removes it";
}

// Renames the journal out of the way (never over another file) so that it
// is kept for the user but no longer taken for an interrupted commit.
RecoveryOutcome SetAside(const std::string& project_file, const std::string& journal_path,
                         const std::string& found) {
  RecoveryOutcome outcome;
  outcome.result = RecoveryResult::kFailed;
  std::string target = journal_path + kSetAsideTag;
  for (int n = 2; Exists(target); ++n) target = journal_path + kSetAsideTag + "." + std::to_string(n);
  if (auto error = Files().Rename(journal_path, target)) {
    outcome.message = found + "; nothing was changed, and the journal " + journal_path +
                      " could not be set aside (" + Describe(error) + ")";
    return outcome;
  }
  Files().SyncDirectory(ParentDirectory(journal_path));
  outcome.message = found + "; nothing was changed. The journal was set aside as " + target +
                    ": " + DiscardHint(project_file) + ".";
  return outcome;
}

// The files each project of a journal lists, by what they are.
struct ListedByProjects {
  std::vector<std::vector<PathStatus>> files;  // per project, in the journal's order
};

// The reason when `project` is missing or not a regular file; looked at
// before it is read, so that a FIFO or device is never opened.
std::string CheckProjectFile(const std::string& project) {
  PathStatus status;
  if (Files().Status(project, &status) || !status.exists)
    return "it joins " + project + ", which does not exist";
  if (!status.is_regular) return "it joins " + project + ", which is not a regular file";
  return "";
}

// Reads what every project lists; the reason when one cannot be read.
std::string ListAll(const std::vector<std::string>& projects, const PathResolver& resolver,
                    ListedByProjects* listed) {
  for (const std::string& project : projects) {
    if (std::string wrong = CheckProjectFile(project); !wrong.empty()) return wrong;
    std::vector<std::string> paths;
    std::string problem;
    if (!ListedFiles(project, resolver, &paths, &problem)) return problem;
    std::vector<PathStatus>& statuses = listed->files.emplace_back();
    for (const std::string& path : paths) {
      PathStatus status;
      if (!Files().Status(path, &status) && status.exists) statuses.push_back(status);
    }
  }
  return "";
}

bool AnyShared(const std::vector<PathStatus>& a, const std::vector<PathStatus>& b) {
  for (const PathStatus& x : a) {
    for (const PathStatus& y : b) {
      if (SameFile(x, y)) return true;
    }
  }
  return false;
}

// Projects commit together only when they share files, directly or through
// each other: a journal joining others could reach projects no one asked
// to convert. The reason when some project is not reached so.
std::string CheckConnected(const std::vector<std::string>& projects,
                           const ListedByProjects& listed) {
  std::vector<bool> reached(projects.size(), false);
  reached[0] = true;
  for (bool grew = true; grew;) {
    grew = false;
    for (size_t i = 0; i < projects.size(); ++i) {
      if (reached[i]) continue;
      for (size_t j = 0; j < projects.size() && !reached[i]; ++j)
        reached[i] = reached[j] && AnyShared(listed.files[i], listed.files[j]);
      grew |= reached[i];
    }
  }
  for (size_t i = 0; i < projects.size(); ++i) {
    if (!reached[i]) return "it joins " + projects[i] + ", which shares no file with the others";
  }
  return "";
}

// Checks every entry against the projects' own lists before anything is
// touched; the reason when one does not belong to them.
std::string CheckEntries(const Journal& journal, const std::vector<std::string>& projects,
                         const PathResolver& resolver) {
  ListedByProjects listed;
  if (std::string problem = ListAll(projects, resolver, &listed); !problem.empty()) return problem;
  if (std::string problem = CheckConnected(projects, listed); !problem.empty()) return problem;
  for (const JournalEntry& e : journal.entries) {
    PathStatus status;
    if (Files().Status(e.original, &status) || !status.exists)
      return "it names " + e.original + ", which does not exist";
    if (!status.is_regular) return "it names " + e.original + ", which is not a regular file";
    bool is_listed = false;
    for (const std::vector<PathStatus>& files : listed.files) is_listed |= AnyShared({status}, files);
    if (!is_listed)
      return "it names " + e.original + ", which " +
             (projects.size() > 1 ? "none of its projects lists" : "the project does not list");
  }
  return "";
}

// The entries of a checked journal, with what each original holds now.
std::vector<CheckedEntry> Examine(const Journal& journal) {
  std::vector<CheckedEntry> checked;
  for (const JournalEntry& e : journal.entries) {
    CheckedEntry entry{e.original,     StagedPathFor(e.original, journal.token),
                       BackupPathFor(e.original, journal.token),
                       e.old_checksum, e.new_checksum, e.in_place};
    // While staging no original was replaced: whatever each holds is its own.
    entry.found = journal.state == JournalState::kStaging ? Found::kOld
                  : Holds(e.original, journal.checksum, e.new_checksum) ? Found::kNew
                  : Holds(e.original, journal.checksum, e.old_checksum) ? Found::kOld
                  : e.in_place                                          ? Found::kTorn
                                                                        : Found::kEdited;
    checked.push_back(entry);
  }
  return checked;
}

bool CanFinish(const Journal& journal, const std::vector<CheckedEntry>& entries) {
  if (journal.state != JournalState::kCommitting) return false;
  for (const CheckedEntry& e : entries) {
    bool needs_new = e.found == Found::kOld || e.found == Found::kTorn;
    if (needs_new && !Holds(e.staged, journal.checksum, e.new_checksum)) return false;
  }
  return true;
}

bool CanUndo(const Journal& journal, const std::vector<CheckedEntry>& entries) {
  if (journal.state == JournalState::kStaging) return true;  // nothing was replaced yet
  for (const CheckedEntry& e : entries) {
    bool needs_old = e.found == Found::kNew || e.found == Found::kTorn;
    if (needs_old && !Holds(e.backup, journal.checksum, e.old_checksum)) return false;
  }
  return true;
}

// Brings every entry that the user has not edited to its new (`forward`) or
// old content; false with the file that could not be brought there.
bool Settle(const Journal& journal, const std::vector<CheckedEntry>& entries, bool forward,
            std::string* stuck) {
  if (journal.state == JournalState::kStaging) return true;
  std::set<std::string> directories;
  for (const CheckedEntry& e : entries) {
    Found wanted = forward ? Found::kNew : Found::kOld;
    if (e.found == Found::kEdited || e.found == wanted) continue;
    const std::string& source = forward ? e.staged : e.backup;
    if (e.in_place ? WriteContentInto(source, e.original) : Files().Rename(source, e.original)) {
      *stuck = e.original;
      return false;
    }
    directories.insert(ParentDirectory(e.original));
  }
  for (const std::string& directory : directories) Files().SyncDirectory(directory);
  return true;
}

void RemoveQuietly(const std::string& path, RecoveryOutcome& outcome) {
  if (!Exists(path)) return;
  if (Files().Remove(path)) outcome.leftovers.push_back(path);
}

std::string KeptEdit(const CheckedEntry& e) {
  std::string text = " " + e.original +
                     " holds neither its old nor its converted content (it was changed after "
                     "the interruption): it is left as it is";
  if (Exists(e.backup)) text += "; its old content is kept in " + e.backup;
  if (Exists(e.staged)) text += "; its converted content is kept in " + e.staged;
  return text + ".";
}

// Whether `path` is a journal pointing to `unit_project`'s with `token`.
bool PointsTo(const std::string& path, const std::string& unit_project, const std::string& token) {
  Journal pointer;
  std::string ignored;
  PathStatus a, b;
  return ReadJournal(path, &pointer, &ignored) && pointer.token == token &&
         !Files().Status(pointer.part_of, &a) && !Files().Status(unit_project, &b) && a.exists &&
         SameFile(a, b);
}

// What the projects of a unit journal are called in messages.
std::string Named(const std::vector<std::string>& projects) {
  std::string names = projects[0];
  for (size_t i = 1; i < projects.size(); ++i)
    names += (i + 1 == projects.size() ? " and " : ", ") + projects[i];
  return names;
}

// The files beside `path` whose names begin with `prefix`.
std::vector<std::string> FilesBeside(const std::string& path, const std::string& prefix) {
  std::string folder = path.substr(0, path.size() - NameOf(path).size());
  std::vector<std::string> names, found;
  Files().ListDirectory(folder.empty() ? "." : folder, &names);
  for (const std::string& name : names) {
    if (name.compare(0, prefix.size(), prefix) == 0) found.push_back(folder + name);
  }
  return found;
}

// Journals a crash cut short before they took their name: never read, ours
// by their names.
std::vector<std::string> UnfinishedJournals(const std::string& journal_path) {
  return FilesBeside(journal_path, DurableWritePrefix(journal_path));
}

// `projects`: the unit journal's own project first, then those pointing to it.
RecoveryOutcome Settled(const std::vector<std::string>& projects, const Journal& journal,
                        const std::vector<CheckedEntry>& entries, bool forward) {
  RecoveryOutcome outcome;
  for (const CheckedEntry& e : entries) {
    if (e.found == Found::kEdited) {
      outcome.kept_edits.push_back(e.original);
      continue;
    }
    RemoveQuietly(e.staged, outcome);
    RemoveQuietly(e.backup, outcome);
  }
  for (const std::string& project : projects) {
    for (const std::string& unfinished : UnfinishedJournals(JournalPathFor(project)))
      RemoveQuietly(unfinished, outcome);
  }
  // The pointers first: one left alone would point to nothing.
  for (size_t i = 1; i < projects.size(); ++i) {
    std::string pointer = JournalPathFor(projects[i]);
    if (Exists(pointer) && PointsTo(pointer, projects[0], journal.token) && RemoveJournal(pointer))
      outcome.leftovers.push_back(pointer);
  }
  std::string journal_path = JournalPathFor(projects[0]);
  if (RemoveJournal(journal_path)) outcome.leftovers.push_back(journal_path);
  outcome.result = forward ? RecoveryResult::kFinished : RecoveryResult::kUndone;
  outcome.message = forward ? "An interrupted conversion of " + Named(projects) +
                                  " was finished: every file now holds its converted content."
                            : "An interrupted conversion of " + Named(projects) +
                                  " was undone: every file holds its old content again.";
  if (!outcome.kept_edits.empty()) {
    outcome.message.pop_back();
    outcome.message += ", except:";
    for (const CheckedEntry& e : entries) {
      if (e.found == Found::kEdited) outcome.message += KeptEdit(e);
    }
  }
  return outcome;
}

// The run locks of the unit's projects, held while it is recovered, so
// that no run of one of them reads its files meanwhile; those this process
// holds already are its own.
class UnitLocks {
 public:
  std::string Take(const std::vector<std::string>& projects) {
    for (const std::string& project : projects) {
      if (RunLock::HeldHere(project)) continue;
      std::string problem;
      if (!locks_.emplace_back(std::make_unique<RunLock>())->Acquire(project, &problem))
        return problem;
    }
    return "";
  }

 private:
  std::vector<std::unique_ptr<RunLock>> locks_;
};

// Sets aside each of `journals` in turn; the message names them all.
RecoveryOutcome SetAsideEach(const std::string& project_file,
                             const std::vector<std::string>& journals, const std::string& found) {
  RecoveryOutcome outcome = SetAside(project_file, journals[0], found);
  for (size_t i = 1; i < journals.size(); ++i) {
    RecoveryOutcome more = SetAside(project_file, journals[i], journals[i] + " points to it");
    outcome.message += " " + more.message;
  }
  return outcome;
}

// `projects`: the journal's own project first, then the others of its unit;
// `found`: the journals read to reach it, its own first. The unit's run
// locks are held.
RecoveryOutcome RecoverLockedUnit(const std::vector<std::string>& projects, const Journal& journal,
                                  const std::vector<std::string>& found,
                                  const PathResolver& resolver) {
  const std::string& path = found[0];
  if (std::string wrong = CheckEntries(journal, projects, resolver); !wrong.empty())
    return SetAsideEach(projects[0], found, path + ": " + wrong);
  std::vector<CheckedEntry> entries = Examine(journal);
  bool forward = CanFinish(journal, entries);
  if (!forward && !CanUndo(journal, entries))
    return SetAsideEach(projects[0], found,
                        path + ": the files beside the originals hold neither every converted "
                               "content nor every old one");
  std::string stuck;
  if (!Settle(journal, entries, forward, &stuck)) {
    RecoveryOutcome outcome;
    outcome.result = RecoveryResult::kFailed;
    outcome.message = stuck + ": cannot be brought back to its " + (forward ? "new" : "old") +
                      " content; the journal " + path + " is kept, and so are the files beside it";
    return outcome;
  }
  return Settled(projects, journal, entries, forward);
}

// Taking a project's run lock creates a file beside it, so the journal is
// checked before that, and again under the locks since the files may have
// changed meanwhile.
RecoveryOutcome RecoverUnit(const std::vector<std::string>& projects, const Journal& journal,
                            const std::vector<std::string>& found, const PathResolver& resolver) {
  const std::string& path = found[0];
  if (std::string wrong = CheckEntries(journal, projects, resolver); !wrong.empty())
    return SetAsideEach(projects[0], found, path + ": " + wrong);
  UnitLocks locks;
  if (std::string busy = locks.Take(projects); !busy.empty()) {
    RecoveryOutcome outcome;
    outcome.result = RecoveryResult::kFailed;
    outcome.message =
        path + ": the interrupted conversion it records cannot be recovered now: " + busy;
    return outcome;
  }
  return RecoverLockedUnit(projects, journal, found, resolver);
}

// A journal beside a project of a unit only points to the unit's journal,
// which must name this project among its own and carry the same token.
RecoveryOutcome RecoverThroughPointer(const std::string& project_file, const Journal& pointer,
                                      const PathResolver& resolver) {
  std::string path = JournalPathFor(project_file);
  std::string unit_path = JournalPathFor(pointer.part_of);
  if (!Exists(unit_path))
    return SetAside(project_file, path,
                    path + ": it points to " + unit_path + ", which does not exist");
  Journal journal;
  std::string problem;
  if (!ReadJournal(unit_path, &journal, &problem))
    return SetAside(project_file, path, path + ": the journal it points to cannot be used (" + problem + ")");
  PathStatus own;
  Files().Status(project_file, &own);
  bool named = false;
  for (const std::string& project : journal.unit_projects) {
    PathStatus status;
    named |= !Files().Status(project, &status) && status.exists && SameFile(status, own);
  }
  if (!journal.part_of.empty() || journal.token != pointer.token || !named)
    return SetAside(project_file, path,
                    path + ": it points to " + unit_path + ", which is not this project's unit");
  std::vector<std::string> projects{pointer.part_of};
  projects.insert(projects.end(), journal.unit_projects.begin(), journal.unit_projects.end());
  return RecoverUnit(projects, journal, {unit_path, path}, resolver);
}

}  // namespace

bool HasInterruptedCommit(const std::string& project_file) {
  return Exists(JournalPathFor(project_file));
}

std::vector<std::string> SetAsideJournals(const std::string& project_file) {
  std::string journal = JournalPathFor(project_file);
  return FilesBeside(journal, NameOf(journal) + kSetAsideTag);
}

RecoveryOutcome RecoverInterruptedCommit(const std::string& project_file,
                                         const PathResolver& resolver) {
  RecoveryOutcome outcome;
  std::string path = JournalPathFor(project_file);
  for (const std::string& unfinished : UnfinishedJournals(path)) RemoveQuietly(unfinished, outcome);
  if (!Exists(path)) return outcome;
  Journal journal;
  std::string problem;
  if (!ReadJournal(path, &journal, &problem)) return SetAside(project_file, path, problem);
  if (!journal.part_of.empty()) return RecoverThroughPointer(project_file, journal, resolver);
  std::vector<std::string> projects{project_file};
  projects.insert(projects.end(), journal.unit_projects.begin(), journal.unit_projects.end());
  return RecoverUnit(projects, journal, {path}, resolver);
}

std::vector<std::string> DiscardJournals(const std::string& project_file, std::string* problem) {
  std::string path = JournalPathFor(project_file);
  std::vector<std::string> candidates = SetAsideJournals(project_file);
  candidates.push_back(path);
  for (const std::string& unfinished : UnfinishedJournals(path)) candidates.push_back(unfinished);
  std::vector<std::string> removed;
  for (const std::string& candidate : candidates) {
    if (!Exists(candidate)) continue;
    if (auto error = Files().Remove(candidate)) {
      *problem = candidate + ": cannot be removed (" + Describe(error) + ")";
      continue;
    }
    removed.push_back(candidate);
  }
  Files().SyncDirectory(ParentDirectory(path));
  return removed;
}

}  // namespace vireo
