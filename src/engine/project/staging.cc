#include "engine/project/staging.h"

#include <algorithm>
#include <set>

#include "base/file_io.h"
#include "engine/project/at_once.h"
#include "engine/project/journal.h"
#include "engine/project/project_file.h"

namespace vireo {
namespace {

constexpr size_t kPointerThreads = 4;

// The existing regular files the projects list, by the paths they reach.
struct StagedOriginals {
  // Each file once: a file is held once, whatever its names.
  std::vector<std::string> held;
  // Each of those paths once: a file listed under names that are hard links
  // gets a copy beside the name it is converted by, so the journal names all.
  std::vector<std::string> named;
};

StagedOriginals OriginalsOf(const std::vector<std::string>& listed) {
  StagedOriginals originals;
  std::set<std::string> named;
  std::set<FileIdentity> held;
  for (const std::string& path : listed) {
    PathStatus status;
    std::string real;
    if (Files().Status(path, &status) || !status.is_regular || Files().RealPath(path, &real))
      continue;
    if (named.insert(real).second) originals.named.push_back(real);
    if (held.insert(FileIdentityOf(status)).second) originals.held.push_back(real);
  }
  return originals;
}

bool MakeInTempDirectory(const std::string& original, std::string* path, FileHandle* file,
                         std::string* reason) {
  std::string directory;
  if (auto error = Files().TempDirectory(&directory)) {
    *reason = original + ": no temporary directory (" + Describe(error) + ")";
    return false;
  }
  if (auto error = Files().CreateTempFile(directory, kTempPrefix, path, file)) {
    *reason = original + ": cannot create a temporary file in " + directory + " (" +
              Describe(error) + ")";
    return false;
  }
  return true;
}

}  // namespace

Staging::~Staging() {
  if (!settled_) Discard();
}

void Staging::Fail(const std::string& reason) {
  if (failure_reason_.empty()) failure_reason_ = reason;
}

bool Staging::Begin(const std::vector<std::string>& projects, const PathResolver& resolver,
                    const HoldPolicy& hold) {
  std::vector<std::string> listed;
  std::string problem;
  for (const std::string& project : projects) {
    std::vector<std::string> files;
    if (!ListedFiles(project, resolver, &files, &problem)) {
      Fail(problem);
      return false;
    }
    listed.insert(listed.end(), files.begin(), files.end());
  }
  StagedOriginals originals = OriginalsOf(listed);
  HoldResult held = HoldAll(originals.held, hold, &held_, &problem);
  if (held != HoldResult::kHeld) {
    busy_ = held == HoldResult::kBusy;
    Fail(problem);
    held_.Release();
    return false;
  }
  Journal journal;
  journal.state = JournalState::kStaging;
  journal.token = NewRunToken();
  journal.unit_projects.assign(projects.begin() + 1, projects.end());
  for (const std::string& original : originals.named) journal.entries.push_back({original});
  journaled_ = originals.named;
  // Named at once: a journal that took its name before the write failed
  // goes with the run.
  journal_ = JournalPathFor(projects.front());
  unit_projects_ = journal.unit_projects;
  bool written = WriteJournals(projects.front(), journal);
  if (!written) {
    leftovers_ = RemoveJournals();
    held_.Release();
    return false;
  }
  token_ = journal.token;
  return true;
}

// The journal and the other projects' pointers to it are written beside
// their names and synced together; the journal then takes its name, and the
// pointers theirs once it is durable: one left alone would point to nothing.
bool Staging::WriteJournals(const std::string& first_project, const Journal& journal) {
  std::vector<std::string> paths{journal_};
  for (const std::string& project : unit_projects_) paths.push_back(JournalPathFor(project));
  Journal pointer = PointerJournal(first_project, journal.token);
  std::vector<DurableWrite> writes(paths.size());
  std::vector<std::error_code> errors(paths.size());
  auto each = [&](size_t first, auto step) {
    AtOnce(paths.size() - first, kPointerThreads, [&](size_t i) {
      errors[first + i] = step(first + i);
      return !errors[first + i];
    });
  };
  auto all_done = [&] {
    return std::none_of(errors.begin(), errors.end(), [](std::error_code e) { return bool(e); });
  };
  each(0, [&](size_t i) { return PrepareJournal(writes[i], paths[i], i ? pointer : journal); });
  if (all_done()) errors[0] = writes[0].Finish();
  if (all_done()) each(1, [&](size_t i) { return writes[i].Finish(); });
  for (size_t i = 0; i < paths.size(); ++i) {
    if (!errors[i]) continue;
    Fail(paths[i] + ": the commit journal cannot be written (" + Describe(errors[i]) + ")");
    return false;
  }
  return true;
}

bool Staging::MakeCopy(const std::string& original, std::string* copy, FileHandle* file,
                       std::string* reason) {
  if (no_copies_) {
    copy->clear();
    *file = -1;
    return true;
  }
  if (!begun()) {
    if (!MakeInTempDirectory(original, copy, file, reason)) return false;
    std::lock_guard lock(mutex_);
    made_.push_back({original, *copy, false, std::nullopt});
    return true;
  }
  std::string real;
  if (auto error = Files().RealPath(original, &real)) {
    *reason = original + ": cannot be opened (" + Describe(error) + ")";
    return false;
  }
  *copy = StagedPathFor(real, token_);
  std::lock_guard lock(mutex_);
  // The same file listed again: its last copy counts.
  auto again = std::find_if(made_.begin(), made_.end(),
                            [&](const StagedCopy& made) { return made.copy == *copy; });
  if (again != made_.end()) {
    early_seals_.Distrust(*copy);
    Files().Remove(*copy);
    made_.erase(again);
  }
  if (auto error = Files().Open(*copy, OpenFor::kCreateExclusive, file)) {
    *reason = original + ": cannot create its new copy " + *copy + " (" + Describe(error) + ")";
    return false;
  }
  made_.push_back({original, *copy, false, std::nullopt});
  return true;
}

void Staging::Drop(const std::string& original) {
  std::lock_guard lock(mutex_);
  std::erase_if(made_, [&](const StagedCopy& made) {
    if (made.original != original) return false;
    Files().Remove(made.copy);
    return true;
  });
}

void Staging::Written(const StagedCopy& copy) {
  if (!begun()) return;
  Files().StartWriteback(copy.copy);
  early_seals_.Add(copy);
}

void Staging::Ready(const std::vector<StagedCopy>& copies) {
  ready_.insert(ready_.end(), copies.begin(), copies.end());
}

CommitOutcome Staging::Check() const { return CheckCommit(ready_); }

CommitOutcome Staging::Commit() {
  // Copies made but not ready (a project of the unit that needed no change)
  // go first.
  std::set<std::string> ready;
  for (const StagedCopy& r : ready_) ready.insert(r.copy);
  std::vector<std::string> unready;
  for (const StagedCopy& made : made_) {
    if (!ready.count(made.copy)) unready.push_back(made.copy);
  }
  const std::set<std::string>& sealed = early_seals_.Finish();
  std::vector<std::string> left = RemoveCopies(unready);
  CommitJournal journal{begun() ? journal_ : "", token_, begun(), unit_projects_, journaled_};
  CommitOutcome outcome = CommitCopies(ready_, journal, sealed);
  outcome.leftovers.insert(outcome.leftovers.begin(), left.begin(), left.end());
  made_.clear();
  ready_.clear();
  settled_ = true;
  held_.Release();
  return outcome;
}

std::vector<std::string> Staging::RemoveCopies(const std::vector<std::string>& copies) {
  std::vector<std::string> leftovers;
  for (const std::string& copy : copies) {
    std::error_code error = Files().Remove(copy);
    if (error && error != std::errc::no_such_file_or_directory) leftovers.push_back(copy);
  }
  return leftovers;
}

// The pointers first: one left alone would point to nothing.
std::vector<std::string> Staging::RemoveJournals() {
  std::vector<std::string> leftovers;
  if (journal_.empty()) return leftovers;
  std::vector<std::string> journals;
  for (const std::string& project : unit_projects_) journals.push_back(JournalPathFor(project));
  journals.push_back(journal_);
  for (const std::string& journal : journals) {
    std::error_code error = RemoveJournal(journal);
    if (error && error != std::errc::no_such_file_or_directory) leftovers.push_back(journal);
  }
  journal_.clear();
  unit_projects_.clear();
  return leftovers;
}

std::vector<std::string> Staging::Discard() {
  if (settled_) return {};
  early_seals_.Stop();
  std::vector<std::string> copies;
  {
    std::lock_guard lock(mutex_);
    for (const StagedCopy& made : made_) copies.push_back(made.copy);
    made_.clear();
  }
  ready_.clear();
  std::vector<std::string> leftovers = RemoveCopies(copies);
  // A journal stays while a copy it lets recovery find is left.
  if (leftovers.empty()) {
    std::vector<std::string> journals = RemoveJournals();
    leftovers.insert(leftovers.end(), journals.begin(), journals.end());
  }
  settled_ = true;
  held_.Release();
  return leftovers;
}

}  // namespace vireo
