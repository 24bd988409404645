#include "engine/project/unit_run.h"

#include "base/file_system.h"

namespace vireo {

std::optional<UnitRun::Identity> UnitRun::IdentityOf(const std::string& path) {
  PathStatus status;
  if (path.empty() || Files().Status(path, &status) || !status.exists) return std::nullopt;
  return FileIdentityOf(status);
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

}  // namespace vireo
