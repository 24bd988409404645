// Projects that share files, converted one after another and committed
// together, all or nothing, under one journal (see journal.h). Each file is
// converted once, by the first project that lists it; the projects after it
// take its result, so a shared file counts as changed for each of them.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/file_system.h"
#include "engine/project/commit.h"
#include "engine/project/held_files.h"
#include "engine/project/staging.h"
#include "host/path_resolver.h"

namespace vireo {

class UnitRun {
 public:
  // Holds every file the projects list and writes the unit's journal beside
  // the first project, with one pointing to it beside each other. The
  // caller holds every project's run lock and has recovered them. False,
  // with `failure_reason()` (and `busy()` when other runs held a file for
  // longer than `hold` waits), when that fails; nothing is left then.
  bool Begin(const std::vector<std::string>& projects, const PathResolver& resolver,
             const HoldPolicy& hold) {
    return staging_.Begin(projects, resolver, hold);
  }
  const std::string& failure_reason() const { return staging_.failure_reason(); }
  bool busy() const { return staging_.busy(); }

  // Where each project's run stages its copies, and hands them when ready.
  Staging& staging() { return staging_; }
  // The result an earlier project of the unit had for the file `path` reaches.
  std::optional<int16_t> ConvertedBefore(const std::string& path) const;
  void Converted(const std::string& path, int16_t result);

  // Commits every project's ready copies at once; the copies, the journals
  // and the held files go, whatever the outcome.
  CommitOutcome Commit() { return staging_.Commit(); }
  // See Staging::FinishSeals.
  void FinishSeals() { staging_.FinishSeals(); }
  // Deletes every copy and the journals; returns what could not be deleted.
  std::vector<std::string> Discard() { return staging_.Discard(); }

 private:
  using Identity = FileIdentity;
  static std::optional<Identity> IdentityOf(const std::string& path);

  Staging staging_;
  std::map<Identity, int16_t> converted_;
};

}  // namespace vireo
