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

#include "engine/project/commit.h"
#include "engine/project/conversion_run.h"
#include "engine/project/held_files.h"
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
             const HoldPolicy& hold);
  const std::string& failure_reason() const { return run_.failure_reason; }
  bool busy() const { return run_.busy; }

  // Makes a project's run stage its copies under the unit's journal.
  void Join(ConversionRun& run) const;
  // The result an earlier project of the unit had for the file `path` reaches.
  std::optional<int16_t> ConvertedBefore(const std::string& path) const;
  void Converted(const std::string& path, int16_t result);
  // Takes over the copies of a project's run that is ready to commit.
  void Take(ConversionRun& run);

  // Commits every project's copies at once; the temporary files, the
  // journals and the held files go, whatever the outcome.
  CommitOutcome Commit();
  // Deletes every copy and the journals; returns what could not be deleted.
  std::vector<std::string> Discard();

 private:
  using Identity = std::pair<uint64_t, uint64_t>;  // (device, file id)
  static std::optional<Identity> IdentityOf(const std::string& path);

  ConversionRun run_;
  std::map<Identity, int16_t> converted_;
};

}  // namespace vireo
