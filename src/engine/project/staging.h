// The transaction of one run, owned in one place: the files it holds, its
// token, its journal and every copy it made. A run that will commit stages
// beside the originals it replaces, under names made from the token (the
// commit then only renames each copy into place); a dry run, and any run
// that has not begun, writes its copies in the temporary directory.
//
// `Commit()` puts the ready copies over their originals, all or nothing;
// a staging destroyed before that deletes every copy and its journals. A
// single project is a unit of one: the same staging serves both.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/file_system.h"
#include "engine/project/commit.h"
#include "engine/project/early_seals.h"
#include "engine/project/file_result.h"
#include "engine/project/held_files.h"
#include "engine/project/journal.h"
#include "host/path_resolver.h"

namespace vireo {

inline constexpr char kTempPrefix[] = "vr5";

class Staging {
 public:
  Staging() = default;
  ~Staging();
  Staging(const Staging&) = delete;
  Staging& operator=(const Staging&) = delete;

  // Holds every file the projects list (waiting for other runs as `hold`
  // says), picks the token and writes the journal beside the first project
  // naming those files, with one pointing to it beside each other project,
  // so that a crash while converting leaves nothing recovery cannot remove.
  // The caller holds every project's run lock and has recovered them. False,
  // with `failure_reason()` (and `busy()` when other runs held a file too
  // long), when that fails; nothing is left then but `leftovers()`.
  bool Begin(const std::vector<std::string>& projects, const PathResolver& resolver,
             const HoldPolicy& hold);
  bool begun() const { return !token_.empty(); }
  // For a dry run whose copies nobody reads: from now on MakeCopy makes
  // none (an empty path and no file), and converters feed digests only.
  void WriteNoCopies() { no_copies_ = !begun(); }
  bool writes_copies() const { return !no_copies_; }
  bool busy() const { return busy_; }
  const std::string& failure_reason() const { return failure_reason_; }
  const std::vector<std::string>& leftovers() const { return leftovers_; }

  // Makes a new empty copy of `original`, open for writing, created
  // exclusively with mode 0600: beside the file `original` reaches when the
  // staging has begun (a copy made there before for the same file is
  // deleted: the last one counts), else in the temporary directory. Safe
  // to call from several threads. False, with the reason, when that fails.
  // After WriteNoCopies, `copy` is empty and `file` is -1.
  bool MakeCopy(const std::string& original, std::string* copy, FileHandle* file,
                std::string* reason);
  // Deletes every copy made of `original`.
  void Drop(const std::string& original);
  // A copy written to its end: its writing to disk starts now, and one
  // beside its original that differs from it is sealed while the run goes
  // on. Safe to call from several threads.
  void Written(const StagedCopy& copy);

  // From how many copies on they are sealed while the run goes on (see
  // EarlySeals); before the first copy is written.
  void SealEarlyFrom(size_t copies) { early_seals_.BeginWith(copies); }
  // Waits for the copies being sealed while the run went on; no more are
  // sealed that way. Called before the last look for an interrupt, so that
  // nothing of the run is still going on when the commit begins.
  void FinishSeals() { early_seals_.Finish(); }

  // The copies the commit is to put in place, in the files' order.
  void Ready(const std::vector<StagedCopy>& copies);
  const std::vector<StagedCopy>& ready() const { return ready_; }

  // What the commit would refuse, without changing a thing (for previews).
  CommitOutcome Check() const;
  // Commits the ready copies; every copy, the journals and the held files
  // go, whatever the outcome.
  CommitOutcome Commit();
  // Deletes every copy, then the journals; returns what could not be deleted.
  std::vector<std::string> Discard();

 private:
  void Fail(const std::string& reason);
  bool WriteJournals(const std::string& first_project, const Journal& journal);
  std::vector<std::string> RemoveCopies(const std::vector<std::string>& copies);
  std::vector<std::string> RemoveJournals();

  std::mutex mutex_;  // guards `made_`
  std::vector<StagedCopy> made_;
  std::vector<StagedCopy> ready_;
  std::string token_;
  std::string journal_;
  std::vector<std::string> unit_projects_;
  std::vector<std::string> journaled_;  // the originals the staging journal names
  HeldFiles held_;
  EarlySeals early_seals_;
  bool busy_ = false;
  bool settled_ = false;
  bool no_copies_ = false;
  std::string failure_reason_;
  std::vector<std::string> leftovers_;
};

}  // namespace vireo
