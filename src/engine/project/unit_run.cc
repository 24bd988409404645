#include "engine/project/unit_run.h"

#include "base/file_system.h"
#include "engine/project/temp_files.h"

namespace vireo {

bool UnitRun::Begin(const std::vector<std::string>& projects, const PathResolver& resolver,
                    const HoldPolicy& hold) {
  if (BeginUnitStaging(run_, projects, resolver, hold)) return true;
  DiscardTempFiles(run_);
  run_.held_files->Release();
  return false;
}

void UnitRun::Join(ConversionRun& run) const {
  run.staging_token = run_.staging_token;
  run.held_files = run_.held_files;
}

std::optional<UnitRun::Identity> UnitRun::IdentityOf(const std::string& path) {
  PathStatus status;
  if (path.empty() || Files().Status(path, &status) || !status.exists) return std::nullopt;
  return Identity{status.device, status.file_id};
}

std::optional<int16_t> UnitRun::ConvertedBefore(const std::string& path) const {
  std::optional<Identity> identity = IdentityOf(path);
  if (!identity) return std::nullopt;
  auto found = converted_.find(*identity);
  if (found == converted_.end()) return std::nullopt;
  return found->second;
}

void UnitRun::Converted(const std::string& path, int16_t result) {
  if (std::optional<Identity> identity = IdentityOf(path)) converted_.emplace(*identity, result);
}

void UnitRun::Take(ConversionRun& run) {
  run_.OriginalFiles.insert(run_.OriginalFiles.end(), run.OriginalFiles.begin(),
                            run.OriginalFiles.end());
  run_.TempFiles.insert(run_.TempFiles.end(), run.TempFiles.begin(), run.TempFiles.end());
  run_.copy_facts.merge(run.copy_facts);
  run_.binary_files.merge(run.binary_files);
  run_.binary_files_changed.merge(run.binary_files_changed);
  run.OriginalFiles.clear();
  run.TempFiles.clear();
  run.copy_facts.clear();
}

CommitOutcome UnitRun::Commit() {
  std::string journal = run_.staging_journal;  // the commit takes the run's over
  CommitOutcome outcome = CommitTempFiles(run_, journal);
  run_.held_files->Release();
  return outcome;
}

std::vector<std::string> UnitRun::Discard() {
  std::vector<std::string> leftovers = DiscardTempFiles(run_);
  run_.held_files->Release();
  return leftovers;
}

}  // namespace vireo
